#include "shell/texts.h"

#include "core/tokens.h"

namespace shell {

namespace {

std::string Replace(std::string_view text, const core::TokenMap& tokens) {
    if (text.empty()) return std::string();
    // The pass works on byte buffers; wrapping avoids a copy of the source.
    core::BinaryBuffer source(text.data(), uint32_t(text.size()), true);
    core::BinaryBuffer result = core::ReplaceTokens(source, tokens);
    return std::string(reinterpret_cast<const char*>(result.Data()), result.Size());
}

}  // namespace

std::string TranslateText(std::string_view text, const TextSources& sources) {
    if (!sources.languages) return std::string(text);
    auto language = sources.languages->find(std::string(sources.currentLanguage));
    if (language == sources.languages->end()) return std::string(text);

    core::TokenMap tokens;
    for (const auto& [key, value] : language->second.Values()) {
        // Language groups hold texts only; anything else is not a text to show.
        // A bar in a text is a line break as it is in the text that names it:
        // the single pass below would not see it inside the replacement.
        if (const std::string* s = value.TextObject()) {
            std::string text = *s;
            for (char& c : text)
                if (c == '|') c = '\n';
            tokens["[" + key + "]"] = std::move(text);
        }
    }
    // Assigned after the language's own texts so that these always win.
    tokens.insert_or_assign("|", std::string(1, '\n'));
    tokens["[CurrentLanguage]"] = std::string(sources.currentLanguage);
    tokens["[LaunchFolder]"] = std::string(sources.launchFolder);
    return Replace(text, tokens);
}

std::string PlaceholderPass(std::string_view text, const TextSources& sources, const WizardFolders* wizard) {
    core::TokenMap tokens{
        {"[ApplicationName]", std::string(sources.applicationName)},
        {"[AltApplicationName]", std::string(sources.altApplicationName)},
        {"[ApplicationID]", std::string(sources.applicationId)},
    };
    if (wizard) {
        tokens["[TargetFolder]"] = wizard->targetFolder;
        tokens["[StartMenu]"] = wizard->startMenu;
    }
    return Replace(text, tokens);
}

std::string CollapseBackslashes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        // A backslash directly after a backslash that is not the first
        // character is dropped; the leading pair of "\\server" survives.
        if (c == '\\' && out.size() >= 2 && out.back() == '\\') continue;
        out.push_back(c);
    }
    return out;
}

std::string ExpandText(std::string_view text, const TextSources& sources, const WizardFolders* wizard) {
    std::string current(text);
    for (int round = 0; round < 3; ++round)
        current = PlaceholderPass(TranslateText(current, sources), sources, wizard);
    return CollapseBackslashes(current);
}

}  // namespace shell
