// Frames from a page agent, as the WebSocket connection hands them to the registry: each
// input is split into frames at newlines and fed to one session in order. An input whose
// first byte is odd comes from a page that proved its nonce first, so that what only
// injected pages may send is reached too.
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
    PagePeer peer{.sessionId = id, .handshakeOrigin = "http://fuzz.test"};
    if (size > 0 && (data[0] & 1)) {
        nlohmann::json auth = {{"type", "session_auth"}, {"nonce", sessions.agents().issuePageNonce(peer.handshakeOrigin)}};
        processPageMessage(auth.dump(), peer, sessions);
    }
    std::string_view frames(reinterpret_cast<const char*>(data), size);
    while (!frames.empty()) {
        size_t end = frames.find('\n');
        if (processPageMessage(frames.substr(0, end), peer, sessions) == PeerVerdict::Close) break;
        if (end == std::string_view::npos) break;
        frames.remove_prefix(end + 1);
    }
    sessions.agents().allBrowserTools();
    sessions.removeSession(id);
    return 0;
}
