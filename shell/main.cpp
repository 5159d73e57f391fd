// Setup.exe: the program entry.
#include <windows.h>

#include "actions/actions.h"
#include "core/file_systems.h"
#include "shell/startup.h"

namespace {

// The project tree and the uninstaller travel inside this program; their
// names are known before anything opens a file.
const bool g_registered = core::RegisterInternalResource("$:$Config_Runtime$:$", "VGF", 157) &&
                          core::RegisterInternalResource("$:$Uninstaller_Runtime$:$", "EXE", 153);

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    (void)g_registered;
    actions::InstallEngine();
    return shell::RunSetup(instance);
}
