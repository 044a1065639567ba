// Frames from a page agent, as the WebSocket connection hands them to the registry: each
// input is split into frames at newlines and fed to one session in order.
#include "browser/browser_session_manager.h"
#include "browser/page_message.h"

#include <cstdint>
#include <string_view>

namespace {

class DiscardingConnection : public velmor::browser::PageConnection {
public:
    void send(std::string) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velmor::browser;
    static BrowserSessionManager sessions;
    auto session = sessions.createSession(std::make_shared<DiscardingConnection>());
    std::string id = session->sessionId();
    std::string_view frames(reinterpret_cast<const char*>(data), size);
    while (!frames.empty()) {
        size_t end = frames.find('\n');
        processPageMessage(frames.substr(0, end), id, sessions);
        if (end == std::string_view::npos) break;
        frames.remove_prefix(end + 1);
    }
    sessions.allBrowserTools();
    sessions.removeSession(id);
    return 0;
}
