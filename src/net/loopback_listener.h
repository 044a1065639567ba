#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <cstdint>

namespace velmor::net {

// A listening socket on 127.0.0.1:port with address reuse, as every Velmor listener uses.
// Port 0 picks a free port (read it back from local_endpoint()). Throws
// boost::system::system_error when the port cannot be bound.
boost::asio::ip::tcp::acceptor listenOnLoopback(boost::asio::io_context& io, uint16_t port);

}  // namespace velmor::net
