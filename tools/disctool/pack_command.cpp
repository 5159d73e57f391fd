// disctool pack: write, list, extract and verify Setup.pac packages.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/package.h"
#include "core/package_writer.h"
#include "core/text.h"
#include "tools/disctool/commands.h"
#include "tools/disctool/pack_progress.h"

namespace fs = std::filesystem;

namespace disctool {

namespace {

const char kPackUsage[] =
    "usage: disctool pack SUBCOMMAND [ARGS...]\n"
    "\n"
    "Subcommands:\n"
    "  create   write a package from folders and files\n"
    "  list     show the entries of a package\n"
    "  extract  copy entries out of a package into a folder\n"
    "  verify   read every entry of a package and report damaged chunks\n"
    "\n"
    "Run 'disctool pack SUBCOMMAND --help' for its arguments.\n";

const char kCreateUsage[] =
    "usage: disctool pack create OUT.pac DIR|FILE... [--method none|lzss|bzip2|best] [--block-size N]\n"
    "                            [--threads N]\n"
    "\n"
    "Writes the files below each DIR under names relative to that DIR, with \"\\\" between\n"
    "folders, and each FILE under its own name. --method best (the default) stores every\n"
    "chunk as the smallest of plain, LZSS and bzip2; --block-size is the number of bytes per\n"
    "chunk (default 65536, at most 67108864); --threads defaults to one per core. The package\n"
    "appears under OUT.pac only once it is complete.\n";

const char kListUsage[] =
    "usage: disctool pack list FILE\n"
    "\n"
    "Shows each entry's size, stored size, chunk count, ratio and name, and the totals.\n";

const char kExtractUsage[] =
    "usage: disctool pack extract FILE [ENTRY...] -C DIR\n"
    "\n"
    "Writes the named entries (all when none is named) below DIR, which defaults to the\n"
    "current folder. Entry names that would land outside DIR (absolute names, drive\n"
    "letters, \"..\") are refused before anything is written.\n";

const char kVerifyUsage[] =
    "usage: disctool pack verify FILE\n"
    "\n"
    "Reads every entry completely and reports each chunk that cannot be read or decoded,\n"
    "and a directory that ends before the end of the file.\n";

bool IsHelp(const char* arg) { return !std::strcmp(arg, "--help") || !std::strcmp(arg, "-h"); }

bool WantsHelp(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (IsHelp(argv[i])) return true;
    return false;
}

int Usage(const char* text) {
    std::fputs(text, stderr);
    return 2;
}

// "--name value" or "--name=value"; advances i past what it used.
bool TakeOption(int argc, char** argv, int& i, const char* name, std::string* value) {
    size_t n = std::strlen(name);
    if (std::strncmp(argv[i], name, n) != 0) return false;
    if (argv[i][n] == '=') {
        *value = argv[i] + n + 1;
        return true;
    }
    if (argv[i][n] != '\0') return false;
    if (i + 1 >= argc) {
        *value = "\x01";  // marks a missing value
        return true;
    }
    *value = argv[++i];
    return true;
}

bool ParseNumber(const std::string& text, uint64_t max, uint64_t* value) {
    if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    *value = std::stoull(text);
    return *value >= 1 && *value <= max;
}

// --- create ---------------------------------------------------------------

// The temporary package, removed when the run is interrupted.
char gTemporary[4096];

extern "C" void RemoveTemporaryAndExit(int signal) {
    if (gTemporary[0]) ::unlink(gTemporary);
    ::_exit(128 + signal);
}

std::string EntryName(const fs::path& relative) {
    std::string name;
    for (const fs::path& part : relative) {
        if (!name.empty()) name += '\\';
        name += part.string();
    }
    return name;
}

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

// Collects the inputs in a stable order: the arguments as given, and the files
// of each folder sorted by name.
bool CollectInputs(const std::vector<std::string>& sources, const std::string& out,
                   std::vector<core::PackInput>* inputs) {
    for (const std::string& source : sources) {
        std::error_code ec;
        fs::file_status st = fs::status(source, ec);
        if (ec || !fs::exists(st)) {
            Fail("%s: no such file or folder", source.c_str());
            return false;
        }
        if (fs::is_regular_file(st)) {
            inputs->push_back(core::PackInput::FromFile(fs::path(source).filename().string(), source));
            continue;
        }
        if (!fs::is_directory(st)) {
            Fail("%s: neither a file nor a folder", source.c_str());
            return false;
        }
        std::vector<fs::path> files;
        fs::recursive_directory_iterator it(source, ec), end;
        for (; !ec && it != end; it.increment(ec))
            if (it->is_regular_file(ec)) files.push_back(it->path());
        if (ec) {
            Fail("%s: cannot be listed (%s)", source.c_str(), ec.message().c_str());
            return false;
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& f : files) {
            // Packing a folder into itself must not take in the package being written.
            if (SameFile(f, out) || f.filename().string().rfind(fs::path(out).filename().string() + ".tmp", 0) == 0)
                continue;
            inputs->push_back(core::PackInput::FromFile(EntryName(fs::relative(f, source)), f.string()));
        }
    }
    for (size_t i = 0; i < inputs->size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (core::EqualsNoCase((*inputs)[i].name, (*inputs)[j].name)) {
                Fail("%s: stored as '%s', which %s already is (names compare without case)",
                     (*inputs)[i].file.c_str(), (*inputs)[i].name.c_str(), (*inputs)[j].file.c_str());
                return false;
            }
    return true;
}

int Create(int argc, char** argv) {
    if (WantsHelp(argc, argv)) return std::fputs(kCreateUsage, stdout), 0;
    core::PackOptions options;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string value;
        uint64_t number;
        if (TakeOption(argc, argv, i, "--method", &value)) {
            if (!core::ParsePackMethod(value, &options.method))
                return Fail("pack create: --method must be none, lzss, bzip2 or best"), 2;
        } else if (TakeOption(argc, argv, i, "--block-size", &value)) {
            if (!ParseNumber(value, core::kMaxBlockSize, &number))
                return Fail("pack create: --block-size must be a number from 1 to %u", core::kMaxBlockSize), 2;
            options.blockSize = uint32_t(number);
        } else if (TakeOption(argc, argv, i, "--threads", &value)) {
            if (!ParseNumber(value, 1024, &number)) return Fail("pack create: --threads must be 1 to 1024"), 2;
            options.threads = unsigned(number);
        } else if (argv[i][0] == '-' && argv[i][1] == '-') {
            Fail("pack create: unknown option '%s'", argv[i]);
            return Usage(kCreateUsage);
        } else {
            positional.push_back(argv[i]);
        }
    }
    if (positional.size() < 2) return Usage(kCreateUsage);
    const std::string out = positional[0];
    std::vector<core::PackInput> inputs;
    if (!CollectInputs({positional.begin() + 1, positional.end()}, out, &inputs)) return 1;

    PackProgressLine line("packing");
    const bool terminal = ::isatty(2);
    if (terminal) options.progress = [&](const core::PackProgress& p) { line.Show(p, false); };
    core::PackProgress last;
    auto shown = options.progress;
    options.progress = [&](const core::PackProgress& p) {
        last = p;
        if (shown) shown(p);
    };
    options.temporaryName = [](const std::string& name) {
        std::snprintf(gTemporary, sizeof gTemporary, "%s", name.c_str());
        std::signal(SIGINT, RemoveTemporaryAndExit);
        std::signal(SIGTERM, RemoveTemporaryAndExit);
    };
    std::string error;
    bool ok = core::WritePackage(out, inputs, options, &error);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    gTemporary[0] = 0;
    if (terminal) line.Show(last, true);
    if (!ok) return Fail("%s", error.c_str());
    std::printf("%s: %zu entries, %llu bytes stored in %llu (ratio %.3f), method %s, block size %u\n", out.c_str(),
                inputs.size(), (unsigned long long)last.bytesIn, (unsigned long long)last.bytesOut,
                last.bytesIn ? double(last.bytesOut) / last.bytesIn : 1.0, core::PackMethodName(options.method),
                options.blockSize);
    return 0;
}

// --- reading --------------------------------------------------------------

bool OpenPackage(const char* path, core::PackageFile& package) {
    if (package.Open(path)) return true;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) Fail("%s: no such file", path);
    else Fail("%s: not a package (no \"Package:\" header, or a block size of 0 or above %u)", path, core::kMaxBlockSize);
    return false;
}

struct ReadOutcome {
    uint64_t read = 0;
    bool complete = false;
};

// Reads an entry to its end, handing the bytes to sink; stops at a chunk that fails.
template <typename Sink>
ReadOutcome ReadEntry(core::PackageStream& s, Sink&& sink) {
    static std::vector<uint8_t> buffer(2u << 20);
    ReadOutcome r;
    while (uint64_t n = s.Read(buffer.data(), buffer.size())) {
        if (!sink(buffer.data(), size_t(n))) return r;
        r.read += n;
    }
    r.complete = r.read == s.GetSize();
    return r;
}

std::string ChunkFailure(const core::PackageFile& package, const core::PackageEntry& e, uint64_t at) {
    uint32_t index = uint32_t(at / package.BlockSize());
    char text[160];
    const core::ChunkRow& row = e.chunks[index];
    std::snprintf(text, sizeof text, "chunk %u (%s, %u bytes at offset %u) cannot be read or decoded", index,
                  row.stored & core::kStoredPlain ? "plain" : "compressed", row.stored & ~core::kStoredPlain,
                  row.offset);
    return text;
}

int List(int argc, char** argv) {
    if (WantsHelp(argc, argv)) return std::fputs(kListUsage, stdout), 0;
    if (argc != 2) return Usage(kListUsage);
    core::PackageFile package;
    if (!OpenPackage(argv[1], package)) return 1;
    std::printf("%s: method %u, block size %u\n", argv[1], package.Method(), package.BlockSize());
    std::printf("%12s %12s %8s %6s  %s\n", "size", "stored", "chunks", "ratio", "name");
    uint64_t chunks = 0;
    for (const core::PackageEntry& e : package.Entries()) {
        std::printf("%12u %12u %8zu %6.3f  %s\n", e.size, e.storedSize, e.chunks.size(),
                    e.size ? double(e.storedSize) / e.size : 1.0, e.name.c_str());
        chunks += e.chunks.size();
    }
    std::printf("%12llu %12llu %8llu %6.3f  %zu entries\n", (unsigned long long)package.TotalSize(),
                (unsigned long long)package.TotalStoredSize(), (unsigned long long)chunks,
                package.TotalSize() ? double(package.TotalStoredSize()) / package.TotalSize() : 1.0,
                package.Entries().size());
    if (!package.ScanStop().empty()) return Fail("%s: the directory ends early: %s", argv[1], package.ScanStop().c_str());
    return 0;
}

int Verify(int argc, char** argv) {
    if (WantsHelp(argc, argv)) return std::fputs(kVerifyUsage, stdout), 0;
    if (argc != 2) return Usage(kVerifyUsage);
    core::PackageFile package;
    if (!OpenPackage(argv[1], package)) return 1;
    size_t failed = 0;
    for (size_t i = 0; i < package.Entries().size(); ++i) {
        const core::PackageEntry& e = package.Entries()[i];
        auto s = package.OpenEntry(i);
        if (!s) return Fail("%s: cannot be opened again", argv[1]);
        ReadOutcome r = ReadEntry(*s, [](const uint8_t*, size_t) { return true; });
        if (!r.complete) {
            ++failed;
            Fail("%s: entry '%s': %s", argv[1], e.name.c_str(), ChunkFailure(package, e, r.read).c_str());
        }
    }
    if (!package.ScanStop().empty()) {
        ++failed;
        Fail("%s: the directory ends early: %s", argv[1], package.ScanStop().c_str());
    }
    std::printf("%s: %zu entries, %llu bytes: %s\n", argv[1], package.Entries().size(),
                (unsigned long long)package.TotalSize(), failed ? "DAMAGED" : "all read back");
    return failed ? 1 : 0;
}

// The relative host path for an entry name, or empty when the name would
// leave the target folder.
fs::path SafePath(const std::string& name) {
    if (name.empty() || name[0] == '\\' || name[0] == '/' || name.find(':') != std::string::npos) return {};
    fs::path out;
    size_t i = 0;
    while (i <= name.size()) {
        size_t j = name.find_first_of("\\/", i);
        if (j == std::string::npos) j = name.size();
        std::string part = name.substr(i, j - i);
        if (part == "..") return {};
        if (!part.empty() && part != ".") out /= part;
        i = j + 1;
    }
    return out;
}

int Extract(int argc, char** argv) {
    if (WantsHelp(argc, argv)) return std::fputs(kExtractUsage, stdout), 0;
    std::string target = ".";
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "-C")) {
            if (i + 1 >= argc) return Usage(kExtractUsage);
            target = argv[++i];
        } else {
            positional.push_back(argv[i]);
        }
    }
    if (positional.empty()) return Usage(kExtractUsage);
    const char* file = positional[0].c_str();
    core::PackageFile package;
    if (!OpenPackage(file, package)) return 1;

    std::vector<size_t> chosen;
    if (positional.size() == 1) {
        for (size_t i = 0; i < package.Entries().size(); ++i) chosen.push_back(i);
    } else {
        for (size_t k = 1; k < positional.size(); ++k) {
            const auto& entries = package.Entries();
            auto it = std::find_if(entries.begin(), entries.end(),
                                   [&](const core::PackageEntry& e) { return core::EqualsNoCase(e.name, positional[k]); });
            if (it == entries.end()) return Fail("%s: no entry '%s'", file, positional[k].c_str());
            chosen.push_back(size_t(it - entries.begin()));
        }
    }
    // Every name is checked before anything is written.
    std::vector<fs::path> paths;
    for (size_t i : chosen) {
        fs::path p = SafePath(package.Entries()[i].name);
        if (p.empty())
            return Fail("%s: entry '%s' would be written outside %s; refused", file, package.Entries()[i].name.c_str(),
                        target.c_str());
        paths.push_back(fs::path(target) / p);
    }
    for (size_t k = 0; k < chosen.size(); ++k) {
        const core::PackageEntry& e = package.Entries()[chosen[k]];
        std::error_code ec;
        fs::create_directories(paths[k].parent_path(), ec);
        std::string out = paths[k].string();
        FILE* f = std::fopen(out.c_str(), "wb");
        if (!f) return Fail("%s: cannot be written", out.c_str());
        auto s = package.OpenEntry(chosen[k]);
        bool written = true;
        ReadOutcome r = ReadEntry(*s, [&](const uint8_t* b, size_t n) {
            return written = std::fwrite(b, 1, n, f) == n;
        });
        written = std::fclose(f) == 0 && written;
        if (!r.complete || !written) {
            fs::remove(paths[k], ec);  // no half entries
            if (!written) return Fail("%s: cannot be written", out.c_str());
            return Fail("%s: entry '%s': %s", file, e.name.c_str(), ChunkFailure(package, e, r.read).c_str());
        }
    }
    std::printf("%s: %zu entries written below %s\n", file, chosen.size(), target.c_str());
    return 0;
}

}  // namespace

int RunPack(int argc, char** argv) {
    if (argc < 2) return Usage(kPackUsage);
    const char* sub = argv[1];
    if (IsHelp(sub) || !std::strcmp(sub, "help")) return std::fputs(kPackUsage, stdout), 0;
    if (!std::strcmp(sub, "create")) return Create(argc - 1, argv + 1);
    if (!std::strcmp(sub, "list")) return List(argc - 1, argv + 1);
    if (!std::strcmp(sub, "extract")) return Extract(argc - 1, argv + 1);
    if (!std::strcmp(sub, "verify")) return Verify(argc - 1, argv + 1);
    Fail("pack: unknown subcommand '%s'", sub);
    return Usage(kPackUsage);
}

}  // namespace disctool
