// disctool pe: list, extract and set resources of Windows programs.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tools/disctool/commands.h"
#include "tools/disctool/pe_resources.h"

namespace fs = std::filesystem;

namespace disctool {

namespace {

const char kUsage[] =
    "usage: disctool pe resources FILE\n"
    "       disctool pe extract FILE TYPE ID -o OUT\n"
    "       disctool pe set FILE TYPE ID DATA -o OUT\n"
    "\n"
    "  resources  list the resources of a Windows program (32 or 64-bit): type, name or id,\n"
    "             language and size\n"
    "  extract    write the data of one resource (the first language) to OUT\n"
    "  set        write a copy of FILE in which resource TYPE ID holds the bytes of DATA\n"
    "             (replaced in every language, or added language-neutral); every other\n"
    "             resource stays as it was\n"
    "\n"
    "TYPE and ID are numbers (10, 157) or names (VGF, EXE); standard types may be given by\n"
    "their names without RT_ (RCDATA, ICON, ...). The project tree is VGF 157, the\n"
    "uninstaller EXE 153.\n";

bool ReadBytes(const std::string& path, std::vector<uint8_t>* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// Written under a temporary name and renamed into place when complete.
bool WriteAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::string temp = path + ".tmp-" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out) {
            std::remove(temp.c_str());
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temp, path, ec);
    if (ec) std::remove(temp.c_str());
    return !ec;
}

pe::ResourceId ParseType(const std::string& text) {
    static const char* const names[] = {"",     "CURSOR", "BITMAP", "ICON",  "MENU",         "DIALOG",
                                        "STRING", "FONTDIR", "FONT", "ACCELERATOR", "RCDATA", "MESSAGETABLE",
                                        "GROUP_CURSOR", "", "GROUP_ICON", "", "VERSION"};
    std::string t = text.rfind("RT_", 0) == 0 ? text.substr(3) : text;
    for (uint16_t i = 1; i < std::size(names); ++i)
        if (names[i][0] && t == names[i]) return pe::ResourceId::Number(i);
    return pe::ResourceId::Parse(text);
}

bool Load(const std::string& path, std::vector<uint8_t>* bytes, std::vector<pe::Resource>* resources,
          pe::ImageInfo* info = nullptr) {
    std::string why;
    if (!ReadBytes(path, bytes)) return Fail("%s: cannot be read", path.c_str()), false;
    if (!pe::ReadResources(*bytes, resources, &why, info)) return Fail("%s: %s", path.c_str(), why.c_str()), false;
    return true;
}

std::string TakeOutput(std::vector<std::string>* args) {
    for (size_t i = 0; i + 1 < args->size(); ++i)
        if ((*args)[i] == "-o") {
            std::string out = (*args)[i + 1];
            args->erase(args->begin() + long(i), args->begin() + long(i) + 2);
            return out;
        }
    return "";
}

}  // namespace

int RunPe(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& a : args)
        if (a == "--help" || a == "-h") return std::fputs(kUsage, stdout), 0;
    if (args.empty()) return std::fputs(kUsage, stderr), 2;
    const std::string sub = args[0];
    args.erase(args.begin());
    std::string out = TakeOutput(&args);
    std::vector<uint8_t> bytes;
    std::vector<pe::Resource> resources;

    if (sub == "resources" && args.size() == 1 && out.empty()) {
        pe::ImageInfo info;
        if (!Load(args[0], &bytes, &resources, &info)) return 1;
        std::printf("%s: %s, %zu resources\n", args[0].c_str(), info.is64 ? "PE32+ (64-bit)" : "PE32 (32-bit)",
                    resources.size());
        std::printf("%-20s %-24s %8s %10s\n", "type", "name", "language", "size");
        for (const pe::Resource& r : resources)
            std::printf("%-20s %-24s %8u %10zu\n", r.type.TypeString().c_str(), r.name.ToString().c_str(), r.language,
                        r.data.size());
        return 0;
    }
    if (sub == "extract" && args.size() == 3 && !out.empty()) {
        if (!Load(args[0], &bytes, &resources)) return 1;
        pe::ResourceId type = ParseType(args[1]), name = pe::ResourceId::Parse(args[2]);
        for (const pe::Resource& r : resources)
            if (r.type == type && r.name == name) {
                if (!WriteAtomically(out, r.data)) return Fail("%s: cannot be written", out.c_str());
                std::printf("%s: %zu bytes of %s %s\n", out.c_str(), r.data.size(), args[1].c_str(), args[2].c_str());
                return 0;
            }
        return Fail("%s: has no resource %s %s", args[0].c_str(), args[1].c_str(), args[2].c_str());
    }
    if (sub == "set" && args.size() == 4 && !out.empty()) {
        std::vector<uint8_t> data;
        std::string why, note;
        if (!Load(args[0], &bytes, &resources)) return 1;
        if (!ReadBytes(args[3], &data)) return Fail("%s: cannot be read", args[3].c_str());
        const bool wasSigned = pe::IsSigned(bytes);
        if (!pe::SetResource(&bytes, ParseType(args[1]), pe::ResourceId::Parse(args[2]), data, &why, &note))
            return Fail("%s: %s", args[0].c_str(), why.c_str());
        if (!WriteAtomically(out, bytes)) return Fail("%s: cannot be written", out.c_str());
        std::printf("%s: %s %s set to %zu bytes (%s)\n", out.c_str(), args[1].c_str(), args[2].c_str(), data.size(),
                    note.c_str());
        if (wasSigned)
            std::printf("note: %s was signed; the signature would not match the edited file, so %s carries none: "
                        "sign it again\n",
                        args[0].c_str(), out.c_str());
        return 0;
    }
    Fail("pe: wrong arguments");
    std::fputs(kUsage, stderr);
    return 2;
}

}  // namespace disctool
