#include "core/core_startup.h"

#include <cstdlib>
#include <cstring>

#include "core/module.h"
#include "core/text.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace core {

namespace {

Core* g_core = nullptr;

struct PluginDescription {
    std::string name, value1, value2;
};

std::vector<PluginDescription>& PluginDescriptions() {
    static std::vector<PluginDescription> list;
    return list;
}

}  // namespace

std::vector<std::string> ParseCommandLine(const char* commandLine) {
    std::vector<std::string> tokens;
    if (!commandLine) return tokens;
    const char* p = commandLine;
    bool first = true;
    for (;;) {
        while (*p == ' ') ++p;
        if (!*p) break;
        char delimiter = ' ';
        if (*p == '"') {
            delimiter = '"';
            ++p;
        }
        const char* start = p;
        while (*p && *p != delimiter) ++p;
        std::string token(start, size_t(p - start) < kArgumentLimit ? size_t(p - start) : kArgumentLimit);
        bool atEnd = *p == 0;
        if (*p) ++p;  // the delimiter
        if (!first) tokens.push_back(std::move(token));
        first = false;
        if (atEnd || !*p) break;
    }
    return tokens;
}

std::string QuotedCommandWord(const std::string& path) { return "\"" + path + "\""; }

bool CoreServices::Start() {
    if (started_) return false;
    started_ = true;
    return true;
}

bool RegisterPluginDescription(const char* name, const char* value1, const char* value2) {
    PluginDescriptions().push_back({name ? name : "", value1 ? value1 : "", value2 ? value2 : ""});
    return true;
}

bool PluginManager::Init(IniGroup* group) {
    if (!group) return true;
    auto& descriptions = PluginDescriptions();
    for (size_t i = 0; i < group->EntryCount(); ++i) {
        IniEntry* entry = group->EntryAt(i);
        auto plugin = std::make_unique<PluginRecord>();
        plugin->name = entry->Name();
        for (auto it = descriptions.begin(); it != descriptions.end(); ++it)
            if (EqualsNoCase(it->name, plugin->name)) {
                plugin->registeredValue1 = it->value1;
                plugin->registeredValue2 = it->value2;
                descriptions.erase(it);
                break;
            }
        if (!plugin->ini.Parse(entry->Value().c_str())) return false;
        plugin->autoRun = plugin->ini.GetEntryString("AutoRun") == "true";
        plugin->fileSystems = plugin->ini.FindGroup("FileSystems");
        plugins_.push_back(std::move(plugin));
    }
    descriptions.clear();
#ifdef _WIN32
    LARGE_INTEGER f;
    frequency_ = QueryPerformanceFrequency(&f) ? f.QuadPart : 0;
#else
    frequency_ = 1000000000;
#endif
    return true;
}

void Core::Enter(void* manager) {
    managers_.push_back({manager, true});
    managersByOrder_.push_back({manager, true});
}

void Core::Deactivate(void* manager) {
    for (auto* list : {&managers_, &managersByOrder_})
        for (auto& record : *list)
            if (record.object == manager && record.active) {
                record.active = false;
                managersChanged_ = true;
            }
}

void Core::CommitMemory(int64_t bytes) {
    if (bytes <= 0) return;
    // Touch every 64 KB page twice so that the memory is really there.
    for (int round = 0; round < 2; ++round) {
        auto* block = static_cast<volatile uint8_t*>(std::malloc(size_t(bytes)));
        if (!block) return;
        for (int64_t at = 0; at < bytes; at += 65536) block[at] = 0xFF;
        std::free(const_cast<uint8_t*>(block));
    }
}

bool Core::Init(void* mainWindow, void* instance, const char* commandLine) {
    mainWindow_ = mainWindow;
    instance_ = instance;
    if (instance) SetCoreInstance(instance);
#ifdef _WIN32
    if (!commandLine) commandLine = GetCommandLineA();
#endif
    arguments_ = ParseCommandLine(commandLine);

    // The first open mounts the defaults; a missing file leaves the ini empty.
    ini_.Parse("Tessor.ini");
    if (IniGroup* fileSystems = ini_.FindGroup("FileSystems")) {
        for (size_t i = 0; i < fileSystems->EntryCount(); ++i) {
            IniEntry* entry = fileSystems->EntryAt(i);
            std::string type = entry->GetAttribute("Type");
            bool optimize = entry->GetAttribute("OptimizeIO") == "true";
            Mount(entry->Value().c_str(), type.c_str(), optimize);
        }
    }
    if (ini_.HasEntry("MasterControl/PhysicalMemoryRequired"))
        CommitMemory(ini_.GetEntryInt("MasterControl/PhysicalMemoryRequired"));

    services_ = std::make_unique<CoreServices>();
    services_->Start();

    pluginManager_ = std::make_unique<PluginManager>();
    if (!pluginManager_->Init(ini_.FindGroup("PluginManager"))) return false;
    Enter(pluginManager_.get());

    hardwareManager_ = std::make_unique<HardwareManager>();
    hardwareManager_->Init(ini_.FindGroup("HardwareManager"));
    Enter(hardwareManager_.get());
    return true;
}

void Core::Shutdown() {
    if (pluginManager_) {
        Deactivate(pluginManager_.get());
        pluginManager_->Stop();
        pluginManager_.reset();
    }
    if (hardwareManager_) {
        Deactivate(hardwareManager_.get());
        hardwareManager_->Stop();
        hardwareManager_.reset();
    }
    services_.reset();
    managers_.clear();
    managersByOrder_.clear();
    UnmountAll();
    ini_.Clear();
}

Core& GetCore() {
    if (!g_core) g_core = new Core();
    return *g_core;
}

void DestroyCore() {
    delete g_core;
    g_core = nullptr;
}

}  // namespace core
