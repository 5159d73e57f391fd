// Handing an uninstall to the uninstaller program that Setup.exe carries.
#pragma once

#include <string>

#include "core/data_group.h"

namespace installer {

// What the menu knows that the uninstaller shows.
struct UninstallRequest {
    const core::DataGroup* languageTexts = nullptr;  // the current language's texts
    std::string applicationName;                     // as stored, not expanded
    std::string applicationId;
    bool rightAligned = false;
};

struct UninstallLaunch {
    std::string programPath;  // {Trelvo_QmSetup}.exe in the temporary folder
    std::string scriptPath;   // {Trelvo_QmSetup}.ini next to it
    std::string commandLine;
    bool started = false;
};

// The uninstaller's command line: the program path unquoted, the script path
// in double quotes, and " -quiet" when the menu already asked.
std::string UninstallCommandLine(const std::string& base, bool quiet);

// Writes the uninstaller and its script (the "ToDo" of "Setup.uni" in the
// current folder, the language texts, "RightAligned") to the temporary folder
// and starts it without waiting. Failures are not reported to the user.
UninstallLaunch RunUninstall(bool quiet, const UninstallRequest& request);

}  // namespace installer
