// disctool project: check a project source, build a disc folder from it,
// preview its menu and turn a built project back into a source.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <fstream>
#include <iterator>

#include "core/binary_buffer.h"
#include "core/exceptions.h"
#include "core/package_writer.h"
#include "tools/disctool/ansi_text.h"
#include "tools/disctool/commands.h"
#include "tools/disctool/pack_progress.h"
#include "tools/disctool/pe_resources.h"
#include "tools/disctool/program_resources.h"
#include "tools/disctool/project.h"
#include "tools/disctool/signing.h"

namespace fs = std::filesystem;

namespace disctool {

namespace {

const char kUsage[] =
    "usage: disctool project SUBCOMMAND [ARGS...]\n"
    "\n"
    "Subcommands:\n"
    "  check      validate a project source and the files it names\n"
    "  build      write a complete disc folder from a project\n"
    "  preview    draw the menu of each language as PNG pictures\n"
    "  decompile  turn Setup.exe or a tree file back into a project source\n"
    "\n"
    "A PROJECT is a folder holding project.yaml, or the YAML file itself.\n"
    "Run 'disctool project SUBCOMMAND --help' for its arguments; docs/authoring.md\n"
    "describes the source format.\n";

const char kCheckUsage[] =
    "usage: disctool project check PROJECT [--no-warnings]\n"
    "\n"
    "Reads the source, its pictures, sounds and payload, and reports every problem as\n"
    "file:line:column: message. Exits 1 when there is an error; warnings (texts that some\n"
    "languages lack) do not fail.\n";

const char kBuildUsage[] =
    "usage: disctool project build PROJECT -o DISC [--runtime SETUP.EXE | --no-runtime]\n"
    "                              [--method none|lzss|bzip2|best] [--block-size N] [--threads N]\n"
    "                              [--sign CERT.pfx [--sign-password-file FILE] [--timestamp URL]]\n"
    "\n"
    "Writes the disc folder DISC: Setup.exe (the runtime with the project tree as its\n"
    "resource VGF 157, a manifest with the project's ExecutionLevel and a version resource),\n"
    "Setup.pac (the payload and the PackageFolder files), autorun.inf,\n"
    "dsetup.dll (found next to the runtime, unless the project's Disc folder brings one) and\n"
    "the files of the project's Disc folder.\n"
    "\n"
    "The runtime is --runtime, or else build/win32/bin/Setup.exe of this source tree, or\n"
    "Setup.exe next to disctool. With --no-runtime no Setup.exe is written: the project tree\n"
    "goes to DISC/project.vgf instead, for tools and tests that need no Windows program.\n"
    "\n"
    "With --sign the disc's programs get an Authenticode signature (osslsigncode, SHA-256):\n"
    "the uninstaller before it goes into Setup.exe, Setup.exe once every resource is in place,\n"
    "and dsetup.dll when it is the runtime's own. The password of CERT.pfx is the first line\n"
    "of FILE; --timestamp names an Authenticode time-stamping server (without one a signature\n"
    "is valid only while the certificate is).\n"
    "\n"
    "The folder is assembled next to DISC and put in place only when complete; an existing\n"
    "DISC is replaced only when it is empty or a disc folder (holds Setup.pac or autorun.inf).\n"
    "The same project gives the same bytes.\n";

const char kPreviewUsage[] =
    "usage: disctool project preview (PROJECT | SETUP.EXE | TREEFILE) -o DIR\n"
    "\n"
    "Writes DIR/<language>.png (background and every object at rest) and\n"
    "DIR/<language>-hot.png (every object hot) for each language.\n";

const char kDecompileUsage[] =
    "usage: disctool project decompile (SETUP.EXE | TREEFILE) -o DIR [--package SETUP.PAC]\n"
    "\n"
    "Writes DIR/project.yaml with its pictures, sounds and payload files. The payload comes\n"
    "from --package, or from Setup.pac next to the input; without one, payload files are\n"
    "written empty (with a warning). Building the result gives the same project tree.\n";

bool IsHelp(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) return true;
    return false;
}

int Usage(const char* text) {
    std::fputs(text, stderr);
    return 2;
}

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool WriteFileBytes(const fs::path& path, const void* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), std::streamsize(size));
    return bool(out);
}

// Options shared by the subcommands: positional arguments and "-o".
struct Args {
    std::vector<std::string> positional;
    std::string output, runtime, package, sign, signPasswordFile, timestamp;
    bool noRuntime = false, noWarnings = false;
    core::PackOptions pack;
    bool Parse(int argc, char** argv, const char* usage) {
        for (int i = 1; i < argc; ++i) {
            std::string a = argv[i];
            auto value = [&](std::string* out) {
                if (i + 1 >= argc) return Fail("%s needs a value", a.c_str()), false;
                *out = argv[++i];
                return true;
            };
            std::string v;
            if (a == "-o" || a == "--output") {
                if (!value(&output)) return false;
            } else if (a == "--runtime") {
                if (!value(&runtime)) return false;
            } else if (a == "--package") {
                if (!value(&package)) return false;
            } else if (a == "--sign") {
                if (!value(&sign)) return false;
            } else if (a == "--sign-password-file") {
                if (!value(&signPasswordFile)) return false;
            } else if (a == "--timestamp") {
                if (!value(&timestamp)) return false;
            } else if (a == "--no-runtime") {
                noRuntime = true;
            } else if (a == "--no-warnings") {
                noWarnings = true;
            } else if (a == "--method") {
                if (!value(&v)) return false;
                if (!core::ParsePackMethod(v, &pack.method)) return Fail("--method must be none, lzss, bzip2 or best"), false;
            } else if (a == "--block-size" || a == "--threads") {
                if (!value(&v)) return false;
                char* end = nullptr;
                unsigned long n = std::strtoul(v.c_str(), &end, 10);
                const unsigned long max = a == "--threads" ? 1024 : core::kMaxBlockSize;
                if (v.empty() || *end || n < 1 || n > max) return Fail("%s must be a number from 1 to %lu", a.c_str(), max), false;
                (a == "--threads" ? pack.threads : pack.blockSize) = uint32_t(n);
            } else if (a.size() > 1 && a[0] == '-') {
                Fail("unknown option '%s'", a.c_str());
                std::fputs(usage, stderr);
                return false;
            } else {
                positional.push_back(a);
            }
        }
        return true;
    }
};

int Check(int argc, char** argv) {
    if (IsHelp(argc, argv)) return std::fputs(kCheckUsage, stdout), 0;
    Args args;
    if (!args.Parse(argc, argv, kCheckUsage)) return 2;
    if (args.positional.size() != 1) return Usage(kCheckUsage);
    CompiledProject project;
    CompileOptions options;
    options.warnings = !args.noWarnings;
    int warnings = 0;
    if (!CompileProject(args.positional[0], options, &project, &warnings)) return 1;
    uint64_t bytes = 0;
    for (const core::PackInput& in : project.package) {
        std::error_code ec;
        bytes += fs::file_size(in.file, ec);
    }
    std::printf("%s: ok (%zu controllers, %zu languages, %zu package files of %.1f MB, %d warnings)\n",
                ProjectSourcePath(args.positional[0]).c_str(),
                project.tree.FindGroup("Controllers") ? project.tree.FindGroup("Controllers")->ValueCount() : size_t(0),
                project.tree.FindGroup("Languages") ? project.tree.FindGroup("Languages")->ValueCount() : size_t(0),
                project.package.size(), bytes / 1e6, warnings);
    return 0;
}

// The runtime a build uses when none is named.
std::string DefaultRuntime() {
    std::vector<fs::path> candidates;
#ifdef DISC_SOURCE_DIR
    candidates.push_back(fs::path(DISC_SOURCE_DIR) / "build/win32/bin/Setup.exe");
#endif
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) candidates.push_back(self.parent_path() / "Setup.exe");
    for (const fs::path& p : candidates)
        if (fs::is_regular_file(p, ec)) return p.string();
    return "";
}

bool LooksLikeDiscFolder(const fs::path& dir) {
    std::error_code ec;
    if (fs::is_empty(dir, ec)) return true;
    return fs::exists(dir / "Setup.pac", ec) || fs::exists(dir / "autorun.inf", ec);
}

int Build(int argc, char** argv) {
    if (IsHelp(argc, argv)) return std::fputs(kBuildUsage, stdout), 0;
    Args args;
    if (!args.Parse(argc, argv, kBuildUsage)) return 2;
    if (args.positional.size() != 1 || args.output.empty()) return Usage(kBuildUsage);
    if (args.noRuntime && !args.runtime.empty()) return Fail("--runtime and --no-runtime exclude each other"), 2;
    if (args.sign.empty() && (!args.signPasswordFile.empty() || !args.timestamp.empty()))
        return Fail("--sign-password-file and --timestamp go with --sign"), 2;
    if (!args.sign.empty() && args.noRuntime) return Fail("--sign needs a runtime: there is nothing to sign"), 2;

    const fs::path disc = fs::absolute(args.output).lexically_normal();
    std::error_code ec;
    if (fs::exists(disc, ec) && (!fs::is_directory(disc, ec) || !LooksLikeDiscFolder(disc)))
        return Fail("%s: exists and is not a disc folder (no Setup.pac or autorun.inf); not replacing it",
                    disc.string().c_str());

    std::string runtime = args.runtime;
    if (runtime.empty() && !args.noRuntime) {
        runtime = DefaultRuntime();
        if (runtime.empty())
            return Fail("no runtime: build/win32/bin/Setup.exe is not built and no Setup.exe lies next to disctool; "
                        "pass --runtime SETUP.EXE, or --no-runtime to lay out the disc without Setup.exe");
    }
    std::vector<uint8_t> exe;
    if (!runtime.empty()) {
        std::vector<pe::Resource> resources;
        std::string why;
        if (!ReadFileBytes(runtime, &exe)) return Fail("%s: cannot be read", runtime.c_str());
        if (!pe::ReadResources(exe, &resources, &why)) return Fail("%s: %s", runtime.c_str(), why.c_str());
    }

    CompiledProject project;
    if (!CompileProject(args.positional[0], CompileOptions{}, &project)) return 1;
    core::BinaryBuffer treeBytes;
    project.tree.WriteTo(treeBytes);

    // Assemble next to the target, then swap it in.
    const fs::path work = disc.string() + ".tmp-" + std::to_string(::getpid());
    fs::remove_all(work, ec);
    fs::create_directories(work, ec);
    if (ec) return Fail("%s: cannot be created (%s)", work.string().c_str(), ec.message().c_str());
    auto fail = [&](const char* format, const std::string& a, const std::string& b = "") {
        Fail(format, a.c_str(), b.c_str());
        fs::remove_all(work, ec);
        return 1;
    };

    std::string note;
    // SOURCE_DATE_EPOCH makes the programs' time stamps, and the signing
    // time, those of the sources instead of the build's.
    std::optional<uint32_t> epoch;
    if (const char* e = std::getenv("SOURCE_DATE_EPOCH"); e && *e) {
        char* end = nullptr;
        unsigned long long v = std::strtoull(e, &end, 10);
        if (*end || v > 0xFFFFFFFFull || e[0] == '-')
            return fail("SOURCE_DATE_EPOCH=%s: not a number of seconds since 1970 that a PE time stamp holds", e);
        epoch = uint32_t(v);
    }
    const bool signing = !args.sign.empty();
    SignOptions sign{args.sign, args.signPasswordFile, args.timestamp, "", epoch ? int64_t(*epoch) : -1};
    std::vector<std::string> signedFiles;
    if (signing && !fs::is_regular_file(args.sign, ec)) return fail("%s: no such certificate file", args.sign);
    if (!runtime.empty() && pe::IsSigned(exe))
        std::printf("note: %s is signed; its signature does not cover the disc's Setup.exe and is dropped\n",
                    runtime.c_str());
    if (!runtime.empty()) {
        std::string why;
        std::vector<uint8_t> tree(treeBytes.Data(), treeBytes.Data() + treeBytes.Size());
        if (!pe::SetResource(&exe, pe::ResourceId::Name("VGF"), pe::ResourceId::Number(157), tree, &why, &note))
            return fail("%s: %s", runtime, why);
        const ProgramIdentity identity = IdentityOf(project.tree);
        sign.description = AnsiToUtf8(identity.productName);
        // The uninstaller is signed before it goes in: Windows checks it on its own when it runs.
        if (signing || epoch) {
            std::vector<pe::Resource> resources;
            pe::ReadResources(exe, &resources, &why);
            for (pe::Resource& r : resources)
                if (r.type == pe::ResourceId::Name("EXE") && r.name == pe::ResourceId::Number(153)) {
                    std::string unstamped;  // an uninstaller that is no program stays as it is
                    if (epoch) pe::SetTimestamp(&r.data, *epoch, &unstamped);
                    if (signing) {
                        if (!SignProgram(&r.data, sign, work.string(), &why))
                            return fail("%s: the uninstaller: %s", runtime, why);
                        signedFiles.push_back("the uninstaller in Setup.exe");
                    }
                    if (!pe::SetResource(&exe, r.type, r.name, r.data, &why)) return fail("%s: %s", runtime, why);
                    break;
                }
        }
        // The manifest (RT_MANIFEST 1) with the project's UAC level.
        const std::string manifest = ProgramManifest("Setup", identity.executionLevel);
        if (!pe::SetResource(&exe, pe::ResourceId::Number(24), pe::ResourceId::Number(1),
                             std::vector<uint8_t>(manifest.begin(), manifest.end()), &why))
            return fail("%s: %s", runtime, why);
        // The version resource (RT_VERSION 1) that Explorer's Details and the programs list show.
        if (!pe::SetResource(&exe, pe::ResourceId::Number(16), pe::ResourceId::Number(1), VersionResource(identity),
                             &why))
            return fail("%s: %s", runtime, why);
        if (epoch && !pe::SetTimestamp(&exe, *epoch, &why)) return fail("%s: %s", runtime, why);
        if (signing) {
            if (!SignProgram(&exe, sign, work.string(), &why)) return fail("%s: %s", (work / "Setup.exe").string(), why);
            signedFiles.push_back("Setup.exe");
        }
        if (!WriteFileBytes(work / "Setup.exe", exe.data(), exe.size())) return fail("%s: cannot be written", (work / "Setup.exe").string());
    } else if (!WriteFileBytes(work / "project.vgf", treeBytes.Data(), treeBytes.Size())) {
        return fail("%s: cannot be written", (work / "project.vgf").string());
    }

    PackProgressLine line("Setup.pac");
    core::PackProgress last;
    const bool terminal = ::isatty(2);
    args.pack.progress = [&](const core::PackProgress& p) {
        last = p;
        if (terminal) line.Show(p, false);
    };
    std::string why;
    if (!core::WritePackage((work / "Setup.pac").string(), project.package, args.pack, &why)) return fail("%s%s", why);
    if (terminal && !project.package.empty()) line.Show(last, true);

    std::string label = project.label.substr(0, 32);
    for (char& c : label)
        if (c == '\r' || c == '\n') c = ' ';
    std::string autorun = "[autorun]\r\nopen=Setup.exe\r\nicon=Setup.exe,0\r\nlabel=" + label + "\r\n";
    if (!WriteFileBytes(work / "autorun.inf", autorun.data(), autorun.size()))
        return fail("%s: cannot be written", (work / "autorun.inf").string());

    for (const DiscFile& f : project.discFiles) {
        fs::create_directories((work / f.name).parent_path(), ec);
        if (!fs::copy_file(f.path, work / f.name, fs::copy_options::overwrite_existing, ec))
            return fail("%s: cannot be copied (%s)", f.path, ec.message());
    }
    std::string dsetupNote;
    if (!project.bringsDsetup) {
        fs::path dsetup = runtime.empty() ? fs::path() : fs::path(runtime).parent_path() / "dsetup.dll";
        if (!runtime.empty() && fs::is_regular_file(dsetup, ec)) {
            std::vector<uint8_t> dll;
            if (!ReadFileBytes(dsetup.string(), &dll)) return fail("%s: cannot be read", dsetup.string());
            std::string why;
            if (epoch && !pe::IsSigned(dll) && !pe::SetTimestamp(&dll, *epoch, &why))
                return fail("%s: %s", dsetup.string(), why);
            if (signing) {
                if (!SignProgram(&dll, sign, work.string(), &why)) return fail("%s: %s", dsetup.string(), why);
                signedFiles.push_back("dsetup.dll");
            }
            if (!WriteFileBytes(work / "dsetup.dll", dll.data(), dll.size()))
                return fail("%s: cannot be written", (work / "dsetup.dll").string());
        } else if (!runtime.empty()) {
            dsetupNote = "no dsetup.dll next to the runtime: the disc relies on the system's";
        }
    }

    // Swap the finished folder in.
    const fs::path old = disc.string() + ".old-" + std::to_string(::getpid());
    bool hadOld = fs::exists(disc, ec);
    if (hadOld) fs::rename(disc, old, ec);
    if (!ec) fs::rename(work, disc, ec);
    if (ec) {
        if (hadOld) fs::rename(old, disc, ec);
        return fail("%s: cannot be put in place", disc.string());
    }
    if (hadOld) fs::remove_all(old, ec);

    std::printf("%s: disc folder written\n", disc.string().c_str());
    if (!runtime.empty()) {
        std::printf("  Setup.exe    %s with the project tree (%u bytes) as resource VGF 157; %s\n", runtime.c_str(),
                    treeBytes.Size(), note.c_str());
        const ProgramIdentity id = IdentityOf(project.tree);
        std::printf("               its manifest asks for %s; version %s of %s by %s\n", id.executionLevel.c_str(),
                    id.version.c_str(), AnsiToUtf8(id.productName).c_str(),
                    id.publisher.empty() ? "(no Publisher)" : AnsiToUtf8(id.publisher).c_str());
    }
    else
        std::printf("  project.vgf  the project tree (%u bytes); Setup.exe was NOT produced (--no-runtime)\n",
                    treeBytes.Size());
    std::printf("  Setup.pac    %zu entries, %.1f MB stored in %.1f MB (%s)\n", project.package.size(), last.bytesIn / 1e6,
                last.bytesOut / 1e6, core::PackMethodName(args.pack.method));
    std::printf("  autorun.inf\n");
    if (!project.discFiles.empty()) std::printf("  %zu files from the project's Disc folder\n", project.discFiles.size());
    if (!dsetupNote.empty()) std::printf("  note: %s\n", dsetupNote.c_str());
    if (signing) {
        std::string list;
        for (const std::string& f : signedFiles) list += (list.empty() ? "" : ", ") + f;
        std::printf("  signed with %s: %s%s\n", args.sign.c_str(), list.c_str(),
                    args.timestamp.empty() ? " (no time stamp)" : "");
    }
    return 0;
}

int Preview(int argc, char** argv) {
    if (IsHelp(argc, argv)) return std::fputs(kPreviewUsage, stdout), 0;
    Args args;
    if (!args.Parse(argc, argv, kPreviewUsage)) return 2;
    if (args.positional.size() != 1 || args.output.empty()) return Usage(kPreviewUsage);
    core::DataGroup tree;
    const std::string& in = args.positional[0];
    std::error_code ec;
    std::string ext = fs::path(in).extension().string();
    if (fs::is_directory(in, ec) || ext == ".yaml" || ext == ".yml") {
        CompiledProject project;
        CompileOptions options;
        options.warnings = false;
        if (!CompileProject(in, options, &project)) return 1;
        tree = project.tree;
    } else if (!LoadProjectTree(in, &tree)) {
        return 1;
    }
    std::vector<std::string> written;
    if (!WritePreview(tree, args.output, &written)) return 1;
    for (const std::string& w : written) std::printf("%s\n", w.c_str());
    return 0;
}

int DecompileCommand(int argc, char** argv) {
    if (IsHelp(argc, argv)) return std::fputs(kDecompileUsage, stdout), 0;
    Args args;
    if (!args.Parse(argc, argv, kDecompileUsage)) return 2;
    if (args.positional.size() != 1 || args.output.empty()) return Usage(kDecompileUsage);
    core::DataGroup tree;
    if (!LoadProjectTree(args.positional[0], &tree)) return 1;
    std::string package = args.package;
    std::error_code ec;
    if (package.empty()) {
        fs::path next = fs::path(args.positional[0]).parent_path() / "Setup.pac";
        if (fs::is_regular_file(next, ec)) package = next.string();
    }
    if (!Decompile(tree, package, args.output)) return 1;
    std::printf("%s: project source written\n", (fs::path(args.output) / "project.yaml").string().c_str());
    return 0;
}

}  // namespace

bool LoadProjectTree(const std::string& path, core::DataGroup* tree) {
    std::vector<uint8_t> bytes;
    if (!ReadFileBytes(path, &bytes)) return Fail("%s: cannot be read", path.c_str()), false;
    if (bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z') {
        std::vector<pe::Resource> resources;
        std::string why;
        if (!pe::ReadResources(bytes, &resources, &why)) return Fail("%s: %s", path.c_str(), why.c_str()), false;
        bool found = false;
        for (pe::Resource& r : resources)
            if (r.type == pe::ResourceId::Name("VGF") && r.name == pe::ResourceId::Number(157)) {
                bytes = std::move(r.data);
                found = true;
                break;
            }
        if (!found) return Fail("%s: carries no project (no resource VGF 157)", path.c_str()), false;
    }
    core::BinaryBuffer in(bytes.data(), uint32_t(bytes.size()), true);
    core::TreeReadError error;
    try {
        if (!tree->ReadFrom(in, &error))
            return Fail("%s: not a valid project tree: %s at byte %u", path.c_str(), error.reason.c_str(), error.offset),
                   false;
    } catch (const core::HException&) {
        return Fail("%s: not a valid project tree: the record ends early", path.c_str()), false;
    }
    return true;
}

int RunProject(int argc, char** argv) {
    if (argc < 2) return Usage(kUsage);
    std::string sub = argv[1];
    if (sub == "--help" || sub == "-h" || sub == "help") return std::fputs(kUsage, stdout), 0;
    if (sub == "check") return Check(argc - 1, argv + 1);
    if (sub == "build") return Build(argc - 1, argv + 1);
    if (sub == "preview") return Preview(argc - 1, argv + 1);
    if (sub == "decompile") return DecompileCommand(argc - 1, argv + 1);
    Fail("project: unknown subcommand '%s'", sub.c_str());
    return Usage(kUsage);
}

}  // namespace disctool
