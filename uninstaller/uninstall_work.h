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

// Whether a file whose deletion failed with deleteError is in use, that is,
// worth waiting for: another handle without delete sharing, or a program or
// library being run (Windows refuses those with ERROR_ACCESS_DENIED too, and
// refuses to open them for writing). Any other denial will not go away by
// waiting: a read-only file, a folder, a file the user may not delete.
bool IsInUse(const std::string& path, DWORD deleteError);

// The order an uninstall runs the log in, so that until the very end what is
// left can still be found and removed: the application's files, shortcuts and
// folders first; then the installed Setup.exe, the program that removes it;
// only once that is gone its DirectX library, the registry lines (among
// them the entries that find the installed copy) and last the log itself.
struct UninstallOrder {
    std::vector<std::string> first;  // may be cancelled between and during lines
    std::string program;             // the installed Setup.exe's line, or empty
    std::vector<std::string> last;   // runs to its end once the program is gone
    std::string logPath;             // the installed Setup.uni, or empty
};

// The installed folder is the log's own when the list names its log
// ("delete_file|<folder>\Setup.uni"), else fallbackFolder.
UninstallOrder OrderUninstall(const std::vector<std::string>& todo, const std::string& fallbackFolder);

// The lines of todo whose file, folder, key or value is still there, in order.
std::vector<std::string> LinesStillToDo(const std::vector<std::string>& todo);

struct UninstallJob {
    std::vector<std::string> todo;
    std::string targetFolder;  // the installed folder the script names
    bool rightAligned = false;
};

// Runs the lines in the order above with the executor's rules (nothing is
// asked, errors are ignored) and moves the page's bar one step a line. A file
// in use is retried until it is free or the wait is used up. Afterwards the
// folders of the list are removed once more, now that the files that came
// after them in the list (the uninstall log) are gone; a folder that still
// holds anything stays. On Cancel the log is rewritten with what is still
// there, so that the installed Setup.exe can finish the job later, and false
// is returned.
bool PerformUninstall(wizard::UninstallingPage& page, const UninstallJob& job, DWORD lockWaitMs = kLockWaitMs);

}  // namespace uninstaller
