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
    bool logDamaged = false;  // Setup.uni is there but unreadable: nothing written, nothing started
};

// What the user is told when the uninstall log is damaged.
inline constexpr const char kDamagedLogText[] =
    "The uninstall log Setup.uni in this folder is damaged, so the application cannot be removed "
    "safely. Nothing has been removed.";

// The uninstaller's command line: the program path unquoted, the script path
// in double quotes, and " -quiet" when the menu already asked.
std::string UninstallCommandLine(const std::string& base, bool quiet);

// Refuses a damaged "Setup.uni" (see logDamaged). Otherwise writes the uninstaller and its script (the "ToDo" of "Setup.uni" in the
// current folder, the language texts, "RightAligned") to the temporary folder
// and starts it without waiting. Failures are not reported to the user.
UninstallLaunch RunUninstall(bool quiet, const UninstallRequest& request);

}  // namespace installer
