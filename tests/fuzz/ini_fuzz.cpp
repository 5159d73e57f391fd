// Property: parsing any bytes as a configuration file, in text or compiled
// form, never crashes, overruns or hangs, and the parsed tree can be queried.
// The first byte chooses the form: odd bytes get the compiled form's mark.
#include <cstdint>
#include <vector>

#include "core/ini.h"
#include "core/mount_table.h"
#include "core/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Inclusions go through the mount table: give it nothing it could open,
    // so the input never reaches real files.
    static const bool sealed = [] {
        core::UnmountAll();
        core::Mount("<IntRes>", "Resource", false);
        return true;
    }();
    (void)sealed;
    if (size == 0) return 0;
    std::vector<uint8_t> bytes;
    if (data[0] & 1) bytes.assign(core::kIniCompiledMark, core::kIniCompiledMark + 4);
    bytes.insert(bytes.end(), data + 1, data + size);
    core::ResourceStream stream(bytes.data(), bytes.size());
    core::IniFile ini;
    ini.Parse("fuzz.ini", &stream);
    for (size_t i = 0; i < ini.EntryCount(); ++i) ini.EntryAt(i)->GetAttribute("Type");
    ini.GetEntryInt("MasterControl/PhysicalMemoryRequired");
    ini.FindGroup("FileSystems");
    return 0;
}
