#include "app/shell/settings_window.h"

#include "base/json_object_file.h"
#include "app/shell/main_loop.h"
#include "app/shell/shell_style.h"
#include "media/speech_settings.h"
#include "media/tts_engine.h"
#include "media/tts_manager.h"

#include <gtk/gtk.h>
#include <thread>

namespace velmor::shell {

namespace {

struct Provider {
    const char* name;
    const char* id;
    const char* placeholder;
};
// The system voice first: it speaks whenever no cloud provider is chosen, and needs no key.
constexpr Provider kProviders[] = {{"System voice", media::TTSManager::kSystemVoiceId, "No API key needed"},
                                   {"ElevenLabs", "elevenlabs", "sk-..."},
                                   {"OpenAI", "openai", "sk-proj-..."},
                                   {"Google Gemini", "gemini", "AIza..."},
                                   {"Deepgram", "deepgram", "dg-..."}};
constexpr int kProviderCount = static_cast<int>(std::size(kProviders));
constexpr int kSystemVoice = 0;
constexpr const char* kGrey = "#6e7781";

std::string keyEntry(const Provider& provider) { return std::string(provider.id) + "_api_key"; }

// The stored key of a provider; empty when it has none or the file holds something else.
std::string storedKey(const nlohmann::json& config, const Provider& provider) {
    auto found = config.find(keyEntry(provider));
    return found != config.end() && found->is_string() ? found->get<std::string>() : std::string();
}

GtkWidget* fieldLabel(const char* text) {
    GtkWidget* label = gtk_label_new(text);
    gtk_label_set_xalign(GTK_LABEL(label), 1.0f);
    return label;
}

}  // namespace

SettingsWindow::SettingsWindow(media::TTSManager& speech, std::string configFile)
    : speech_(speech), configFile_(std::move(configFile)) {}

void SettingsWindow::show() {
    if (!window_) {
        build();
        loadCurrentSettings();
    }
    gtk_widget_show_all(window_);
    gtk_window_present(GTK_WINDOW(window_));
}

void SettingsWindow::build() {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window_), "Velmor Settings");
    gtk_window_set_default_size(GTK_WINDOW(window_), 440, 340);
    gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);
    // Closing only hides it: what was typed is still there when it is opened again.
    g_signal_connect(window_, "delete-event", G_CALLBACK(gtk_widget_hide_on_delete), nullptr);

    GtkWidget* content = gtk_box_new(GTK_ORIENTATION_VERTICAL, 10);
    gtk_container_set_border_width(GTK_CONTAINER(content), 24);
    gtk_box_pack_start(GTK_BOX(content), styledLabel("Settings", "title"), false, false, 0);
    gtk_box_pack_start(GTK_BOX(content), styledLabel("Voice Provider", "heading"), false, false, 0);
    gtk_box_pack_start(GTK_BOX(content),
                       styledLabel("For narrated demo recordings. Choose a TTS provider and enter your API key.",
                                   "secondary"),
                       false, false, 0);

    providerPopup_ = gtk_combo_box_text_new();
    for (const Provider& provider : kProviders)
        gtk_combo_box_text_append(GTK_COMBO_BOX_TEXT(providerPopup_), provider.id, provider.name);
    gtk_combo_box_set_active(GTK_COMBO_BOX(providerPopup_), 0);
    g_signal_connect_swapped(providerPopup_, "changed",
                             G_CALLBACK(+[](SettingsWindow* self) { self->providerChanged(); }), this);

    apiKeyField_ = gtk_entry_new();
    gtk_entry_set_visibility(GTK_ENTRY(apiKeyField_), false);
    gtk_entry_set_input_purpose(GTK_ENTRY(apiKeyField_), GTK_INPUT_PURPOSE_PASSWORD);
    gtk_entry_set_placeholder_text(GTK_ENTRY(apiKeyField_), kProviders[0].placeholder);
    gtk_entry_set_activates_default(GTK_ENTRY(apiKeyField_), true);
    gtk_widget_set_hexpand(apiKeyField_, true);

    GtkWidget* grid = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(grid), 8);
    gtk_grid_set_column_spacing(GTK_GRID(grid), 10);
    gtk_grid_attach(GTK_GRID(grid), fieldLabel("Provider"), 0, 0, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), providerPopup_, 1, 0, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), fieldLabel("API Key"), 0, 1, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), apiKeyField_, 1, 1, 1, 1);
    gtk_box_pack_start(GTK_BOX(content), grid, false, false, 6);

    testButton_ = gtk_button_new_with_label("Test Voice");
    g_signal_connect_swapped(testButton_, "clicked", G_CALLBACK(+[](SettingsWindow* self) { self->testVoice(); }),
                             this);
    GtkWidget* saveButton = gtk_button_new_with_label("Save");
    gtk_widget_set_can_default(saveButton, true);
    gtk_style_context_add_class(gtk_widget_get_style_context(saveButton), GTK_STYLE_CLASS_SUGGESTED_ACTION);
    g_signal_connect_swapped(saveButton, "clicked", G_CALLBACK(+[](SettingsWindow* self) { self->saveSettings(); }),
                             this);
    GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_widget_set_halign(buttons, GTK_ALIGN_END);
    gtk_box_pack_start(GTK_BOX(buttons), testButton_, false, false, 0);
    gtk_box_pack_start(GTK_BOX(buttons), saveButton, false, false, 0);
    gtk_box_pack_start(GTK_BOX(content), buttons, false, false, 0);

    statusLabel_ = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(statusLabel_), 1.0f);
    gtk_box_pack_start(GTK_BOX(content), statusLabel_, false, false, 0);

    gtk_container_add(GTK_CONTAINER(window_), content);
    gtk_window_set_default(GTK_WINDOW(window_), saveButton);
}

// The system voice where the user chose it or no cloud provider holds a key; otherwise the
// first provider that holds one, whichever of them is active.
void SettingsWindow::loadCurrentSettings() {
    const nlohmann::json config = readJsonObjectFile(configFile_);
    int shown = kSystemVoice;
    const bool systemChosen = config.value("tts_provider", nlohmann::json()) == media::TTSManager::kSystemVoiceId;
    for (int index = kSystemVoice + 1; index < kProviderCount && !systemChosen; ++index) {
        if (!storedKey(config, kProviders[index]).empty()) {
            shown = index;
            break;
        }
    }
    gtk_combo_box_set_active(GTK_COMBO_BOX(providerPopup_), shown);
    providerChanged();  // the popup says nothing when its choice stays the same
}

void SettingsWindow::providerChanged() {
    const int index = gtk_combo_box_get_active(GTK_COMBO_BOX(providerPopup_));
    if (index < 0 || index >= kProviderCount) return;
    const nlohmann::json config = readJsonObjectFile(configFile_);
    gtk_entry_set_text(GTK_ENTRY(apiKeyField_), storedKey(config, kProviders[index]).c_str());
    gtk_entry_set_placeholder_text(GTK_ENTRY(apiKeyField_), kProviders[index].placeholder);
    gtk_widget_set_sensitive(apiKeyField_, index != kSystemVoice);
    showStatus("", nullptr);
}

void SettingsWindow::saveSettings() {
    const int index = gtk_combo_box_get_active(GTK_COMBO_BOX(providerPopup_));
    if (index < 0 || index >= kProviderCount) return;
    const std::string apiKey = gtk_entry_get_text(GTK_ENTRY(apiKeyField_));
    if (index == kSystemVoice) {
        // The cloud keys stay stored: choosing a provider again needs no retyping.
        auto saved = mergeIntoJsonObjectFile(configFile_, {{"tts_provider", media::TTSManager::kSystemVoiceId}});
        if (!saved.ok()) {
            showStatus("Failed: " + saved.error(), kRed);
            return;
        }
        speech_.setActiveProvider(media::TTSManager::kSystemVoiceId);
        showStatus("Saved!", kGreen, 2000);
        return;
    }
    // A file that could not be written is said so: the key would otherwise be lost at the
    // next start while the window claimed it was kept.
    // A key that could not go into a request header is neither used nor kept.
    if (!apiKey.empty())
        if (auto configured = speech_.configureProvider(kProviders[index].id, apiKey, true); !configured) {
            showStatus("Failed: the key " + configured.error(), kRed);
            return;
        }
    auto saved = saveSpeechSettings(configFile_, kProviders[index].id, apiKey);
    if (!saved.ok()) {
        showStatus("Failed: " + saved.error(), kRed);
        return;
    }
    showStatus("Saved!", kGreen, 2000);
}

void SettingsWindow::testVoice() {
    const std::string apiKey = gtk_entry_get_text(GTK_ENTRY(apiKeyField_));
    const int index = gtk_combo_box_get_active(GTK_COMBO_BOX(providerPopup_));
    const bool systemVoice = index == kSystemVoice;
    if (apiKey.empty() && !systemVoice) {
        showStatus("Enter an API key first.", kOrange);
        return;
    }
    const bool chosen = index >= 0 && index < kProviderCount;
    const std::string name = chosen ? kProviders[index].name : "Voice";
    showStatus("Testing...", kGrey);
    gtk_widget_set_sensitive(testButton_, false);
    if (chosen && !systemVoice)
        if (auto configured = speech_.configureProvider(kProviders[index].id, apiKey, true); !configured) {
            showStatus("Failed: the key " + configured.error(), kRed);
            gtk_widget_set_sensitive(testButton_, true);
            return;
        }
    std::thread([this, name, systemVoice] {
        const char* line = "Hello! Velmor voice is working.";
        auto spoken = systemVoice ? speech_.systemVoice().speakSync(line, std::nullopt)
                                  : speech_.speakSync(line, std::nullopt);
        std::string failure = spoken.ok() ? std::string() : spoken.error();
        onMainThread([this, name, failure] {
            gtk_widget_set_sensitive(testButton_, true);
            if (!failure.empty())
                showStatus("Failed: " + failure, kRed);
            else
                showStatus(name + " works!", kGreen);
        });
    }).detach();
}

void SettingsWindow::showStatus(const std::string& text, const char* colour, unsigned clearAfterMs) {
    setColouredText(statusLabel_, text, colour);
    const unsigned shown = ++statusShown_;
    if (clearAfterMs == 0) return;
    after(clearAfterMs, [this, shown] {
        if (shown == statusShown_) setColouredText(statusLabel_, "", nullptr);
    });
}

}  // namespace velmor::shell
