#pragma once

#include <boost/asio/ssl/context.hpp>
#include <memory>
#include <string>

namespace velmor::browser {

// Where the installed identity lives: <directory of the running program>/../share/velmor/
// server.p12. The build puts one at the same place relative to the built program.
std::string installedIdentityPath();

// A TLS server context that presents the PKCS#12 identity at `path` and asks clients for no
// certificate. Nothing when the file cannot be read or imported; the reason is logged.
std::shared_ptr<boost::asio::ssl::context> loadServerTlsContext(const std::string& path);

}  // namespace velmor::browser
