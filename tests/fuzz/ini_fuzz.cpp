// Property: parsing any bytes as a configuration file, in text or compiled
// form, never crashes, overruns or hangs, and the parsed tree can be queried.
// The first byte chooses the form: odd bytes get the compiled form's mark.
//
// Every input is read through three streams: the memory stream, the host's
// file stream over a temporary file (the stream the program really reads
// Tessor.ini with, which lets a seek pass the end of the file), and a stream
// whose reads fail from an offset on (a damaged sector; the other seven bits
// of the first byte choose where). The file stream gives the same tree as
// the memory stream, unless the text holds a NUL (which ends a line only in
// a file).
//
// A text that compiles also reads back from its compiled form, and, when no
// macro ("[") or byte the two forms read differently (NUL, the one-byte
// keywords 1 and 2) is involved, into the same tree as the text itself.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/ini.h"
#include "core/mount_table.h"
#include "core/os/file_stream.h"
#include "core/stream.h"
#include "../core/damaged_stream.h"

namespace {

// The temporary file that the file stream reads; one name per process, removed after each input.
const std::string& TemporaryPath() {
    static const std::string path = [] {
        std::error_code ec;
        std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
        if (ec) dir = ".";
        std::string name = "ini_fuzz-" + std::to_string(std::random_device{}()) + ".ini";
        return (dir / name).string();
    }();
    return path;
}

// Parses bytes from the temporary file, through the file stream.
void ParseThroughFile(core::IniFile& ini, const std::vector<uint8_t>& bytes) {
    const std::string& path = TemporaryPath();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
    if (std::fclose(f) != 0) std::abort();
    auto stream = core::FileStream::Open(path.c_str(), core::FileOpenMode::Read);
    if (!stream) std::abort();
    ini.Parse("fuzz.ini", stream.get());
    // Reading ended at the end of the file, not somewhere past it.
    if (stream->Tell() > bytes.size()) std::abort();
    stream->Close();
    std::remove(path.c_str());  // no file stays behind, whichever way the process ends
}

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
    const size_t markSize = compiledForm ? sizeof core::kIniCompiledMark : 0;
    std::vector<uint8_t> bytes(markSize + size - 1);
    if (markSize) std::memcpy(bytes.data(), core::kIniCompiledMark, markSize);
    if (size > 1) std::memcpy(bytes.data() + markSize, data + 1, size - 1);
    core::ResourceStream stream(bytes.data(), bytes.size());
    core::IniFile ini;
    ini.Parse("fuzz.ini", &stream);
    Query(ini);

    std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    core::IniFile fromFile;
    ParseThroughFile(fromFile, bytes);
    Query(fromFile);
    if ((compiledForm || text.find('\0') == std::string_view::npos) && !SameGroup(ini, fromFile)) std::abort();

    testutil::DamagedStream damaged(std::string(bytes.begin(), bytes.end()),
                                    uint64_t(bytes.size()) * (data[0] >> 1) / 127);
    core::IniFile fromDamaged;
    fromDamaged.Parse("fuzz.ini", &damaged);
    Query(fromDamaged);
    if (compiledForm) return 0;

    // The same text through the compiler.
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
