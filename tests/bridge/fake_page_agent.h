#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace velmor::bridge::test {

// Stands in for the application's plain WebSocket listener: accepts connections one after
// another, greets each with a session id, and lets the test read what the bridge sends and
// push messages to it. Everything runs on its own I/O thread.
class FakePageAgent {
public:
    // Listens on `port`, or on a free one when 0.
    explicit FakePageAgent(std::uint16_t port = 0);
    ~FakePageAgent();
    FakePageAgent(const FakePageAgent&) = delete;
    FakePageAgent& operator=(const FakePageAgent&) = delete;

    std::uint16_t port() const { return port_; }
    // Waits until `count` connections in all have completed their handshake.
    bool waitForConnections(std::size_t count, int timeoutMs = 10000);
    // The next text message from the current connection.
    std::optional<std::string> nextMessage(int timeoutMs = 10000);
    void send(const std::string& text);
    // Ends the current connection with a close frame.
    void closeConnection();
    void ping();
    // Waits until `count` pongs in all have come back.
    bool waitForPongs(std::size_t count, int timeoutMs = 10000);

private:
    struct Session;

    void accept();
    void receive(std::shared_ptr<Session> session);
    void writeNext(std::shared_ptr<Session> session);

    boost::asio::io_context io_;
    boost::asio::ip::tcp::acceptor acceptor_;
    std::uint16_t port_ = 0;
    std::shared_ptr<Session> current_;  // only touched on the I/O thread
    std::thread thread_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t connections_ = 0;
    std::size_t pongs_ = 0;
    std::deque<std::string> messages_;
};

}  // namespace velmor::bridge::test
