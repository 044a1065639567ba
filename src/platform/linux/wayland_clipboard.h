#pragma once

#include "platform/clipboard.h"
#include "platform/linux/wayland_client.h"

#include <string>
#include <vector>

struct zwlr_data_control_device_v1;
struct zwlr_data_control_manager_v1;
struct zwlr_data_control_offer_v1;
struct zwlr_data_control_source_v1;

namespace velmor::platform {

// The seat's selection through zwlr_data_control_v1: read from whichever client holds it,
// and offered by Velmor itself, served from the connection's owner thread whenever another
// client pastes, for as long as the process runs or until something else is copied. The
// state below is the owner thread's, touched only inside WaylandClient::run and the
// protocol's event handlers, which run on that thread too.
class WaylandClipboard final : public Clipboard {
public:
    explicit WaylandClipboard(WaylandClient& wayland) : wayland_(wayland) {}

    Result<std::string> text() override;
    Result<void> setText(const std::string& text) override;

    // Event handlers (owner thread).
    void offered(zwlr_data_control_offer_v1* offer);
    void offerHas(zwlr_data_control_offer_v1* offer, const char* mimeType);
    void selected(zwlr_data_control_offer_v1* offer);
    void send(zwlr_data_control_source_v1* source, int fd);
    void cancelled(zwlr_data_control_source_v1* source);

private:
    bool ready(WaylandConnection& c, std::string& why);

    WaylandClient& wayland_;
    zwlr_data_control_manager_v1* managerOf_ = nullptr;
    zwlr_data_control_device_v1* device_ = nullptr;
    zwlr_data_control_offer_v1* selection_ = nullptr;
    struct Offer {
        zwlr_data_control_offer_v1* offer;
        std::vector<std::string> types;
    };
    std::vector<Offer> offers_;
    zwlr_data_control_source_v1* source_ = nullptr;
    std::string sourceText_;
};

}  // namespace velmor::platform
