#include <cstring>
#include <string>
#include <vector>

#include "core/file_systems.h"
#include "core/module.h"
#include "core/text.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace core {

namespace {

struct Registration {
    std::string name;
    std::string typeName;      // text type, when integerType is 0
    uintptr_t integerType = 0;  // integer type (4096 or less)
    uint16_t id = 0;
    const uint8_t* bytes = nullptr;
    uint64_t size = 0;
    bool opened = false;
};

// Built on first use: registrations come from static initialisers of other
// translation units, which run in no fixed order.
std::vector<Registration>& Registrations() {
    static std::vector<Registration> list;
    return list;
}

void* g_instance = nullptr;

#ifdef _WIN32
bool Lock(Registration& r) {
    HMODULE module = static_cast<HMODULE>(CoreInstance());
    LPCSTR type = r.integerType ? MAKEINTRESOURCEA(r.integerType) : r.typeName.c_str();
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(r.id), type);
    if (!info) return false;
    DWORD size = SizeofResource(module, info);
    HGLOBAL loaded = LoadResource(module, info);
    if (!loaded) return false;
    void* bytes = LockResource(loaded);
    if (!bytes) return false;
    r.bytes = static_cast<const uint8_t*>(bytes);
    r.size = size;
    return true;
}
#else
// Host programs carry no Win32 resources.
bool Lock(Registration&) { return false; }
#endif

}  // namespace

void* CoreInstance() {
#ifdef _WIN32
    if (!g_instance) return GetModuleHandleA(nullptr);
#endif
    return g_instance;
}

void SetCoreInstance(void* instance) { g_instance = instance; }

bool RegisterInternalResource(const char* name, const char* type, uint16_t id) {
    Registration r;
    r.name = name ? name : ":<illegal>";
    if (reinterpret_cast<uintptr_t>(type) <= 4096)
        r.integerType = reinterpret_cast<uintptr_t>(type);
    else
        r.typeName = type;
    r.id = id;
    Registrations().push_back(std::move(r));
    return true;
}

bool RegisterInternalResource(const char* name, uintptr_t integerType, uint16_t id) {
    return RegisterInternalResource(name, reinterpret_cast<const char*>(integerType), id);
}

size_t InternalResourceCount() { return Registrations().size(); }

bool ResourceFileSystem::Mount(const std::string&, bool) { return true; }

void ResourceFileSystem::Unmount() { Registrations().clear(); }

std::unique_ptr<Stream> ResourceFileSystem::Open(const char* name, bool create, bool) {
    if (!name || !*name || create) return nullptr;
    for (Registration& r : Registrations()) {
        if (!EqualsNoCase(r.name, name)) continue;
        if (!r.opened) {
            if (!Lock(r)) return nullptr;
            r.opened = true;
        }
        return std::make_unique<ResourceStream>(r.bytes, r.size);
    }
    return nullptr;
}

}  // namespace core
