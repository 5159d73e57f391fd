// The text passes every visible text goes through: the language pass that
// replaces "[KEY]" with the current language's text, and the full expansion
// that also fills the project's placeholders and the wizard's folders.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "core/data_group.h"

namespace shell {

// Language name (byte-exact, case significant) -> that language's texts.
using LanguageTable = std::map<std::string, core::DataGroup>;

// What the passes read; the menu window fills it from its own state.
struct TextSources {
    const LanguageTable* languages = nullptr;
    std::string_view currentLanguage;
    std::string_view launchFolder;
    std::string_view applicationName;
    std::string_view altApplicationName;
    std::string_view applicationId;
};

// The two folders the installer wizard contributes to ExpandText.
struct WizardFolders {
    std::string targetFolder;
    std::string startMenu;
};

// "[KEY]" -> the current language's text, "|" -> line feed, and the
// special tokens "[CurrentLanguage]" and "[LaunchFolder]". An unknown
// current language leaves the text exactly as it is.
std::string TranslateText(std::string_view text, const TextSources& sources);

// "[ApplicationName]", "[AltApplicationName]", "[ApplicationID]" with the
// raw project values, and, with a wizard, "[TargetFolder]" and "[StartMenu]".
std::string PlaceholderPass(std::string_view text, const TextSources& sources, const WizardFolders* wizard);

// Three rounds of TranslateText and PlaceholderPass (placeholders whose
// values are text keys resolve), then CollapseBackslashes.
std::string ExpandText(std::string_view text, const TextSources& sources, const WizardFolders* wizard);

// Every run of backslashes shrinks to one, except that a pair at the very
// start (a network path) stays a pair.
std::string CollapseBackslashes(std::string_view text);

}  // namespace shell
