#include "platform/linux/sway_ipc.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace velmor::platform {

namespace {

constexpr char kMagic[] = "i3-ipc";
constexpr size_t kMagicSize = 6;
constexpr uint32_t kRunCommand = 0, kGetTree = 4, kGetVersion = 7;
constexpr size_t kMaxAnswer = 16 * 1024 * 1024;
constexpr int kTimeoutMs = 2000;
constexpr int kMaxDepth = 64;

using Clock = std::chrono::steady_clock;

// Moves exactly `size` bytes in the direction `step` goes, before the deadline.
template <typename Step>
bool transfer(int fd, char* data, size_t size, short events, Clock::time_point deadline, Step step) {
    size_t done = 0;
    while (done < size) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd, events, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) return false;
        ssize_t n = step(fd, data + done, size - done);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::optional<std::string> text(const nlohmann::json& node, const char* key) {
    auto found = node.find(key);
    if (found == node.end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
}

int number(const nlohmann::json& node, const char* key) {
    auto found = node.find(key);
    return found != node.end() && found->is_number_integer() ? found->get<int>() : 0;
}

Frame rectOf(const nlohmann::json& node) {
    auto rect = node.find("rect");
    if (rect == node.end() || !rect->is_object()) return {};
    return {number(*rect, "x"), number(*rect, "y"), number(*rect, "width"), number(*rect, "height")};
}

void collect(const nlohmann::json& node, std::vector<CompositorWindow>& windows, int depth) {
    if (!node.is_object() || depth > kMaxDepth) return;
    auto type = text(node, "type");
    int pid = number(node, "pid");
    if (pid > 0 && (type == "con" || type == "floating_con")) {
        CompositorWindow window;
        auto id = node.find("id");
        window.id = id != node.end() && id->is_number_unsigned() ? id->get<uint64_t>() : 0;
        window.pid = pid;
        window.title = text(node, "name");
        window.appId = text(node, "app_id");
        if (!window.appId) {
            if (auto properties = node.find("window_properties"); properties != node.end() && properties->is_object())
                window.appId = text(*properties, "class");
        }
        window.frame = rectOf(node);
        auto focused = node.find("focused");
        window.focused = focused != node.end() && focused->is_boolean() && focused->get<bool>();
        auto visible = node.find("visible");
        window.visible = visible != node.end() && visible->is_boolean() && visible->get<bool>();
        window.xwayland = text(node, "shell") == "xwayland";
        windows.push_back(std::move(window));
    }
    for (const char* children : {"nodes", "floating_nodes"}) {
        auto list = node.find(children);
        if (list == node.end() || !list->is_array()) continue;
        for (const auto& child : *list) collect(child, windows, depth + 1);
    }
}

}  // namespace

std::optional<std::string> SwayIpc::findSocket() {
    if (const char* socket = std::getenv("SWAYSOCK"); socket && *socket) return std::string(socket);
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) return std::nullopt;
    std::error_code error;
    const std::string prefix = "sway-ipc." + std::to_string(getuid()) + ".";
    for (const auto& entry : std::filesystem::directory_iterator(runtime, error)) {
        std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0 && entry.is_socket(error)) return entry.path().string();
    }
    return std::nullopt;
}

Result<nlohmann::json> SwayIpc::request(uint32_t type, const std::string& payload) {
    sockaddr_un address{};
    if (socket_.size() >= sizeof address.sun_path) return fail("sway's IPC socket path is too long");
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socket_.c_str(), socket_.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return fail("cannot open a socket");
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return fail("cannot reach sway's IPC socket " + socket_ + ": " + std::strerror(errno));

    const auto deadline = Clock::now() + std::chrono::milliseconds(kTimeoutMs);
    std::string message(kMagic, kMagicSize);
    uint32_t header[2] = {static_cast<uint32_t>(payload.size()), type};
    message.append(reinterpret_cast<const char*>(header), sizeof header);
    message += payload;
    auto sendSome = [](int f, char* d, size_t n) { return send(f, d, n, MSG_NOSIGNAL); };
    auto receiveSome = [](int f, char* d, size_t n) { return recv(f, d, n, 0); };
    if (!transfer(fd, message.data(), message.size(), POLLOUT, deadline, sendSome))
        return fail("sway's IPC did not take the request");
    char answerHeader[kMagicSize + 8];
    if (!transfer(fd, answerHeader, sizeof answerHeader, POLLIN, deadline, receiveSome) ||
        std::memcmp(answerHeader, kMagic, kMagicSize) != 0)
        return fail("sway's IPC did not answer");
    uint32_t length = 0;
    std::memcpy(&length, answerHeader + kMagicSize, sizeof length);
    if (length > kMaxAnswer) return fail("sway's IPC answer is too large");
    std::string answer(length, '\0');
    if (!transfer(fd, answer.data(), length, POLLIN, deadline, receiveSome)) return fail("sway's IPC answer was cut short");
    auto json = nlohmann::json::parse(answer, nullptr, false);
    if (json.is_discarded()) return fail("sway's IPC answered no JSON");
    return json;
}

Result<std::vector<CompositorWindow>> SwayIpc::windows() {
    auto tree = request(kGetTree, "");
    VELMOR_RETURN_IF_FAILED(tree);
    std::vector<CompositorWindow> windows;
    collect(*tree, windows, 0);
    std::sort(windows.begin(), windows.end(), [](const CompositorWindow& a, const CompositorWindow& b) { return a.id < b.id; });
    return windows;
}

Result<void> SwayIpc::answers() {
    VELMOR_RETURN_IF_FAILED(request(kGetVersion, ""));
    return succeeded();
}

Result<Frame> SwayIpc::layout() {
    auto tree = request(kGetTree, "");
    VELMOR_RETURN_IF_FAILED(tree);
    return rectOf(*tree);
}

Result<void> SwayIpc::command(const std::string& commands) {
    auto answer = request(kRunCommand, commands);
    VELMOR_RETURN_IF_FAILED(answer);
    if (!answer->is_array()) return fail("sway's IPC answered the command oddly");
    for (const auto& outcome : *answer) {
        auto success = outcome.find("success");
        if (success == outcome.end() || !success->is_boolean() || !success->get<bool>())
            return fail("sway refused '" + commands + "': " + text(outcome, "error").value_or("no reason given"));
    }
    return succeeded();
}

}  // namespace velmor::platform
