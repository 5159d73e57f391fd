// The manifest of a disc's Setup.exe.
#include "tools/disctool/program_resources.h"

#include "manifest_template.h"

namespace disctool {

const char* const kExecutionLevels[3] = {"asInvoker", "highestAvailable", "requireAdministrator"};

namespace {

std::string Setting(const core::DataGroup& tree, const char* key) {
    const core::DataValue* v = tree.FindValue(key);
    return v && v->Text() ? v->Text() : "";
}

// A text that is one text key reads as the default language says it.
std::string Translated(const core::DataGroup& tree, const std::string& text) {
    if (text.size() < 3 || text.front() != '[' || text.back() != ']') return text;
    const core::DataGroup* languages = tree.FindGroup("Languages");
    const core::DataValue* language = languages ? languages->FindValue(Setting(tree, "DefaultLanguage")) : nullptr;
    const core::DataGroup* texts = language ? language->Group() : nullptr;
    const core::DataValue* v = texts ? texts->FindValue(text.substr(1, text.size() - 2)) : nullptr;
    return v && v->Text() ? v->Text() : text;
}

std::string Replaced(std::string text, const std::string& placeholder, const std::string& value) {
    for (size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at + value.size()))
        text.replace(at, placeholder.size(), value);
    return text;
}

}  // namespace

ProgramIdentity IdentityOf(const core::DataGroup& tree) {
    ProgramIdentity id;
    id.executionLevel = Setting(tree, "ExecutionLevel");
    if (id.executionLevel.empty()) {
        // An administrator gets one prompt and a full token for the install;
        // a standard user still sees the menu.
        const core::DataValue* installs = tree.FindValue("UseInstaller");
        id.executionLevel = installs && installs->Bool() ? "highestAvailable" : "asInvoker";
    }
    id.productName = Translated(tree, Setting(tree, "ApplicationName"));
    return id;
}

std::string ProgramManifest(const std::string& programName, const std::string& executionLevel) {
    return Replaced(Replaced(kManifestTemplate, "@DISC_PROGRAM_NAME@", programName), "@DISC_EXECUTION_LEVEL@",
                    executionLevel);
}

}  // namespace disctool
