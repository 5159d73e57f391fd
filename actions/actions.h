// The action engine: the ordered actions of a menu entry, run when the entry
// is clicked, and the dependency pass that shows, greys or hides entries.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "core/data_group.h"
#include "shell/menu_window.h"

namespace actions {

enum ActionType : int32_t {
    kActionLaunch = 0,
    kActionDelete = 1,
    kActionOpen = 2,
    kActionRegistryWrite = 3,
    kActionRegistryDelete = 4,
    kActionDirectX = 5,
    kActionLanguage = 6,
    kActionExit = 7,
    kActionInstall = 8,
    kActionUninstall = 9,
    kActionCopy = 10,
    kActionInfo = 11,
    kActionAdminRights = 12,
};

enum DependencyType : int32_t {
    kDependRegistryValue = 0,
    kDependNoRegistryValue = 1,
    kDependDirectX = 2,
    kDependOlderDirectX = 3,
    kDependFile = 4,
    kDependNoFile = 5,
    kDependExitCode = 6,
    kDependLanguage = 7,
    kDependOtherLanguage = 8,
    kDependInstalled = 9,
    kDependNotInstalled = 10,
    kDependAdminRights = 11,
};

// Runs the actions of the controller in order and stops at the first that
// fails; then evaluates all dependencies. False only when an exit action
// ran (the menu must close); true for an unknown controller, which runs
// nothing.
bool RunActions(shell::MenuWindow& menu, const std::string& controllerId);

// Tests every controller's dependencies, stores the result as its
// Available flag and shows, hides, enables or disables its objects.
void EvaluateDependencies(shell::MenuWindow& menu);

// Hands both to the menu window.
void InstallEngine();

// One action or one dependency test on its own: true to go on / the test
// holds. Types outside the tables give true.
bool RunAction(shell::MenuWindow& menu, int32_t type, const core::DataGroup& record);
bool TestDependency(shell::MenuWindow& menu, int32_t type, const core::DataGroup& record);

// The working folder and command line of a started program.
struct ProcessCommand {
    std::string workingFolder;
    std::string commandLine;
};
// currentDirectory joined with directory (one backslash between them, none
// when directory is empty); filename, and parameters after one space.
ProcessCommand BuildProcessCommand(const std::string& currentDirectory, const std::string& directory,
                                   const std::string& filename, const std::string& parameters);

// Starts the command line in the working folder the way launches and the
// exit-code condition do; false when it cannot start. The caller closes
// both handles.
bool StartProcess(const ProcessCommand& command, PROCESS_INFORMATION* process);

// The keys of a launch record (also read by the exit-code dependency).
bool LaunchProgram(shell::MenuWindow& menu, const core::DataGroup& record);

// The root key of a "Root" number: 0 classes root, 1 current user, 2 local
// machine; null for any other number.
HKEY RegistryRootKey(int32_t root);

// The system restart asked for after a DirectX setup. Tests replace it, so
// that no test ever asks the machine to restart; the default is the real one.
using RestartFunction = bool (*)();
void SetRestartFunction(RestartFunction restart);
bool RestartWindows();

}  // namespace actions
