// Uninstall.exe: removes an installed application. Setup.exe writes this
// program and its script to the temporary folder and starts it as
//   "<temp>\{Trelvo_QmSetup}.exe" "<temp>\{Trelvo_QmSetup}.ini" [-quiet]
// Exit codes: 0 uninstalled, 1 declined or cancelled, 2 unusable script.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "uninstaller/command_line.h"
#include "uninstaller/script.h"
#include "uninstaller/self_removal.h"
#include "uninstaller/uninstall_work.h"
#include "wizard/wizard_frame.h"

namespace {

enum ExitCode { kUninstalled = 0, kNotUninstalled = 1, kBadScript = 2 };

int Uninstall(const uninstaller::Arguments& args) {
    uninstaller::Script script;
    uninstaller::ScriptStatus status = uninstaller::LoadScript(args.script, &script);
    if (status != uninstaller::ScriptStatus::kOk) {
        ::MessageBoxA(nullptr, uninstaller::BadScriptMessage(status, args.script).c_str(), "Uninstall",
                      MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
        return kBadScript;
    }
    uninstaller::ScriptHost host(script);
    // The menu's uninstall entry asked already and says so with -quiet.
    if (!args.quiet) {
        std::string warning = host.Expand("[INSTALL_GENERAL_UNINSTALL_WARNING]", nullptr);
        if (::MessageBoxA(nullptr, warning.c_str(), "Setup",
                          MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2 | MB_SETFOREGROUND) != IDYES)
            return kNotUninstalled;
    }
    wizard::WizardFrame frame(host, wizard::WizardMode::kUninstall);
    frame.SetTargetFolder(script.targetFolder);
    const uninstaller::UninstallJob job{script.todo, script.targetFolder, script.rightAligned};
    frame.SetUninstallWork([&job](wizard::UninstallingPage& page) { return uninstaller::PerformUninstall(page, job); });
    return frame.Run(nullptr) == 1 ? kUninstalled : kNotUninstalled;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);

    char self[MAX_PATH * 2] = {};
    DWORD n = ::GetModuleFileNameA(nullptr, self, sizeof self);
    std::string program = n && n < sizeof self ? std::string(self, n) : std::string();
    uninstaller::Arguments args = uninstaller::ParseCommandLine(::GetCommandLineA(), program);
    // Started from the installed folder, the uninstaller would keep that
    // folder busy as its current directory: work from its own folder.
    size_t slash = program.find_last_of('\\');
    if (slash != std::string::npos) ::SetCurrentDirectoryA(program.substr(0, slash + 1).c_str());

    int code = Uninstall(args);

    // Only the copy in the temporary folder removes itself and its script.
    if (uninstaller::IsTemporaryCopy(program))
        uninstaller::ScheduleSelfRemoval(program,
                                         uninstaller::IsPartnerScript(program, args.script) ? args.script : "");
    return code;
}
