#include "browser/browser_session.h"

#include "base/json_text.h"

namespace velmor::browser {

void BrowserSession::send(const nlohmann::json& message) const {
    std::string text = dictToJson(message);
    if (text == kJsonSerializationFailed) return;
    connection_->send(std::move(text));
}

}  // namespace velmor::browser
