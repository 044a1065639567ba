#include "net/loopback_listener.h"

#include <boost/asio/ip/address_v4.hpp>

namespace velmor::net {

boost::asio::ip::tcp::acceptor listenOnLoopback(boost::asio::io_context& io, uint16_t port) {
    using boost::asio::ip::tcp;
    tcp::endpoint endpoint(boost::asio::ip::make_address_v4("127.0.0.1"), port);
    tcp::acceptor acceptor(io);
    acceptor.open(endpoint.protocol());
    acceptor.set_option(tcp::acceptor::reuse_address(true));
    acceptor.bind(endpoint);
    acceptor.listen(boost::asio::socket_base::max_listen_connections);
    return acceptor;
}

}  // namespace velmor::net
