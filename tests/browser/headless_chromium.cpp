#include "browser/headless_chromium.h"

#include "browser/script_injector.h"
#include "support/eventually.h"
#include "support/free_port.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <unistd.h>

namespace velmor::browser {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
using namespace std::chrono_literals;

bool listensWithin(uint16_t port, std::chrono::milliseconds limit) {
    return test::eventually([&] {
        int fd = test::connectLoopback(port);
        if (fd >= 0) ::close(fd);
        return fd >= 0;
    }, limit);
}

}  // namespace

HeadlessChromium::HeadlessChromium(uint16_t devToolsPort) {
    if (!std::filesystem::exists(std::string(VELMOR_WEB_FIXTURES) + "/node_modules/todomvc"))
        throw std::runtime_error("the npm fixture pages are missing: run scripts/install-deps.sh");
    apiLog_ = home_.path() + "/api-requests.jsonl";
    auto servePages = [&](uint16_t& port) {
        port = test::freePort();
        auto server = std::make_unique<test::ChildProcess>(std::vector<std::string>{
            "/usr/bin/python3", std::string(VELMOR_WEB_FIXTURES) + "/fixture_server.py", std::to_string(port),
            VELMOR_WEB_FIXTURES, apiLog_});
        if (!listensWithin(port, 10s)) throw std::runtime_error("the fixture page server did not start");
        return server;
    };
    pages_ = servePages(pagesPort_);
    otherPages_ = servePages(otherPagesPort_);

    std::string profile = home_.path() + "/chromium-profile";
    std::filesystem::create_directories(profile);
    chromium_ = std::make_unique<test::ChildProcess>(std::vector<std::string>{
        "/usr/bin/chromium", "--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
        "--disable-background-networking", "--disable-component-update", "--disable-sync",
        "--remote-debugging-port=" + std::to_string(devToolsPort), "--user-data-dir=" + profile, "about:blank"});
    if (devToolsPort != 0) {
        // Chromium writes DevToolsActivePort only for a port of its own choosing.
        devToolsPort_ = devToolsPort;
        if (!listensWithin(devToolsPort_, 20s)) throw std::runtime_error("Chromium does not listen on its DevTools port");
        return;
    }
    std::string activePort = profile + "/DevToolsActivePort";
    if (!test::eventually([&] {
            std::ifstream in(activePort);
            int port = 0;
            if (!(in >> port) || port <= 0) return false;
            devToolsPort_ = static_cast<uint16_t>(port);
            return true;
        }, 20s))
        throw std::runtime_error("Chromium wrote no DevToolsActivePort");
}

HeadlessChromium::~HeadlessChromium() {
    // A clean exit takes the renderer processes along.
    chromium_->signal(SIGTERM);
    chromium_->wait(5000);
}

std::string HeadlessChromium::pageUrl(const std::string& page) const {
    return "http://127.0.0.1:" + std::to_string(pagesPort_) + "/" + page;
}

std::vector<nlohmann::json> HeadlessChromium::apiRequests() const {
    std::vector<nlohmann::json> requests;
    std::ifstream in(apiLog_);
    for (std::string line; std::getline(in, line);) requests.push_back(nlohmann::json::parse(line));
    return requests;
}

std::string HeadlessChromium::devTools(const std::string& method, const std::string& target) const {
    boost::asio::io_context io;
    beast::tcp_stream stream(io);
    stream.expires_after(10s);
    stream.connect(boost::asio::ip::tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), devToolsPort_));
    http::request<http::empty_body> request{http::string_to_verb(method), target, 11};
    request.set(http::field::host, "127.0.0.1");
    http::write(stream, request);
    beast::flat_buffer buffer;
    http::response<http::string_body> response;
    http::read(stream, buffer, response);
    return response.body();
}

std::string HeadlessChromium::openTab(const std::string& url) {
    // The endpoint takes the address as its whole query, decoded: a "&" in it must be escaped.
    std::string escaped;
    for (char c : url) escaped += c == '&' ? std::string("%26") : std::string(1, c);
    auto target = nlohmann::json::parse(devTools("PUT", "/json/new?" + escaped));
    std::string id = target.at("id").get<std::string>();
    PageAgents agents;
    ScriptInjector injector({.devToolsPort = devToolsPort_}, agents);
    bool loaded = test::eventually([&] {
        // The tab is listed under its URL while it still shows the initial blank document.
        auto state = injector.runJS("JSON.stringify({state: document.readyState, url: location.href})", "chrome", url);
        if (!state) return false;
        // A page's router may add a #fragment as it starts.
        std::string at = state->value("url", "");
        return state->value("state", "") == "complete" && (at == url || at.starts_with(url + "#"));
    }, 15s);
    if (!loaded) throw std::runtime_error("tab did not load: " + url);
    return id;
}

void HeadlessChromium::closeTab(const std::string& id) { devTools("GET", "/json/close/" + id); }

}  // namespace velmor::browser
