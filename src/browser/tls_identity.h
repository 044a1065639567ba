#pragma once

#include <boost/asio/ssl/context.hpp>
#include <memory>
#include <string>

namespace velmor::browser {

// Makes sure a PKCS#12 identity exists at `path` (normally paths::tlsIdentityFile()): when
// none does, generates one of the user's own: a new key and a self-signed leaf certificate
// for localhost and 127.0.0.1 (not a CA, for server authentication only), written readable
// by the user alone; one found readable by others (as earlier versions left it) is made
// private. A certificate that cannot sign others is harmless to trust. Answers
// false, with the reason logged, when none exists and none could be written.
bool ensureTlsIdentity(const std::string& path);

// A TLS server context that presents the PKCS#12 identity at `path` and asks clients for no
// certificate. Nothing when the file cannot be read or imported; the reason is logged.
std::shared_ptr<boost::asio::ssl::context> loadServerTlsContext(const std::string& path);

}  // namespace velmor::browser
