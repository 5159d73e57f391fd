// Compiling a project source (YAML) into the project tree and the package entries.
#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "core/text.h"
#include "tools/disctool/ansi_text.h"
#include "tools/disctool/png_io.h"
#include "tools/disctool/program_resources.h"
#include "tools/disctool/project.h"

namespace fs = std::filesystem;
using core::DataGroup;
using core::DataValue;

namespace disctool {

std::string ProjectSourcePath(const std::string& project) {
    std::error_code ec;
    if (fs::is_directory(project, ec)) {
        for (const char* name : {"project.yaml", "project.yml"})
            if (fs::exists(fs::path(project) / name, ec)) return (fs::path(project) / name).string();
        return (fs::path(project) / "project.yaml").string();
    }
    return project;
}

namespace {

const int32_t kMaxSide = 8192;

struct Where {
    int line = 0, column = 0;  // 1-based; 0 when unknown
};

Where At(const YAML::Node& node) {
    if (!node.IsDefined()) return {};
    YAML::Mark m = node.Mark();
    return {m.line + 1, m.column + 1};
}

class Compiler {
public:
    Compiler(const std::string& source, const CompileOptions& options, CompiledProject* out)
        : source_(source), dir_(fs::path(source).parent_path()), options_(options), out_(out) {}

    bool Run(int* warnings);

private:
    // --- reporting --------------------------------------------------------
    void Report(bool error, Where w, const char* format, va_list args) {
        if (!error && !options_.warnings) return;
        std::fprintf(stderr, "%s:%d:%d: %s", source_.c_str(), w.line, w.column, error ? "" : "warning: ");
        std::vfprintf(stderr, format, args);
        std::fputc('\n', stderr);
        (error ? errors_ : warnings_)++;
    }
    void Error(const YAML::Node& n, const char* format, ...) __attribute__((format(printf, 3, 4))) {
        va_list a;
        va_start(a, format);
        Report(true, At(n), format, a);
        va_end(a);
    }
    void ErrorAt(Where w, const char* format, ...) __attribute__((format(printf, 3, 4))) {
        va_list a;
        va_start(a, format);
        Report(true, w, format, a);
        va_end(a);
    }
    void Warn(const YAML::Node& n, const char* format, ...) __attribute__((format(printf, 3, 4))) {
        va_list a;
        va_start(a, format);
        Report(false, At(n), format, a);
        va_end(a);
    }

    // --- reading values ---------------------------------------------------
    // The entries of a mapping checked against the allowed keys.
    struct Map {
        YAML::Node node;
        std::map<std::string, std::pair<YAML::Node, YAML::Node>> entries;  // key -> (key node, value)
        YAML::Node operator[](const std::string& key) const {
            auto it = entries.find(key);
            return it == entries.end() ? YAML::Node(YAML::NodeType::Undefined) : it->second.second;
        }
        bool Has(const std::string& key) const { return entries.count(key) != 0; }
    };

    Map ReadMap(const YAML::Node& node, const char* what, const std::vector<std::string>& allowed) {
        Map m;
        m.node = node;
        if (!node.IsDefined() || node.IsNull()) return m;
        if (!node.IsMap()) {
            Error(node, "%s must be a mapping of keys to values", what);
            return m;
        }
        for (auto it = node.begin(); it != node.end(); ++it) {
            if (!it->first.IsScalar()) {
                Error(it->first, "keys of %s must be plain words", what);
                continue;
            }
            const std::string key = it->first.Scalar();
            if (!allowed.empty() && std::find(allowed.begin(), allowed.end(), key) == allowed.end()) {
                std::string hint;
                for (const std::string& a : allowed)
                    if (core::EqualsNoCase(a, key)) hint = " (keys are case-sensitive: did you mean '" + a + "'?)";
                Error(it->first, "unknown key '%s' in %s%s", key.c_str(), what, hint.c_str());
                continue;
            }
            if (m.entries.count(key)) {
                Error(it->first, "'%s' is given twice in %s", key.c_str(), what);
                continue;
            }
            m.entries[key] = {it->first, it->second};
        }
        return m;
    }

    bool Scalar(const YAML::Node& n, const char* key, std::string* out) {
        if (!n.IsScalar()) {
            Error(n, "'%s' must be a single value", key);
            return false;
        }
        *out = n.Scalar();
        return true;
    }

    bool Ansi(const YAML::Node& n, const std::string& utf8, const char* key, std::string* out) {
        size_t bad = 0;
        if (Utf8ToAnsi(utf8, out, &bad)) return true;
        Error(n, "'%s': the character at byte %zu is not in the Windows code page 1252 that the runtime shows", key,
              bad);
        return false;
    }

    bool Text(const YAML::Node& n, const char* key, std::string* out) {
        if (n.IsMap()) return TextFile(n, key, out);
        std::string s;
        return Scalar(n, key, &s) && Ansi(n, s, key, out);
    }

    // {File: path}: a UTF-8 text file, lines ended by CR LF as Windows shows them.
    bool TextFile(const YAML::Node& n, const char* key, std::string* out) {
        Map m = ReadMap(n, key, {"File"});
        std::string path;
        std::vector<uint8_t> bytes;
        if (!m.Has("File")) return Error(n, "'%s' as a mapping names a text file: {File: name.txt}", key), false;
        if (!Scalar(m["File"], "File", &path) || !ReadProjectFile(m["File"], path, &bytes)) return false;
        std::string text, crlf;
        if (!Ansi(m["File"], std::string(bytes.begin(), bytes.end()), path.c_str(), &text)) return false;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r') continue;
            if (text[i] == '\n') crlf += '\r';
            crlf += text[i];
        }
        *out = crlf;
        return true;
    }

    bool Bool(const YAML::Node& n, const char* key, bool* out) {
        try {
            if (n.IsScalar()) {
                *out = n.as<bool>();
                return true;
            }
        } catch (const YAML::Exception&) {
        }
        Error(n, "'%s' must be true or false", key);
        return false;
    }

    bool Int(const YAML::Node& n, const char* key, int64_t min, int64_t max, int64_t* out) {
        try {
            if (n.IsScalar()) {
                *out = n.as<int64_t>();
                if (*out >= min && *out <= max) return true;
                Error(n, "'%s' must lie between %lld and %lld", key, (long long)min, (long long)max);
                return false;
            }
        } catch (const YAML::Exception&) {
        }
        Error(n, "'%s' must be a whole number", key);
        return false;
    }

    fs::path Resolve(const std::string& path) const { return dir_ / path; }

    bool ReadProjectFile(const YAML::Node& n, const std::string& path, std::vector<uint8_t>* bytes) {
        std::error_code ec;
        fs::path p = Resolve(path);
        if (!fs::is_regular_file(p, ec)) {
            Error(n, "%s: no such file", path.c_str());
            return false;
        }
        std::ifstream in(p, std::ios::binary);
        bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) return Error(n, "%s: cannot be read", path.c_str()), false;
        return true;
    }

    bool Sound(const YAML::Node& n, const char* key, DataValue* out) {
        std::string path;
        std::vector<uint8_t> bytes;
        if (!Scalar(n, key, &path) || !ReadProjectFile(n, path, &bytes)) return false;
        if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) || std::memcmp(bytes.data() + 8, "WAVE", 4)) {
            Error(n, "%s: not a WAVE file (no RIFF/WAVE header)", path.c_str());
            return false;
        }
        out->SetBinary(core::BinaryBuffer(bytes.data(), uint32_t(bytes.size())));
        return true;
    }

    bool Picture(const YAML::Node& n, const char* key, disctool::Picture* out) {
        std::string path, why;
        if (!Scalar(n, key, &path)) return false;
        std::error_code ec;
        if (!fs::is_regular_file(Resolve(path), ec)) return Error(n, "%s: no such file", path.c_str()), false;
        if (!ReadPng(Resolve(path).string(), out, &why))
            return Error(n, "%s: not a readable PNG picture: %s", path.c_str(), why.c_str()), false;
        return true;
    }

    // Lists, or mappings numbered 1 to N without gaps; entries in order.
    std::vector<YAML::Node> Numbered(const YAML::Node& n, const char* what) {
        std::vector<YAML::Node> out;
        if (!n.IsDefined() || n.IsNull()) return out;
        if (n.IsSequence()) {
            for (const YAML::Node& e : n) out.push_back(e);
            return out;
        }
        if (!n.IsMap()) {
            Error(n, "%s must be a list (or a mapping numbered 1, 2, ...)", what);
            return out;
        }
        std::map<int64_t, YAML::Node> byNumber;
        for (auto it = n.begin(); it != n.end(); ++it) {
            int64_t k;
            try {
                k = it->first.as<int64_t>();
            } catch (const YAML::Exception&) {
                Error(it->first, "%s are numbered 1, 2, ...: '%s' is not a number", what, it->first.Scalar().c_str());
                continue;
            }
            if (byNumber.count(k)) Error(it->first, "%s: number %lld is given twice", what, (long long)k);
            byNumber[k] = it->second;
        }
        int64_t expect = 1;
        for (const auto& [k, node] : byNumber) {
            if (k != expect) {
                Error(n, "%s must be numbered 1 to %zu without gaps: %lld is missing", what, byNumber.size(),
                      (long long)expect);
                return {};
            }
            out.push_back(node);
            ++expect;
        }
        return out;
    }

    // --- the parts ----------------------------------------------------------
    void Settings(const Map& root);
    void Controllers(const YAML::Node& n);
    bool TypedRecord(const YAML::Node& n, const std::vector<TypeSpec>& table, const char* what, DataGroup* out);
    void Languages(const YAML::Node& n);
    void Installer(const YAML::Node& n);
    void Disc(const YAML::Node& n);
    void FilesTree(const YAML::Node& folder, const YAML::Node& discFiles, DataGroup* target);
    bool AddPayloadFolder(const fs::path& dir, const std::string& prefix, DataGroup* node, const YAML::Node& where);
    void RegistryTree(const YAML::Node& n, DataGroup* root);
    void RegistryEntries(const YAML::Node& n, DataGroup* key, int depth);
    void StartMenuTree(const YAML::Node& n, DataGroup* root);
    bool InstallerName(const YAML::Node& where, const std::string& utf8, std::string* ansi);
    bool InstallerText(const YAML::Node& n, const char* key, std::string* ansi);
    DataGroup* Node(DataGroup* parent, const std::string& name, int32_t item, const YAML::Node& where);
    void AddPackage(const std::string& name, const std::string& file, const YAML::Node& where);

    std::string source_;
    fs::path dir_;
    CompileOptions options_;
    CompiledProject* out_;
    int errors_ = 0, warnings_ = 0;

    int32_t width_ = 0, height_ = 0;
    bool useInstaller_ = false;
    std::string defaultLanguage_;
    YAML::Node defaultLanguageNode_;
    struct ControllerRef {
        std::string name, id;
    };
    std::vector<ControllerRef> controllers_;
    std::vector<std::pair<std::string, YAML::Node>> languageChecks_;  // language-is names to check
    std::map<std::string, std::string> packageNames_;                 // lower-case name -> file
};

DataValue TextValue(const std::string& s) { return DataValue(std::string_view(s)); }
DataValue IntValue(int64_t v) {
    DataValue d;
    d.SetInt32(int32_t(v));
    return d;
}
DataValue BoolValue(bool b) { return DataValue(b); }
DataValue GroupValue(const DataGroup& g) { return DataValue(g); }

bool Compiler::Run(int* warnings) {
    YAML::Node doc;
    try {
        doc = YAML::LoadFile(source_);
    } catch (const YAML::BadFile&) {
        std::fprintf(stderr, "%s: no project source here (a project is a folder with project.yaml)\n", source_.c_str());
        return false;
    } catch (const YAML::ParserException& e) {
        ErrorAt({e.mark.line + 1, e.mark.column + 1}, "%s", e.msg.c_str());
        return false;
    }
    if (!doc.IsMap()) {
        ErrorAt({1, 1}, "a project source is a mapping of settings (ApplicationName: ..., Width: ..., ...)");
        return false;
    }
    std::vector<std::string> allowed = {"Controllers", "Languages", "Installer", "Disc"};
    for (const SettingSpec& s : RootSettings()) allowed.push_back(s.name);
    Map root = ReadMap(doc, "the project", allowed);

    Settings(root);
    Controllers(root["Controllers"]);
    if (!root.Has("Controllers")) Error(doc, "missing required key 'Controllers' (the menu entries)");
    Languages(root["Languages"]);
    if (!root.Has("Languages")) Error(doc, "missing required key 'Languages'");
    if (root.Has("Installer") || useInstaller_) Installer(root["Installer"]);
    Disc(root["Disc"]);
    if (warnings) *warnings = warnings_;
    return errors_ == 0;
}

void Compiler::Settings(const Map& root) {
    DataGroup& tree = out_->tree;
    std::map<std::string, bool> flags;
    for (const SettingSpec& s : RootSettings()) {
        YAML::Node n = root[s.name];
        if (!n.IsDefined()) {
            if (s.required) Error(root.node, "missing required key '%s'", s.name);
            continue;
        }
        switch (s.kind) {
        case SettingSpec::Text:
        case SettingSpec::LongText: {
            std::string text;
            if (Text(n, s.name, &text)) tree.SetValue(s.name, TextValue(text));
            break;
        }
        case SettingSpec::Bool: {
            bool b;
            if (Bool(n, s.name, &b)) flags[s.name] = b;
            break;
        }
        case SettingSpec::Int: {
            int64_t v;
            if (Int(n, s.name, 1, kMaxSide, &v)) {
                tree.SetValue(s.name, IntValue(v));
                (std::strcmp(s.name, "Width") ? height_ : width_) = int32_t(v);
            }
            break;
        }
        case SettingSpec::Sound: {
            DataValue v;
            if (Sound(n, s.name, &v)) tree.SetValue(s.name, v);
            break;
        }
        }
    }
    // Defaults: what most discs want, written out so the runtime never guesses.
    auto flag = [&](const char* key, bool fallback) {
        bool v = flags.count(key) ? flags[key] : fallback;
        tree.SetValue(key, BoolValue(v));
        return v;
    };
    flag("RuntimeCaption", true);
    flag("RuntimeBorder", true);
    flag("RuntimeShowLangDlgAtAll", true);
    flag("RuntimeShowLangDlg", false);
    useInstaller_ = flag("UseInstaller", root.Has("Installer"));
    flag("UseInstallerStartMenu", useInstaller_);
    flag("RightAligned", false);
    flag("TestMode", false);
    bool play = flag("PlayIntroSound", root.Has("IntroSound"));
    flag("LoopIntroSound", false);
    flag("ShowLicense", root.Has("License"));
    flag("ShowRegistration", false);
    if (play && !root.Has("IntroSound")) Error(root["PlayIntroSound"], "PlayIntroSound is on but no IntroSound is given");
    if (!root.Has("AltApplicationName")) tree.SetValue("AltApplicationName", TextValue(""));
    if (!root.Has("WizardVer")) tree.SetValue("WizardVer", TextValue("1.0"));
    if (!root.Has("License")) tree.SetValue("License", TextValue(""));
    if (const DataValue* v = tree.FindValue("DefaultLanguage")) defaultLanguage_ = v->Text();
    defaultLanguageNode_ = root["DefaultLanguage"];
    if (const DataValue* v = tree.FindValue("ApplicationName")) {
        out_->label = v->Text();
    }
    if (const DataValue* v = tree.FindValue("ExecutionLevel")) {
        const char* const* l = kExecutionLevels;
        if (std::strcmp(v->Text(), l[0]) && std::strcmp(v->Text(), l[1]) && std::strcmp(v->Text(), l[2]))
            Error(root["ExecutionLevel"], "ExecutionLevel must be %s, %s or %s", l[0], l[1], l[2]);
    }
    uint16_t parts[4];
    if (const DataValue* v = tree.FindValue("Version"); v && !ParseFileVersion(v->Text(), parts))
        Error(root["Version"], "Version must be one to four numbers from 0 to 65535 with dots between (1.2.3)");
}

bool Compiler::TypedRecord(const YAML::Node& n, const std::vector<TypeSpec>& table, const char* what,
                           DataGroup* out) {
    YAML::Node typeNode = n.IsMap() ? n["Type"] : n;
    if (!typeNode.IsDefined()) return Error(n, "%s without 'Type'", what), false;
    if (!typeNode.IsScalar()) return Error(typeNode, "the type of %s must be a name", what), false;
    const TypeSpec* type = nullptr;
    for (const TypeSpec& t : table)
        if (typeNode.Scalar() == t.name || typeNode.Scalar() == std::to_string(t.code)) type = &t;
    if (!type) {
        std::string names;
        for (const TypeSpec& t : table) names += std::string(names.empty() ? "" : ", ") + t.name;
        return Error(typeNode, "unknown %s '%s' (one of: %s)", what, typeNode.Scalar().c_str(), names.c_str()), false;
    }
    out->SetValue("Type", IntValue(type->code));
    if (!n.IsMap()) return true;
    std::vector<std::string> allowed = {"Type"};
    for (const KeySpec& k : type->keys) allowed.push_back(k.name);
    Map m = ReadMap(n, (std::string(what) + " '" + type->name + "'").c_str(), allowed);
    bool ok = true;
    for (const KeySpec& k : type->keys) {
        YAML::Node v = m[k.name];
        if (!v.IsDefined()) continue;
        int64_t number = 0;
        std::string text;
        bool b;
        switch (k.kind) {
        case KeySpec::Text:
            if ((ok &= Text(v, k.name, &text))) out->SetValue(k.name, TextValue(text));
            if (!std::strcmp(k.name, "Language")) languageChecks_.emplace_back(text, v);
            break;
        case KeySpec::Bool:
            if ((ok &= Bool(v, k.name, &b))) out->SetValue(k.name, BoolValue(b));
            break;
        case KeySpec::Int:
            if ((ok &= Int(v, k.name, INT32_MIN, INT32_MAX, &number))) out->SetValue(k.name, IntValue(number));
            break;
        case KeySpec::Root: {
            static const char* const roots[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"};
            static const char* const shortRoots[] = {"HKCR", "HKCU", "HKLM"};
            int found = -1;
            for (int r = 0; r < 3; ++r)
                if (v.IsScalar() && (v.Scalar() == roots[r] || v.Scalar() == shortRoots[r])) found = r;
            if (found < 0) {
                ok = false;
                Error(v, "'Root' must be HKEY_CLASSES_ROOT, HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE");
            } else {
                out->SetValue(k.name, IntValue(found));
            }
            break;
        }
        case KeySpec::RegType:
            if (v.IsScalar() && (v.Scalar() == "dword" || v.Scalar() == "string")) {
                out->SetValue(k.name, IntValue(v.Scalar() == "dword" ? 0 : 1));
            } else {
                ok = false;
                Error(v, "'RegType' must be dword or string");
            }
            break;
        case KeySpec::Color:
            if (v.IsScalar() && v.Scalar().size() == 7 && v.Scalar()[0] == '#' &&
                v.Scalar().find_first_not_of("0123456789abcdefABCDEF", 1) == std::string::npos) {
                uint32_t rgb = uint32_t(std::stoul(v.Scalar().substr(1), nullptr, 16));
                // COLORREF keeps red in the low byte.
                out->SetValue(k.name, IntValue(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16)));
            } else if ((ok &= Int(v, k.name, 0, 0xFFFFFF, &number))) {
                out->SetValue(k.name, IntValue(number));
            }
            break;
        }
    }
    return ok;
}

void Compiler::Controllers(const YAML::Node& n) {
    DataGroup* group = out_->tree.AddChild("Controllers");
    std::vector<YAML::Node> entries = Numbered(n, "Controllers");
    if (n.IsDefined() && entries.empty() && errors_ == 0) Error(n, "a menu needs at least one controller");
    std::set<std::string> ids;
    for (size_t i = 0; i < entries.size(); ++i) {
        const YAML::Node& e = entries[i];
        Map m = ReadMap(e, "a controller",
                        {"Name", "ID", "Selectable", "Invisible", "UseSound", "Sound", "Actions", "Dependencies"});
        DataGroup c;
        std::string name, id;
        if (m.Has("Name") && Text(m["Name"], "Name", &name)) c.SetValue("Name", TextValue(name));
        if (m.Has("ID")) {
            if (Text(m["ID"], "ID", &id)) {
                uint8_t guid[16];
                if (id.size() != 38 || id[0] != '{' || id[37] != '}' ||
                    !core::ParseGuidText(std::string_view(id).substr(1, 36), guid))
                    Error(m["ID"], "'ID' must be a braced GUID such as {0A1B2C3D-0000-4000-8000-000000000001}");
            }
        } else if (m.Has("Name")) {
            id = ControllerIdFromName(name);
        } else {
            Error(e, "controller %zu needs a Name (or an ID)", i + 1);
        }
        if (!id.empty()) {
            if (!ids.insert(id).second) Error(e, "controller %zu: ID %s is used twice (names must differ)", i + 1, id.c_str());
            c.SetValue("ID", TextValue(id));
        }
        bool b;
        c.SetValue("Selectable", BoolValue(m.Has("Selectable") ? (Bool(m["Selectable"], "Selectable", &b) && b) : true));
        c.SetValue("Invisible", BoolValue(m.Has("Invisible") && Bool(m["Invisible"], "Invisible", &b) && b));
        bool useSound = m.Has("Sound");
        if (m.Has("UseSound") && Bool(m["UseSound"], "UseSound", &b)) useSound = b;
        c.SetValue("UseSound", BoolValue(useSound));
        if (m.Has("Sound")) {
            DataValue sound;
            if (Sound(m["Sound"], "Sound", &sound)) c.SetValue("Sound", sound);
        } else if (useSound) {
            Error(e, "UseSound is on but the controller has no Sound");
        }
        for (const char* listKey : {"Actions", "Dependencies"}) {
            const bool actions = listKey[0] == 'A';
            DataValue::List list;
            YAML::Node ln = m[listKey];
            if (ln.IsDefined() && !ln.IsNull() && !ln.IsSequence()) {
                Error(ln, "'%s' must be a list", listKey);
            } else if (ln.IsDefined()) {
                for (const YAML::Node& r : ln) {
                    DataGroup record;
                    if (TypedRecord(r, actions ? ActionTypes() : DependencyTypes(), actions ? "action" : "dependency",
                                    &record))
                        list.push_back(GroupValue(record));
                }
            }
            DataValue v;
            v.SetList(std::move(list));
            c.SetValue(listKey, v);
        }
        controllers_.push_back({name, id});
        group->SetValue(std::to_string(i + 1), GroupValue(c));
    }
}

void Compiler::Languages(const YAML::Node& n) {
    DataGroup* languages = out_->tree.AddChild("Languages");
    DataGroup* objects = out_->tree.AddChild("Objects");
    if (!n.IsDefined()) return;
    if (!n.IsMap() || n.size() == 0) {
        Error(n, "'Languages' must map each language's name to its texts, background and objects");
        return;
    }
    struct Seen {
        std::string name;
        YAML::Node textsNode;
        std::set<std::string> keys;
        size_t objectCount;
        YAML::Node objectsNode;
    };
    std::vector<Seen> seen;
    for (auto it = n.begin(); it != n.end(); ++it) {
        std::string lang;
        if (!it->first.IsScalar() || !Ansi(it->first, it->first.Scalar(), "language name", &lang)) continue;
        Map m = ReadMap(it->second, ("language '" + it->first.Scalar() + "'").c_str(),
                        {"Name", "ID", "Texts", "Background", "Objects"});
        DataGroup texts;
        std::string s;
        texts.SetValue("Name", TextValue(lang));
        if (m.Has("Name") && Text(m["Name"], "Name", &s)) texts.SetValue("Name", TextValue(s));
        if (m.Has("ID") && Text(m["ID"], "ID", &s)) texts.SetValue("ID", TextValue(s));
        Seen info{lang, m["Texts"], {}, 0, m["Objects"]};
        Map t = ReadMap(m["Texts"], "Texts", {});
        for (const auto& [key, nodes] : t.entries) {
            std::string k = key;
            if (k.size() > 2 && k.front() == '[' && k.back() == ']') k = k.substr(1, k.size() - 2);
            if (core::EqualsNoCase(k, "Name") || core::EqualsNoCase(k, "ID")) {
                Error(nodes.first, "text '%s' would clash with the language's own %s; set it one level up", k.c_str(),
                      k.c_str());
                continue;
            }
            std::string ansiKey;
            if (Ansi(nodes.first, k, "text key", &ansiKey) && Text(nodes.second, key.c_str(), &s)) {
                texts.SetValue(ansiKey, TextValue(s));
                info.keys.insert(ansiKey);
            }
        }
        languages->SetValue(lang, GroupValue(texts));

        // Objects and the background of this language.
        DataGroup objs;
        std::vector<uint8_t> background(size_t(width_) * height_ * 4, 0);
        if (m.Has("Background")) {
            disctool::Picture pic;
            if (Picture(m["Background"], "Background", &pic)) {
                if (int32_t(pic.width) != width_ || int32_t(pic.height) != height_) {
                    Error(m["Background"], "%s is %ux%u, the background must be %dx%d (Width x Height)",
                          m["Background"].Scalar().c_str(), pic.width, pic.height, width_, height_);
                } else {
                    Composite(pic, &background);
                    objs.SetValue("Background", DataValue(core::BinaryBuffer(background.data(), uint32_t(background.size()))));
                }
            }
        }
        std::vector<YAML::Node> list = Numbered(m["Objects"], "Objects");
        if (list.empty() && !m.Has("Objects")) Error(it->second, "language '%s' has no Objects: its menu would be empty", it->first.Scalar().c_str());
        else if (list.empty()) Error(m["Objects"], "language '%s' has no objects", it->first.Scalar().c_str());
        info.objectCount = list.size();
        for (size_t i = 0; i < list.size(); ++i) {
            Map o = ReadMap(list[i], "an object",
                            {"Controller", "XPos", "YPos", "Width", "Height", "ID", "Image1", "Image2", "Image3", "Image4"});
            DataGroup g;
            std::string ref;
            if (!o.Has("Controller")) {
                Error(list[i], "object %zu has no Controller", i + 1);
            } else if (Text(o["Controller"], "Controller", &ref)) {
                const ControllerRef* found = nullptr;
                for (const ControllerRef& c : controllers_)
                    if (c.name == ref || c.id == ref) found = &c;
                if (!found)
                    Error(o["Controller"], "object %zu: no controller is named '%s'", i + 1, o["Controller"].Scalar().c_str());
                else g.SetValue("Controller", TextValue(found->id));
            }
            if (o.Has("ID") && Text(o["ID"], "ID", &s)) g.SetValue("ID", TextValue(s));
            int64_t v[4] = {0, 0, -1, -1};
            const char* const geometry[] = {"XPos", "YPos", "Width", "Height"};
            disctool::Picture images[4];
            bool loaded[4] = {};
            for (int k = 0; k < 4; ++k) {
                std::string key = "Image" + std::to_string(k + 1);
                if (o.Has(key)) loaded[k] = Picture(o[key], key.c_str(), &images[k]);
            }
            for (int k = 0; k < 4; ++k) {
                if (o.Has(geometry[k])) Int(o[geometry[k]], geometry[k], k < 2 ? 0 : 1, kMaxSide, &v[k]);
                else if (k < 2) Error(list[i], "object %zu has no %s", i + 1, geometry[k]);
                else if (loaded[0]) v[k] = k == 2 ? images[0].width : images[0].height;  // the size of its picture
                else Error(list[i], "object %zu has no %s (and no Image1 to take it from)", i + 1, geometry[k]);
            }
            if (v[2] > 0 && v[3] > 0 && (v[0] + v[2] > width_ || v[1] + v[3] > height_))
                Error(list[i], "object %zu (%lldx%lld at %lld,%lld) does not fit in the %dx%d menu", i + 1,
                      (long long)v[2], (long long)v[3], (long long)v[0], (long long)v[1], width_, height_);
            for (int k = 0; k < 4; ++k) g.SetValue(geometry[k], IntValue(v[k]));
            for (int k = 0; k < 4; ++k) {
                if (!loaded[k] || v[2] <= 0 || v[3] <= 0) continue;
                std::string key = "Image" + std::to_string(k + 1);
                if (int64_t(images[k].width) != v[2] || int64_t(images[k].height) != v[3]) {
                    Error(o[key], "%s is %ux%u, object %zu is %lldx%lld", o[key].Scalar().c_str(), images[k].width,
                          images[k].height, i + 1, (long long)v[2], (long long)v[3]);
                    continue;
                }
                // Transparent parts show the background the object sits on.
                std::vector<uint8_t> block(size_t(v[2]) * v[3] * 4, 0);
                if (v[0] + v[2] <= width_ && v[1] + v[3] <= height_)
                    for (int64_t y = 0; y < v[3]; ++y)
                        std::memcpy(&block[size_t(y * v[2] * 4)], &background[size_t(((v[1] + y) * width_ + v[0]) * 4)],
                                    size_t(v[2] * 4));
                Composite(images[k], &block);
                g.SetValue(key, DataValue(core::BinaryBuffer(block.data(), uint32_t(block.size()))));
            }
            objs.SetValue(std::to_string(i + 1), GroupValue(g));
        }
        objects->SetValue(lang, GroupValue(objs));
        seen.push_back(std::move(info));
    }

    bool defaultFound = false;
    for (const Seen& s : seen) defaultFound |= s.name == defaultLanguage_;
    // The volume label shows the application's name as the default language says it.
    const std::string& label = out_->label;
    if (label.size() > 2 && label.front() == '[' && label.back() == ']')
        if (const DataValue* v = languages->FindValue(defaultLanguage_))
            if (const DataGroup* g = v->Group())
                if (const DataValue* t = g->FindValue(label.substr(1, label.size() - 2))) out_->label = t->Text();
    if (!defaultFound && !defaultLanguage_.empty())
        Error(defaultLanguageNode_, "DefaultLanguage '%s' is not one of the Languages", defaultLanguage_.c_str());
    for (const auto& [name, where] : languageChecks_) {
        bool known = name.empty() || name[0] == '[';  // a text key: translated when the action runs
        for (const Seen& s : seen) known |= s.name == name;
        if (!known) Error(where, "'%s' is not one of the Languages", name.c_str());
    }
    for (const Seen& s : seen) {
        if (s.objectCount != seen[0].objectCount && s.objectCount)
            Error(s.objectsNode, "language '%s' has %zu objects, '%s' has %zu: every language shows the same entries",
                  AnsiToUtf8(s.name).c_str(), s.objectCount, AnsiToUtf8(seen[0].name).c_str(), seen[0].objectCount);
        for (const Seen& other : seen)
            for (const std::string& key : other.keys)
                if (!s.keys.count(key))
                    Warn(s.textsNode.IsDefined() ? s.textsNode : n, "language '%s' lacks the text %s that '%s' has",
                         AnsiToUtf8(s.name).c_str(), AnsiToUtf8(key).c_str(), AnsiToUtf8(other.name).c_str());
        std::vector<std::string> lacking;
        for (const char* const* table : {kMenuTextKeys, useInstaller_ ? kInstallerTextKeys : kMenuTextKeys + 6})
            for (const char* const* k = table; *k; ++k)
                if (!s.keys.count(*k)) lacking.push_back(*k);
        if (!lacking.empty()) {
            std::string list;
            for (size_t k = 0; k < lacking.size() && k < 3; ++k) list += (k ? ", " : "") + lacking[k];
            if (lacking.size() > 3) list += " and " + std::to_string(lacking.size() - 3) + " more";
            Warn(s.textsNode.IsDefined() ? s.textsNode : n, "language '%s' lacks %zu texts the runtime shows: %s",
                 AnsiToUtf8(s.name).c_str(), lacking.size(), list.c_str());
        }
    }
}

// --- installer trees -----------------------------------------------------

bool Compiler::InstallerName(const YAML::Node& where, const std::string& utf8, std::string* ansi) {
    if (!Ansi(where, utf8, "name", ansi)) return false;
    if (ansi->find('|') != std::string::npos) {
        Error(where, "'%s': \"|\" is not allowed in installer names (it separates the fields of install operations)",
              utf8.c_str());
        return false;
    }
    if (ansi->empty()) return Error(where, "an installer name is empty"), false;
    return true;
}

bool Compiler::InstallerText(const YAML::Node& n, const char* key, std::string* ansi) {
    if (!Text(n, key, ansi)) return false;
    if (ansi->find('|') != std::string::npos) {
        Error(n, "'%s': \"|\" is not allowed in installer texts (it separates the fields of install operations)", key);
        return false;
    }
    return true;
}

DataGroup* Compiler::Node(DataGroup* parent, const std::string& name, int32_t item, const YAML::Node& where) {
    for (auto& [existing, child] : parent->Children()) {
        if (existing == name) {
            if (child->GetValue("item").Int() != item)
                Error(where, "'%s' is both a folder or key and an entry of another kind", name.c_str());
            return child.get();
        }
        if (core::EqualsNoCase(existing, name))
            Error(where, "'%s' and '%s' differ only in letter case, which Windows does not tell apart", name.c_str(),
                  existing.c_str());
    }
    DataGroup* g = parent->AddChild(name);
    g->SetValue("item", IntValue(item));
    g->SetValue("flags", IntValue(0));
    return g;
}

void Compiler::AddPackage(const std::string& name, const std::string& file, const YAML::Node& where) {
    std::string lower = core::ToLowerAscii(name);
    auto [it, inserted] = packageNames_.emplace(lower, file);
    if (!inserted) {
        Error(where, "%s and %s are both stored as '%s' in Setup.pac (names compare without case)", file.c_str(),
              it->second.c_str(), name.c_str());
        return;
    }
    out_->package.push_back(core::PackInput::FromFile(name, file));
}

bool Compiler::AddPayloadFolder(const fs::path& dir, const std::string& prefix, DataGroup* node,
                                const YAML::Node& where) {
    std::vector<fs::directory_entry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(*it);
    if (ec) return Error(where, "%s: cannot be listed (%s)", dir.string().c_str(), ec.message().c_str()), false;
    std::sort(entries.begin(), entries.end(), [](auto& a, auto& b) { return a.path() < b.path(); });
    for (const fs::directory_entry& e : entries) {
        std::string utf8 = e.path().filename().string(), name;
        if (!InstallerName(where, utf8, &name)) continue;
        if (name.find('\\') != std::string::npos) {
            Error(where, "%s: \"\\\" cannot be part of a file name on Windows", e.path().string().c_str());
            continue;
        }
        const std::string entry = prefix.empty() ? name : prefix + "\\" + name;
        if (e.is_directory(ec)) {
            AddPayloadFolder(e.path(), entry, Node(node, name, 1, where), where);
        } else if (e.is_regular_file(ec)) {
            DataGroup* file = Node(node, name, 2, where);
            DataGroup data;
            data.SetValue("Path", TextValue(entry));  // the Setup.pac entry it comes from
            file->SetValue("data", GroupValue(data));
            AddPackage(entry, e.path().string(), where);
        }
    }
    return true;
}

void Compiler::FilesTree(const YAML::Node& folder, const YAML::Node& discFiles, DataGroup* root) {
    DataGroup* target = Node(root, "[TargetFolder]", 1, folder);
    if (folder.IsDefined()) {
        std::string path;
        std::error_code ec;
        if (Scalar(folder, "Files", &path)) {
            if (!fs::is_directory(Resolve(path), ec)) Error(folder, "%s: no such folder", path.c_str());
            else AddPayloadFolder(Resolve(path), "", target, folder);
        }
    }
    if (!discFiles.IsDefined()) return;
    if (!discFiles.IsSequence()) return Error(discFiles, "'DiscFiles' must be a list of file names");
    for (const YAML::Node& f : discFiles) {
        std::string utf8, name;
        if (!Scalar(f, "DiscFiles", &utf8) || !InstallerName(f, utf8, &name)) continue;
        if (name.find_first_of("/\\") != std::string::npos) {
            Error(f, "'%s': DiscFiles names files in the disc's top folder", name.c_str());
            continue;
        }
        if (target->Children().count(name)) {
            Error(f, "'%s' is in the payload folder too", name.c_str());
            continue;
        }
        DataGroup* file = Node(target, name, 2, f);
        DataGroup data;
        data.SetValue("Path", TextValue(name));
        file->SetValue("data", GroupValue(data));
    }
}

void Compiler::RegistryEntries(const YAML::Node& n, DataGroup* key, int depth) {
    Map m = ReadMap(n, "a registry key", {});
    for (const auto& [name, nodes] : m.entries) {
        const YAML::Node& v = nodes.second;
        const bool isValue = v.IsMap() && (v["String"].IsDefined() || v["DWord"].IsDefined());
        if (isValue) {
            if (depth == 0) {
                Error(nodes.first, "'%s': a value must lie in a key, not directly in the hive", name.c_str());
                continue;
            }
            std::string ansi, text;
            if (!InstallerName(nodes.first, name, &ansi)) continue;
            Map vm = ReadMap(v, "a registry value", {"String", "DWord"});
            if (vm.Has("String") && vm.Has("DWord")) {
                Error(v, "'%s' is either a String or a DWord", name.c_str());
                continue;
            }
            DataGroup data;
            DataGroup* node = Node(key, ansi, vm.Has("String") ? 5 : 6, nodes.first);
            if (vm.Has("String")) {
                if (InstallerText(vm["String"], "String", &text)) data.SetValue("String", TextValue(text));
            } else {
                int64_t number;
                if (Int(vm["DWord"], "DWord", 0, UINT32_MAX, &number)) data.SetValue("DWord", DataValue(uint32_t(number)));
            }
            node->SetValue("data", GroupValue(data));
            continue;
        }
        if (!v.IsNull() && !v.IsMap()) {
            Error(v, "'%s': a registry entry is a key (a mapping) or a value ({String: ...} or {DWord: ...})",
                  name.c_str());
            continue;
        }
        // "A\B\C" is shorthand for nested keys.
        DataGroup* node = key;
        size_t start = 0;
        bool ok = true;
        while (ok && start <= name.size()) {
            size_t end = name.find('\\', start);
            if (end == std::string::npos) end = name.size();
            std::string part;
            ok = InstallerName(nodes.first, name.substr(start, end - start), &part);
            if (ok) node = Node(node, part, 4, nodes.first);
            start = end + 1;
        }
        if (ok && !v.IsNull()) RegistryEntries(v, node, depth + 1);
    }
}

void Compiler::RegistryTree(const YAML::Node& n, DataGroup* root) {
    Map m = ReadMap(n, "Registry", {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"});
    for (const auto& [hive, nodes] : m.entries) {
        DataGroup* h = Node(root, hive, 4, nodes.first);
        RegistryEntries(nodes.second, h, 0);
        if (h->Children().size() > 1)
            Error(nodes.first,
                  "%s holds %zu top keys ('%s', '%s', ...); only the first is installed: put them below one key",
                  hive.c_str(), h->Children().size(), h->Children().begin()->first.c_str(),
                  std::next(h->Children().begin())->first.c_str());
    }
}

void Compiler::StartMenuTree(const YAML::Node& n, DataGroup* root) {
    // Folders are mappings; a shortcut is a mapping with a Target.
    struct Walker {
        Compiler& c;
        void Folder(const YAML::Node& n, DataGroup* parent) {
            Map m = c.ReadMap(n, "a Start-menu folder", {});
            for (const auto& [name, nodes] : m.entries) {
                std::string ansi;
                if (!c.InstallerName(nodes.first, name, &ansi)) continue;
                const YAML::Node& v = nodes.second;
                if (v.IsMap() && v["Target"].IsDefined()) {
                    Map s = c.ReadMap(v, "a shortcut", {"Target", "Params", "CurrentDir", "IconName", "IconIndex"});
                    DataGroup data;
                    for (const char* key : {"Target", "Params", "CurrentDir", "IconName"}) {
                        std::string text;
                        if (s.Has(key) && c.InstallerText(s[key], key, &text)) data.SetValue(key, TextValue(text));
                        else data.SetValue(key, TextValue(""));
                    }
                    int64_t index = 0;
                    if (s.Has("IconIndex")) c.Int(s["IconIndex"], "IconIndex", INT32_MIN, INT32_MAX, &index);
                    data.SetValue("IconIndex", IntValue(index));
                    c.Node(parent, ansi, 9, nodes.first)->SetValue("data", GroupValue(data));
                } else if (v.IsNull() || v.IsMap()) {
                    DataGroup* folder = c.Node(parent, ansi, 8, nodes.first);
                    if (!v.IsNull()) Folder(v, folder);
                } else {
                    c.Error(v, "'%s': a Start-menu entry is a folder (a mapping) or a shortcut (with a Target)",
                            name.c_str());
                }
            }
        }
    } walker{*this};
    walker.Folder(n, root);
    if (root->Children().size() > 1)
        Error(n, "the Start menu holds %zu top entries; only the first is installed: put them in one folder such as "
                 "[StartMenu]",
              root->Children().size());
}

void Compiler::Installer(const YAML::Node& n) {
    Map m = ReadMap(n, "Installer", {"Files", "DiscFiles", "Registry", "StartMenu"});
    struct Tree {
        const char* value;
        int32_t rootItem;
    } trees[] = {{"InstallerFilesFolders", 0}, {"InstallerRegistry", 3}, {"InstallerStartMenu", 7}};
    DataGroup groups[3];
    DataGroup* roots[3];
    for (int i = 0; i < 3; ++i) {
        roots[i] = groups[i].AddChild("Install Target");
        roots[i]->SetValue("item", IntValue(trees[i].rootItem));
        roots[i]->SetValue("flags", IntValue(0));
    }
    if (useInstaller_ && !m.Has("Files") && !m.Has("DiscFiles"))
        Error(n.IsDefined() ? n : m.node, "UseInstaller is on but Installer names no Files folder to install");
    if (m.Has("Files") || m.Has("DiscFiles")) FilesTree(m["Files"], m["DiscFiles"], roots[0]);
    if (m.Has("Registry")) RegistryTree(m["Registry"], roots[1]);
    if (m.Has("StartMenu")) StartMenuTree(m["StartMenu"], roots[2]);
    for (int i = 0; i < 3; ++i) out_->tree.SetValue(trees[i].value, GroupValue(groups[i]));
}

// Every file below root, in a stable order, so that builds are repeatable.
static std::vector<fs::path> SortedFiles(const fs::path& root) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec)) files.push_back(it->path());
    std::sort(files.begin(), files.end());
    return files;
}

void Compiler::Disc(const YAML::Node& n) {
    Map m = ReadMap(n, "Disc", {"Folder", "PackageFolder", "Label"});
    std::string s;
    if (m.Has("Label") && Text(m["Label"], "Label", &s)) out_->label = s;
    std::error_code ec;
    if (m.Has("Folder") && Scalar(m["Folder"], "Folder", &s)) {
        fs::path root = Resolve(s);
        if (!fs::is_directory(root, ec)) {
            Error(m["Folder"], "%s: no such folder", s.c_str());
        } else {
            std::vector<fs::path> files = SortedFiles(root);
            for (const fs::path& f : files) {
                std::string name = fs::relative(f, root).generic_string();
                if (core::EqualsNoCase(name, "dsetup.dll")) out_->bringsDsetup = true;
                for (const char* reserved : {"Setup.exe", "Setup.pac", "autorun.inf"})
                    if (core::EqualsNoCase(name, reserved))
                        Error(m["Folder"], "%s: the build writes %s itself", f.string().c_str(), reserved);
                out_->discFiles.push_back({name, f.string()});
            }
        }
    }
    if (m.Has("PackageFolder") && Scalar(m["PackageFolder"], "PackageFolder", &s)) {
        fs::path root = Resolve(s);
        if (!fs::is_directory(root, ec)) {
            Error(m["PackageFolder"], "%s: no such folder", s.c_str());
        } else {
            std::vector<fs::path> files = SortedFiles(root);
            for (const fs::path& f : files) {
                std::string name, ansi;
                for (const fs::path& part : fs::relative(f, root)) name += (name.empty() ? "" : "\\") + part.string();
                if (Ansi(m["PackageFolder"], name, "file name", &ansi)) AddPackage(ansi, f.string(), m["PackageFolder"]);
            }
        }
    }
}

}  // namespace

bool CompileProject(const std::string& project, const CompileOptions& options, CompiledProject* out,
                    int* warningCount) {
    Compiler compiler(ProjectSourcePath(project), options, out);
    return compiler.Run(warningCount);
}

}  // namespace disctool
