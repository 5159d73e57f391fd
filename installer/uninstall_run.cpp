#include "installer/uninstall_run.h"

#include <windows.h>

#include "core/binary_buffer.h"
#include "core/file_path.h"

namespace installer {

std::string UninstallCommandLine(const std::string& base, bool quiet) {
    return base + ".exe \"" + base + ".ini\"" + (quiet ? " -quiet" : "");
}

UninstallLaunch RunUninstall(bool quiet, const UninstallRequest& request) {
    UninstallLaunch launch;
    // The log sits next to the installed copy of Setup.exe, the current
    // folder. A missing log removes nothing; a damaged one is refused, so
    // that nothing runs on half a list.
    core::DataGroup log;
    core::TreeReadError error;
    core::DataValue::List todo;
    if (!log.Load("Setup.uni", &error)) {
        if (error.reason != "cannot be opened") {
            launch.logDamaged = true;
            return launch;
        }
    } else if (const core::DataValue* v = log.FindValue("ToDo")) {
        const core::DataValue::List* list = v->GetList();
        bool texts = list != nullptr;
        for (size_t i = 0; texts && i < list->size(); ++i) texts = (*list)[i].TextObject() != nullptr;
        if (!texts) {
            launch.logDamaged = true;
            return launch;
        }
        todo = *list;
    }

    core::BinaryBuffer program;
    program.LoadFromFile("$:$Uninstaller_Runtime$:$");

    core::FilePath programFolder, temp;
    programFolder.SetSpecialFolder(core::kFolderProgram);
    temp.SetSpecialFolder(core::kFolderTemp);
    std::string tempFolder = temp.FullPath();
    if (tempFolder.empty() || tempFolder.back() != '\\') tempFolder += '\\';
    std::string base = tempFolder + "{Trelvo_QmSetup}";
    launch.programPath = base + ".exe";
    launch.scriptPath = base + ".ini";
    program.SaveToFile(launch.programPath.c_str());
    launch.commandLine = UninstallCommandLine(base, quiet);

    core::DataGroup script;
    script.SetValue("ToDo", core::DataValue(todo));
    core::DataGroup lang;
    if (request.languageTexts) lang = *request.languageTexts;
    lang.SetValue("ApplicationName", core::DataValue(request.applicationName));
    lang.SetValue("ApplicationID", core::DataValue(request.applicationId));
    lang.SetValue("TargetFolder", core::DataValue(programFolder.FullPath()));
    script.SetValue("Lang", core::DataValue(lang));
    script.SetValue("RightAligned", core::DataValue(request.rightAligned));
    script.Save(launch.scriptPath.c_str());

    std::string commandLine = launch.commandLine;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_FORCEONFEEDBACK;
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE, nullptr,
                       nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        launch.started = true;
    }
    return launch;
}

}  // namespace installer
