#pragma once

#include <string>

typedef struct _GtkWidget GtkWidget;

namespace velmor::media {
class TTSManager;
}

namespace velmor::shell {

// The voice settings: which cloud speech provider narrates demos, and its API key, kept in
// the shared configuration file. Built on first use, hidden rather than destroyed when
// closed. Lives on the main loop; only the test utterance runs elsewhere.
class SettingsWindow {
public:
    SettingsWindow(media::TTSManager& speech, std::string configFile);
    SettingsWindow(const SettingsWindow&) = delete;
    SettingsWindow& operator=(const SettingsWindow&) = delete;

    void show();

private:
    void build();
    void loadCurrentSettings();
    void providerChanged();
    void saveSettings();
    void testVoice();
    // Shows a message in the status line; a message that clears itself is cleared only if
    // no later one replaced it.
    void showStatus(const std::string& text, const char* colour, unsigned clearAfterMs = 0);

    media::TTSManager& speech_;
    std::string configFile_;
    GtkWidget* window_ = nullptr;
    GtkWidget* providerPopup_ = nullptr;
    GtkWidget* apiKeyField_ = nullptr;
    GtkWidget* testButton_ = nullptr;
    GtkWidget* statusLabel_ = nullptr;
    unsigned statusShown_ = 0;  // counts messages, so a delayed clear knows whether it is stale
};

}  // namespace velmor::shell
