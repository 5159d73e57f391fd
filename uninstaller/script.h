// The uninstall script Setup.exe hands over: the delete operations ("ToDo"),
// the current language's texts with the application's name, ID and folder
// ("Lang"), and the layout flag ("RightAligned").
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/data_group.h"
#include "shell/texts.h"
#include "wizard/wizard_frame.h"

namespace uninstaller {

struct Script {
    std::vector<std::string> todo;
    core::DataGroup texts;
    bool rightAligned = false;
    std::string applicationName, applicationId, targetFolder;
};

enum class ScriptStatus { kOk, kMissing, kDamaged, kEmpty };

// Reads and checks the script. Anything but a tree with a "ToDo" list of
// texts is damaged; nothing of a damaged script is used. An empty list is
// refused too: removing nothing must not be reported as a removal.
ScriptStatus LoadScript(const std::string& path, Script* script);

// The message shown for a script that cannot be used. There are no language
// texts then, so it is English.
std::string BadScriptMessage(ScriptStatus status, const std::string& path);

// The wizard's host: the script's texts as the only language.
class ScriptHost : public wizard::WizardHost {
public:
    explicit ScriptHost(const Script& script);
    HWND Window() const override { return nullptr; }
    std::string Expand(std::string_view text, const shell::WizardFolders* folders) const override;
    wizard::WizardSettings Settings() const override;

private:
    static constexpr const char* kLanguage = "Uninstall";
    const Script& script_;
    shell::LanguageTable languages_;
    std::string programFolder_;
};

}  // namespace uninstaller
