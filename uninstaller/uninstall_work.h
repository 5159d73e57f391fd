// Carrying out the script's delete operations behind the uninstalling page.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "wizard/pages.h"

namespace uninstaller {

// The operations an uninstall performs; every other line of a script is
// skipped, so an uninstall never creates or copies anything.
bool IsDeleteOperation(const std::string& line);

// How long, in all, files that are still in use (above all the installed
// Setup.exe that started this uninstall) are waited for.
inline constexpr DWORD kLockWaitMs = 30000;

// Runs the lines in order with the executor's rules (nothing is asked, errors
// are ignored) and moves the page's bar one step a line. A file still in use
// is retried until it is free or the wait is used up. Afterwards the folders
// of the list are removed once more, now that the files that came after them
// in the list (the uninstall log) are gone; a folder that still holds
// anything stays. False when the user cancelled.
bool PerformUninstall(wizard::UninstallingPage& page, const std::vector<std::string>& todo,
                      DWORD lockWaitMs = kLockWaitMs);

}  // namespace uninstaller
