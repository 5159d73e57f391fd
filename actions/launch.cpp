// Starting a program from the disc or an installed folder, optionally
// waiting for it with the menu hidden, and comparing its exit code.
#include "actions/action_keys.h"
#include "actions/actions.h"
#include "installer/operation_list.h"
#include "ui/message_box.h"
#include "ui/message_loop.h"

namespace actions {

namespace {

// While messages are waiting, hand them on one at a time.
void PumpPending() {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE))
        if (!ui::PumpOneMessage()) break;
}

void RemoveAtoms(const std::string& name) {
    for (ATOM atom = ::GlobalFindAtomA(name.c_str()); atom; atom = ::GlobalFindAtomA(name.c_str()))
        if (::GlobalDeleteAtom(atom) != 0) break;  // GlobalDeleteAtom gives 0 on success
}

}  // namespace

ProcessCommand BuildProcessCommand(const std::string& currentDirectory, const std::string& directory,
                                   const std::string& filename, const std::string& parameters) {
    ProcessCommand command;
    command.workingFolder = currentDirectory;
    if (!directory.empty()) {
        if (command.workingFolder.empty() || command.workingFolder.back() != '\\') command.workingFolder += '\\';
        command.workingFolder += directory;
    }
    command.commandLine = filename;
    if (!parameters.empty()) command.commandLine += ' ' + parameters;
    return command;
}

bool StartProcess(const ProcessCommand& command, PROCESS_INFORMATION* process) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_FORCEONFEEDBACK;
    std::string line = command.commandLine;
    return ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_DEFAULT_ERROR_MODE, nullptr,
                            command.workingFolder.c_str(), &startup, process) != FALSE;
}

bool LaunchProgram(shell::MenuWindow& menu, const core::DataGroup& record) {
    RecordKeys keys(menu, record);
    const std::string directory = keys.Text("Directory");
    const std::string filename = keys.Text("Filename");
    const std::string parameters = keys.Text("Parameters");
    const bool wait = keys.Bool("Wait");
    const bool minimize = keys.Bool("Minimize");
    const bool useReturnCode = keys.Bool("UseReturncode");
    const int32_t returnCode = keys.Int("ReturnCode");
    const std::string atomName = keys.RawText("AtomName");
    const bool atomWait = keys.Bool("WaitForAtom") && wait && !atomName.empty();

    // Only an atom added after the start may hold the menu.
    if (atomWait) RemoveAtoms(atomName);

    const std::string saved = shell::CurrentDirectory();
    const ProcessCommand command = BuildProcessCommand(saved, directory, filename, parameters);
    ::SetCurrentDirectoryA(command.workingFolder.c_str());
    RECT place = {};
    menu.GetWindowRect(&place);

    // Cannot equal the expected code, so an unreadable exit code is a mismatch.
    DWORD exitCode = DWORD(returnCode) + 0x10000u;
    PROCESS_INFORMATION process = {};
    if (!StartProcess(command, &process)) {
        ::SetCurrentDirectoryA(saved.c_str());
        std::string shown = command.workingFolder;
        if (shown.empty() || shown.back() != '\\') shown += '\\';
        shown += command.commandLine;
        std::string text =
            installer::FormatWithArgument(menu.TranslateText("[AUTORUN_ERROR_STARTING_FILE]"), shown);
        ui::ShowMessage(menu.Handle(), text, menu.TranslateText("[AUTORUN_ERROR]"), MB_OK | MB_ICONINFORMATION);
        return false;
    }

    if (wait) {
        if (minimize) menu.Show(SW_HIDE);
        ::WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        if (::GetExitCodeProcess(process.hProcess, &code)) exitCode = code;
        if (atomWait) {
            ::Sleep(2000);
            while (::GlobalFindAtomA(atomName.c_str())) ::Sleep(1000);
        }
        if (minimize) {
            PumpPending();
            menu.Show(SW_SHOW);
            menu.Move(place.left, place.top, place.right - place.left, place.bottom - place.top, true);
            PumpPending();
            menu.Show(SW_SHOW);
            PumpPending();
            menu.CenterOnScreen();
            menu.Show(SW_SHOW);
        }
    }
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    ::SetCurrentDirectoryA(saved.c_str());
    return wait && useReturnCode ? exitCode == DWORD(returnCode) : true;
}

}  // namespace actions
