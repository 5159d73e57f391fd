// disctool ini: configuration files (Tessor.ini and the files it includes).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/ini.h"
#include "core/stream.h"
#include "tools/disctool/ansi_text.h"
#include "tools/disctool/commands.h"

using nlohmann::ordered_json;

namespace disctool {

namespace {

const char kIniUsage[] =
    "usage: disctool ini dump FILE\n"
    "       disctool ini compile IN.ini OUT\n"
    "\n"
    "  dump     print the parsed file (text or compiled form) as JSON: its entries with\n"
    "           their attributes, its macros and its groups, in file order\n"
    "  compile  write the compiled (enciphered) form of a text file, which the runtime\n"
    "           reads like the text; \"~\" escapes cannot be carried in it\n"
    "\n"
    "Files included with \"Group NAME from FILE\" are opened relative to the current folder.\n";

std::string Latin1(const std::string& bytes) { return BytesToLatin1Utf8(bytes); }

ordered_json GroupJson(const core::IniGroup& g, bool withName) {
    ordered_json j;
    if (withName) j["name"] = Latin1(g.Name());
    ordered_json entries = ordered_json::array();
    for (const auto& e : g.Entries()) {
        ordered_json attributes = ordered_json::array();
        for (const auto& [k, v] : e->Attributes()) attributes.push_back({Latin1(k), Latin1(v)});
        entries.push_back({{"name", Latin1(e->Name())}, {"value", Latin1(e->Value())}, {"attributes", attributes}});
    }
    j["entries"] = std::move(entries);
    ordered_json macros = ordered_json::array();
    for (const auto& [k, v] : g.Macros()) macros.push_back({Latin1(k), Latin1(v)});
    j["macros"] = std::move(macros);
    ordered_json groups = ordered_json::array();
    for (const auto& c : g.Children()) groups.push_back(GroupJson(*c, true));
    j["groups"] = std::move(groups);
    return j;
}

bool ReadAll(const char* path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

int Dump(const char* path) {
    std::string bytes;
    if (!ReadAll(path, &bytes)) return Fail("%s: cannot be opened: %s", path, std::strerror(errno));
    core::ResourceStream stream(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    core::IniFile ini;
    ini.Parse(path, &stream);
    std::string text = GroupJson(ini, false).dump(1, '\t') + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

int Compile(const char* in, const char* out) {
    std::string text;
    if (!ReadAll(in, &text)) return Fail("%s: cannot be opened: %s", in, std::strerror(errno));
    std::vector<uint8_t> compiled;
    std::string error;
    if (!core::CompileIni(text, &compiled, &error)) return Fail("%s: %s", in, error.c_str());
    std::string temp = std::string(out) + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return Fail("%s: cannot be written: %s", out, std::strerror(errno));
    bool ok = std::fwrite(compiled.data(), 1, compiled.size(), f) == compiled.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok || std::rename(temp.c_str(), out) != 0) {
        std::remove(temp.c_str());
        return Fail("%s: cannot be written", out);
    }
    return 0;
}

}  // namespace

int RunIni(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kIniUsage, stdout);
            return 0;
        }
    if (argc == 3 && !std::strcmp(argv[1], "dump")) return Dump(argv[2]);
    if (argc == 4 && !std::strcmp(argv[1], "compile")) return Compile(argv[2], argv[3]);
    std::fputs(kIniUsage, stderr);
    return 2;
}

}  // namespace disctool
