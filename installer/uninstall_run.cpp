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

    // The log sits next to the installed copy of Setup.exe, the current folder.
    core::DataGroup log;
    log.Load("Setup.uni");
    core::DataValue::List todo;
    if (const core::DataValue* v = log.FindValue("ToDo"))
        if (const core::DataValue::List* list = v->GetList()) todo = *list;

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
