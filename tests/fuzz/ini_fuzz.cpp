// Property: parsing any bytes as a configuration file, in text or compiled
// form, never crashes, overruns or hangs, and the parsed tree can be queried.
// The first byte chooses the form: odd bytes get the compiled form's mark.
// A text that compiles also reads back from its compiled form, and, when no
// macro ("[") or byte the two forms read differently (NUL, the one-byte
// keywords 1 and 2) is involved, into the same tree as the text itself.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "core/ini.h"
#include "core/mount_table.h"
#include "core/stream.h"

namespace {

void Query(core::IniFile& ini) {
    for (size_t i = 0; i < ini.EntryCount(); ++i) ini.EntryAt(i)->GetAttribute("Type");
    ini.GetEntryInt("MasterControl/PhysicalMemoryRequired");
    ini.FindGroup("FileSystems");
}

bool SameGroup(const core::IniGroup& a, const core::IniGroup& b) {
    if (a.Name() != b.Name() || a.Macros() != b.Macros() || a.Entries().size() != b.Entries().size() ||
        a.Children().size() != b.Children().size())
        return false;
    for (size_t i = 0; i < a.Entries().size(); ++i) {
        const core::IniEntry& x = *a.Entries()[i];
        const core::IniEntry& y = *b.Entries()[i];
        if (x.Name() != y.Name() || x.Value() != y.Value() || x.Attributes() != y.Attributes()) return false;
    }
    for (size_t i = 0; i < a.Children().size(); ++i)
        if (!SameGroup(*a.Children()[i], *b.Children()[i])) return false;
    return true;
}

}  // namespace

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
    const bool compiledForm = data[0] & 1;
    std::vector<uint8_t> bytes;
    if (compiledForm) bytes.assign(core::kIniCompiledMark, core::kIniCompiledMark + 4);
    bytes.insert(bytes.end(), data + 1, data + size);
    core::ResourceStream stream(bytes.data(), bytes.size());
    core::IniFile ini;
    ini.Parse("fuzz.ini", &stream);
    Query(ini);
    if (compiledForm) return 0;

    // The same text through the compiler.
    std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::vector<uint8_t> compiled;
    std::string error;
    if (!core::CompileIni(text, &compiled, &error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    core::ResourceStream compiledStream(compiled.data(), compiled.size());
    core::IniFile fromCompiled;
    fromCompiled.Parse("fuzz.ini", &compiledStream);
    Query(fromCompiled);
    if (text.find_first_of(std::string_view("[\0\x01\x02", 4)) != std::string_view::npos) return 0;
    if (!SameGroup(ini, fromCompiled)) std::abort();
    return 0;
}
