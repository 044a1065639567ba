#include "tools/speech_tools.h"

#include "base/log.h"
#include "media/speech_settings.h"

namespace velmor::tools {

using nlohmann::json;

namespace {

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

}  // namespace

void installSpeechTools(ToolRouter& router, media::TTSManager& speech, std::filesystem::path configFile) {
    router.registry().handle("configure_tts", [&speech, configFile](const Arguments& args) {
        auto provider = args.string("provider");
        if (!provider) return errorResult(missingField("provider"));
        auto apiKey = args.string("api_key");
        if (!apiKey || apiKey->empty()) return errorResult(missingField("api_key"));
        // An unknown name would leave the speech as it was while the answer said otherwise.
        if (!speech.provider(*provider))
            return errorResult("unknown provider: " + *provider + " (known: " + joined(speech.allProviderIds()) + ")");
        // Refused before anything is stored: the key would end up in a request header.
        if (auto configured = speech.configureProvider(*provider, *apiKey, /*makeActive=*/true); !configured)
            return errorResult("api_key " + configured.error());
        // The key already works for this run; a file that cannot be written only costs
        // the next start-up, so the call still succeeds.
        if (auto saved = saveSpeechSettings(configFile, *provider, *apiKey); !saved)
            Log::error("tts-manager", "Could not save speech settings: " + saved.error());
        return json{{"status", "configured"}, {"provider", *provider}, {"voices", speech.availableVoices()}};
    });

    router.registry().handle("speak", [&speech](const Arguments& args) {
        auto text = args.string("text");
        if (!text) return errorResult(missingField("text"));
        if (auto spoken = speech.speakSync(*text, args.string("voice")); !spoken) return errorResult(spoken.error());
        // Without an active provider the system voice spoke, and the answer says so.
        std::string provider = speech.isConfigured() ? speech.currentProviderId() : "system";
        return json{{"status", "spoken"}, {"text", *text}, {"provider", provider}};
    });

    router.registry().handle("prefetch_audio", [&speech](const Arguments& args) {
        const json* lines = args.array("lines");
        if (!lines) return errorResult(missingField("lines") + " array");
        std::string defaultVoice = speech.defaultVoice();
        std::vector<media::SpeechLine> kept;
        for (const auto& line : *lines) {
            if (!line.is_object()) continue;
            Arguments fields(line);
            std::string text = fields.string("text").value_or("");
            if (text.empty()) continue;
            kept.push_back({text, fields.string("voice").value_or(defaultVoice)});
        }
        auto counts = speech.prefetch(kept);
        return json{{"status", "prefetched"},
                    {"succeeded", counts.succeeded},
                    {"failed", counts.failed},
                    {"total", kept.size()}};
    });
}

}  // namespace velmor::tools
