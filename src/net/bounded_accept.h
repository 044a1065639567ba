#pragma once

#include "net/connection_limit.h"

#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <functional>
#include <memory>

namespace velmor::net {

// How long accepting rests when the process has run out of file descriptors. Retrying at
// once would spin on the same error and take the CPU from the connections whose ending
// frees descriptors.
inline constexpr std::chrono::milliseconds kOutOfDescriptorsPause{100};

using AdmitConnection =
    std::function<void(boost::asio::ip::tcp::socket socket, std::unique_ptr<ConnectionLimit::Slot> slot)>;

// Accepts connections on `acceptor` until it is closed. Each connection gets its own
// strand and, when `limit` grants it a slot, goes to `admit` with that slot; otherwise it
// is closed at once. `acceptor` and `limit` must outlive the accepting, which ends when
// the acceptor is closed or its I/O context stops.
void acceptConnections(boost::asio::ip::tcp::acceptor& acceptor, ConnectionLimit& limit, AdmitConnection admit);

}  // namespace velmor::net
