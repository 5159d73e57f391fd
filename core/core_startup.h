// The process-wide core object: command-line arguments, "Tessor.ini", the
// file systems it lists, and the managers; started first and shut down last.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/ini.h"
#include "core/mount_table.h"
#include "core/os_version.h"

namespace core {

// Arguments longer than this are cut.
inline constexpr size_t kArgumentLimit = 1023;

// Splits a command line: blanks separate, a token that begins with a double
// quote runs to the next double quote; no escapes. The first token (the
// program) is dropped.
std::vector<std::string> ParseCommandLine(const char* commandLine);

// A path as the first word of a command line: in double quotes, so that a
// folder such as "C:\Program Files" is neither cut at its blank by the
// parser above nor searched as "C:\Program.exe" by the system.
std::string QuotedCommandWord(const std::string& path);

// Marks itself started once; a second start is refused.
class CoreServices {
public:
    bool Start();
    bool Started() const { return started_; }

private:
    bool started_ = false;
};

// A plug-in as the ini file names it: its own ini file, whether it starts by
// itself, and the file systems it mounts when loaded.
struct PluginRecord {
    std::string name;
    IniFile ini;
    bool autoRun = false;
    IniGroup* fileSystems = nullptr;
    std::string registeredValue1, registeredValue2;
};

class PluginManager {
public:
    // Reads the plug-ins that group (null: none) lists; false when one of
    // their ini files cannot be read.
    bool Init(IniGroup* group);
    void Stop() { plugins_.clear(); }
    const std::vector<std::unique_ptr<PluginRecord>>& Plugins() const { return plugins_; }
    int64_t CounterFrequency() const { return frequency_; }

private:
    std::vector<std::unique_ptr<PluginRecord>> plugins_;
    int64_t frequency_ = 0;
};

// Plug-in descriptions registered by static initialisation, taken over by the
// plug-in of the same name when the manager starts.
bool RegisterPluginDescription(const char* name, const char* value1, const char* value2);

class HardwareManager {
public:
    bool Init(IniGroup*) { return true; }
    void Stop() {}
};

class Core {
public:
    struct ManagerRecord {
        void* object;
        bool active;
    };

    // commandLine: null takes the process's own (GetCommandLineA on Windows).
    bool Init(void* mainWindow, void* instance, const char* commandLine = nullptr);
    void Shutdown();

    const std::vector<std::string>& Arguments() const { return arguments_; }
    size_t ArgumentCount() const { return arguments_.size(); }
    void* Instance() const { return instance_; }
    void* MainWindow() const { return mainWindow_; }
    IniFile& Ini() { return ini_; }
    PluginManager* Plugins() { return pluginManager_.get(); }
    HardwareManager* Hardware() { return hardwareManager_.get(); }
    CoreServices* Services() { return services_.get(); }
    const std::vector<ManagerRecord>& Managers() const { return managers_; }
    bool ManagersChanged() const { return managersChanged_; }

private:
    void Enter(void* manager);
    void Deactivate(void* manager);
    static void CommitMemory(int64_t bytes);

    void* mainWindow_ = nullptr;
    void* instance_ = nullptr;
    std::unique_ptr<PluginManager> pluginManager_;
    std::unique_ptr<HardwareManager> hardwareManager_;
    std::unique_ptr<CoreServices> services_;
    // Two registries of the managers, as the core keeps them (update and draw order).
    std::vector<ManagerRecord> managers_, managersByOrder_;
    bool managersChanged_ = false;
    IniFile ini_;
    std::vector<std::string> arguments_;
};

Core& GetCore();
void DestroyCore();

}  // namespace core
