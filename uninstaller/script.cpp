#include "uninstaller/script.h"

#include <windows.h>

#include "core/file_path.h"

namespace uninstaller {

namespace {

std::string TextOf(const core::DataGroup& group, const char* name) {
    const core::DataValue* value = group.FindValue(name);
    return value && value->TextObject() ? *value->TextObject() : std::string();
}

}  // namespace

ScriptStatus LoadScript(const std::string& path, Script* script) {
    *script = Script();
    if (path.empty() || ::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return ScriptStatus::kMissing;
    core::DataGroup tree;
    if (!tree.Load(path.c_str())) return ScriptStatus::kDamaged;
    const core::DataValue* todo = tree.FindValue("ToDo");
    const core::DataValue::List* list = todo ? todo->GetList() : nullptr;
    if (!list) return ScriptStatus::kDamaged;
    for (const core::DataValue& line : *list) {
        if (!line.TextObject()) return ScriptStatus::kDamaged;
        script->todo.push_back(*line.TextObject());
    }
    if (script->todo.empty()) return ScriptStatus::kEmpty;
    if (const core::DataValue* lang = tree.FindValue("Lang")) {
        if (!lang->Group()) return ScriptStatus::kDamaged;
        script->texts = *lang->Group();
    }
    if (const core::DataValue* right = tree.FindValue("RightAligned")) script->rightAligned = right->Bool();
    script->applicationName = TextOf(script->texts, "ApplicationName");
    script->applicationId = TextOf(script->texts, "ApplicationID");
    script->targetFolder = TextOf(script->texts, "TargetFolder");
    return ScriptStatus::kOk;
}

std::string BadScriptMessage(ScriptStatus status, const std::string& path) {
    std::string name = path.empty() ? std::string("(none given)") : "\"" + path + "\"";
    if (status == ScriptStatus::kMissing)
        return "The uninstall script " + name + " could not be found.\n\nNothing has been removed.";
    if (status == ScriptStatus::kEmpty)
        return "The uninstall script " + name + " lists nothing to remove.\n\nNothing has been removed.";
    return "The uninstall script " + name + " is damaged and cannot be used.\n\nNothing has been removed.";
}

ScriptHost::ScriptHost(const Script& script) : script_(script) {
    languages_[kLanguage] = script.texts;
    core::FilePath folder;
    folder.SetSpecialFolder(core::kFolderProgram);
    programFolder_ = folder.FullPath();
}

std::string ScriptHost::Expand(std::string_view text, const shell::WizardFolders* folders) const {
    shell::TextSources sources;
    sources.languages = &languages_;
    sources.currentLanguage = kLanguage;
    sources.launchFolder = programFolder_;
    sources.applicationName = script_.applicationName;
    sources.altApplicationName = script_.applicationName;
    sources.applicationId = script_.applicationId;
    return shell::ExpandText(text, sources, folders);
}

wizard::WizardSettings ScriptHost::Settings() const {
    wizard::WizardSettings settings;
    settings.rightAligned = script_.rightAligned;
    return settings;
}

}  // namespace uninstaller
