#include "net/bounded_accept.h"

#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <cerrno>

namespace velmor::net {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

namespace {

bool outOfResources(const boost::system::error_code& error) {
    if (error.category() != boost::system::system_category()) return false;
    int value = error.value();
    return value == EMFILE || value == ENFILE || value == ENOBUFS || value == ENOMEM;
}

struct AcceptLoop : std::enable_shared_from_this<AcceptLoop> {
    AcceptLoop(tcp::acceptor& acceptor, ConnectionLimit& limit, AdmitConnection admit)
        : acceptor(acceptor), limit(limit), admit(std::move(admit)), pause(acceptor.get_executor()) {}

    void next() {
        if (!acceptor.is_open()) return;
        acceptor.async_accept(asio::make_strand(acceptor.get_executor()),
                              [self = shared_from_this()](boost::system::error_code error, tcp::socket socket) {
                                  self->accepted(error, std::move(socket));
                              });
    }

    void accepted(const boost::system::error_code& error, tcp::socket socket) {
        if (error == asio::error::operation_aborted || !acceptor.is_open()) return;
        if (outOfResources(error)) {
            pause.expires_after(kOutOfDescriptorsPause);
            pause.async_wait([self = shared_from_this()](boost::system::error_code waitError) {
                if (!waitError) self->next();
            });
            return;
        }
        if (!error) {
            if (auto slot = limit.claim()) {
                admit(std::move(socket), std::move(slot));
            } else {
                boost::system::error_code ignored;
                socket.close(ignored);
            }
        }
        next();
    }

    tcp::acceptor& acceptor;
    ConnectionLimit& limit;
    AdmitConnection admit;
    asio::steady_timer pause;
};

}  // namespace

void acceptConnections(tcp::acceptor& acceptor, ConnectionLimit& limit, AdmitConnection admit) {
    std::make_shared<AcceptLoop>(acceptor, limit, std::move(admit))->next();
}

}  // namespace velmor::net
