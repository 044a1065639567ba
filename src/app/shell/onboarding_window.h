#pragma once

#include "app/shell/permission_checks.h"

#include <cstdint>
#include <map>
#include <string>

typedef struct _GtkWidget GtkWidget;

namespace velmor::shell {

// The first-run guide: how to register the bridge with an AI client, what the desktop must
// allow (checked again every second while the guide is open) and how to prepare the
// browser. Lives on the main loop.
class OnboardingWindow {
public:
    OnboardingWindow(std::string defaultsFile, platform::Desktop& desktop, uint16_t devToolsPort);
    OnboardingWindow(const OnboardingWindow&) = delete;
    OnboardingWindow& operator=(const OnboardingWindow&) = delete;

    // Shows the guide unless the user finished it and the desktop still allows what the
    // tools require. The check runs off the main loop.
    void showIfNeeded();
    void show();

private:
    struct Card {
        GtkWidget* dot = nullptr;
        GtkWidget* state = nullptr;
        GtkWidget* grantedIcon = nullptr;
    };

    void build();
    GtkWidget* connectSection();
    GtkWidget* permissionSection();
    GtkWidget* browserSection();
    // How to start the browser so that its DevTools endpoint is where Velmor looks.
    std::string browserCommand() const;
    void copyConfig();
    void grantAll();
    void refresh();
    void apply(const PermissionStates& states);
    void done();
    void closed();

    std::string defaultsFile_;
    platform::Desktop& desktop_;
    uint16_t devToolsPort_;
    GtkWidget* window_ = nullptr;
    GtkWidget* copyButton_ = nullptr;
    GtkWidget* startButton_ = nullptr;
    GtkWidget* grantNote_ = nullptr;
    std::map<std::string, Card> cards_;
    unsigned timer_ = 0;
    bool checking_ = false;   // a check is running; a tick meanwhile is skipped
    unsigned generation_ = 0;  // which opening of the window a check's answer belongs to
};

}  // namespace velmor::shell
