// Handing an uninstall to the uninstaller program that Setup.exe carries.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/data_group.h"

namespace installer {

// What the menu knows that the uninstaller shows.
struct UninstallRequest {
    const core::DataGroup* languageTexts = nullptr;  // the current language's texts
    std::string applicationName;                     // as stored, not expanded
    std::string applicationId;
    bool rightAligned = false;
    HWND owner = nullptr;  // of the messages shown when the uninstall cannot start
    // Text keys ("[INSTALL_GENERAL_ERROROPENFILE]", "[ApplicationName]") in
    // the current language; without it keys are shown as written.
    std::function<std::string(std::string_view)> expand;
};

enum class UninstallOutcome {
    kStarted,
    kNoLog,         // no Setup.uni in any folder the application may be installed in
    kLogUnreadable, // Setup.uni is there but cannot be read, and the user cancelled
    kLogDamaged,    // Setup.uni is not a log of delete operations
    kNotWritten,    // the uninstaller or its script could not be written, and the user cancelled
    kNotStarted,    // the uninstaller could not be started
};

struct UninstallLaunch {
    UninstallOutcome outcome = UninstallOutcome::kNotStarted;
    std::string logPath;          // the log handed over (or the last one tried)
    std::string installedFolder;  // the folder that log lies in
    std::string programPath;      // {Trelvo_QmSetup}.exe in the temporary folder
    std::string scriptPath;       // {Trelvo_QmSetup}.ini next to it
    std::string commandLine;
    bool started() const { return outcome == UninstallOutcome::kStarted; }
};

// The uninstaller's command line: the program path and the script path, each
// in double quotes (the temporary folder may hold spaces), and " -quiet" when
// the menu already asked.
std::string UninstallCommandLine(const std::string& base, bool quiet);

// The folders an installed copy may lie in, most likely first: the current
// folder (the running copy is the installed one, as with "-uninst"), the
// installed folder recorded for applicationId, and the folder of the program
// that the system's list of installed programs starts for it.
std::vector<std::string> InstalledFolderCandidates(const std::string& applicationId);

// The folder of the program an uninstall command starts
// ("C:\Games\X\Setup.exe -uninst", quoted or not); empty when it names none.
std::string ProgramFolderOfCommand(std::string_view command);

// Finds the installed copy's "Setup.uni", writes the uninstaller and its
// script (the log's "ToDo", the language texts with "TargetFolder" = the
// installed folder, "RightAligned") to the temporary folder and starts it
// without waiting. Whatever keeps it from starting is told to the user, owned
// by request.owner; nothing is removed then.
UninstallLaunch RunUninstall(bool quiet, const UninstallRequest& request);

}  // namespace installer
