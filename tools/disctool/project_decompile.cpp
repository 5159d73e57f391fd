// disctool project decompile: a project tree back into a source with its
// pictures, sounds and payload, such that building it gives the same tree.
#include <yaml-cpp/yaml.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "core/package.h"
#include "core/text.h"
#include "tools/disctool/ansi_text.h"
#include "tools/disctool/commands.h"
#include "tools/disctool/png_io.h"
#include "tools/disctool/project.h"

namespace fs = std::filesystem;
using core::DataGroup;
using core::DataValue;

namespace disctool {

namespace {

class Writer {
public:
    Writer(const DataGroup& tree, const std::string& package, const fs::path& dir)
        : tree_(tree), dir_(dir) {
        if (!package.empty()) {
            if (package_.Open(package)) packageName_ = package;
            else std::fprintf(stderr, "disctool: %s: not a package; payload files are written empty\n", package.c_str());
        }
    }

    bool Run();

private:
    std::string U(const std::string& ansi) const { return AnsiToUtf8(ansi); }
    std::string Text(const DataGroup& g, const char* key) const {
        const DataValue* v = g.FindValue(key);
        return v && v->TextObject() ? *v->TextObject() : std::string();
    }

    bool WriteBytes(const std::string& relative, const uint8_t* data, size_t size) {
        fs::path p = dir_ / relative;
        std::error_code ec;
        fs::create_directories(p.parent_path(), ec);
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
        if (!out) ok_ = false, Fail("%s: cannot be written", p.string().c_str());
        return bool(out);
    }
    bool WritePicture(const std::string& relative, int32_t w, int32_t h, const core::BinaryBuffer& b) {
        if (w < 1 || h < 1 || b.Size() != uint32_t(w) * uint32_t(h) * 4) {
            std::fprintf(stderr, "disctool: warning: %s: picture of %u bytes does not match %dx%d; left out\n",
                         relative.c_str(), b.Size(), w, h);
            return false;
        }
        fs::path p = dir_ / relative;
        std::error_code ec;
        fs::create_directories(p.parent_path(), ec);
        std::string why;
        if (!WritePng(p.string(), uint32_t(w), uint32_t(h), b.Data(), &why))
            return ok_ = false, Fail("%s: %s", p.string().c_str(), why.c_str()), false;
        return true;
    }

    static std::string Safe(const std::string& utf8) {
        std::string out;
        for (char c : utf8) out += (std::isalnum((unsigned char)c) || c == '-' || c == '_') ? c : '_';
        return out.empty() ? "x" : out;
    }

    void Record(YAML::Emitter& y, const DataGroup& r, const std::vector<TypeSpec>& table, const char* what);
    void Controllers(YAML::Emitter& y);
    void Languages(YAML::Emitter& y);
    void Installer(YAML::Emitter& y);
    void Payload(const DataGroup& node, const std::string& relative, std::vector<std::string>* discFiles, bool top);
    void RegistryKey(YAML::Emitter& y, const DataGroup& key);
    void StartMenuFolder(YAML::Emitter& y, const DataGroup& folder);

    const DataGroup& tree_;
    fs::path dir_;
    core::PackageFile package_;
    std::string packageName_;
    bool ok_ = true;
    std::map<std::string, std::string> controllerRefs_;  // ID -> how objects name it
};

void Writer::Record(YAML::Emitter& y, const DataGroup& r, const std::vector<TypeSpec>& table, const char* what) {
    const TypeSpec* type = FindType(table, r.GetValue("Type").Int());
    if (!type) {
        std::fprintf(stderr, "disctool: warning: %s of unknown type %d left out\n", what, r.GetValue("Type").Int());
        return;
    }
    std::vector<const KeySpec*> present;
    for (const KeySpec& k : type->keys)
        if (r.FindValue(k.name)) present.push_back(&k);
    for (const auto& [name, value] : r.Values()) {
        bool known = core::EqualsNoCase(name, "Type");
        for (const KeySpec& k : type->keys) known |= core::EqualsNoCase(name, k.name);
        if (!known) std::fprintf(stderr, "disctool: warning: key %s of a '%s' %s left out\n", name.c_str(), type->name, what);
    }
    if (present.empty()) {
        y << type->name;
        return;
    }
    y << YAML::BeginMap << YAML::Key << "Type" << YAML::Value << type->name;
    for (const KeySpec* k : present) {
        const DataValue& v = *r.FindValue(k->name);
        y << YAML::Key << k->name << YAML::Value;
        switch (k->kind) {
        case KeySpec::Text: y << U(v.Text()); break;
        case KeySpec::Bool: y << v.Bool(); break;
        case KeySpec::Int: y << v.Int(); break;
        case KeySpec::Root: {
            static const char* const roots[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"};
            y << (v.Int() >= 0 && v.Int() <= 2 ? roots[v.Int()] : "HKEY_CURRENT_USER");
            break;
        }
        case KeySpec::RegType: y << (v.Int() == 0 ? "dword" : "string"); break;
        case KeySpec::Color: {
            uint32_t c = uint32_t(v.Int());
            char hex[8];
            std::snprintf(hex, sizeof hex, "#%02X%02X%02X", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
            if (c <= 0xFFFFFF) y << hex;
            else y << v.Int();
            break;
        }
        }
    }
    y << YAML::EndMap;
}

void Writer::Controllers(YAML::Emitter& y) {
    const DataGroup* group = tree_.FindGroup("Controllers");
    std::map<std::string, int> nameCount;
    std::vector<const DataGroup*> list;
    for (int i = 1; group; ++i) {
        const DataValue* v = group->FindValue(std::to_string(i));
        if (!v || !v->Group()) break;
        list.push_back(v->Group());
        nameCount[Text(*v->Group(), "Name")]++;
    }
    y << YAML::Key << "Controllers" << YAML::Value << YAML::BeginSeq;
    for (size_t i = 0; i < list.size(); ++i) {
        const DataGroup& c = *list[i];
        const std::string name = Text(c, "Name"), id = Text(c, "ID");
        controllerRefs_[id] = (!name.empty() && nameCount[name] == 1) ? U(name) : id;
        y << YAML::BeginMap;
        if (c.FindValue("Name")) y << YAML::Key << "Name" << YAML::Value << U(name);
        if (c.FindValue("Name") == nullptr || id != ControllerIdFromName(name))
            y << YAML::Key << "ID" << YAML::Value << id;
        y << YAML::Key << "Selectable" << YAML::Value << c.GetValue("Selectable", DataValue(true)).Bool();
        y << YAML::Key << "Invisible" << YAML::Value << c.GetValue("Invisible").Bool();
        y << YAML::Key << "UseSound" << YAML::Value << c.GetValue("UseSound").Bool();
        if (const DataValue* s = c.FindValue("Sound"); s && s->Binary()) {
            std::string file = "sounds/controller" + std::to_string(i + 1) + ".wav";
            WriteBytes(file, s->Binary()->Data(), s->Binary()->Size());
            y << YAML::Key << "Sound" << YAML::Value << file;
        }
        for (const char* key : {"Actions", "Dependencies"}) {
            const DataValue* v = c.FindValue(key);
            y << YAML::Key << key << YAML::Value << YAML::BeginSeq;
            if (v && v->GetList())
                for (const DataValue& r : *v->GetList())
                    if (r.Group())
                        Record(y, *r.Group(), key[0] == 'A' ? ActionTypes() : DependencyTypes(),
                               key[0] == 'A' ? "action" : "dependency");
            y << YAML::EndSeq;
        }
        y << YAML::EndMap;
    }
    y << YAML::EndSeq;
}

void Writer::Languages(YAML::Emitter& y) {
    const DataGroup* languages = tree_.FindGroup("Languages");
    const DataGroup* objects = tree_.FindGroup("Objects");
    const int32_t width = tree_.GetValue("Width").Int(), height = tree_.GetValue("Height").Int();
    std::set<std::string> folders;
    y << YAML::Key << "Languages" << YAML::Value << YAML::BeginMap;
    for (const auto& [lang, value] : languages ? languages->Values() : DataGroup::ValueMap()) {
        const DataGroup* texts = value.Group();
        if (!texts) continue;
        std::string folder = "pictures/" + Safe(U(lang));
        while (!folders.insert(folder).second) folder += "_";
        y << YAML::Key << U(lang) << YAML::Value << YAML::BeginMap;
        if (Text(*texts, "Name") != lang) y << YAML::Key << "Name" << YAML::Value << U(Text(*texts, "Name"));
        if (texts->FindValue("ID")) y << YAML::Key << "ID" << YAML::Value << U(Text(*texts, "ID"));
        y << YAML::Key << "Texts" << YAML::Value << YAML::BeginMap;
        for (const auto& [key, text] : texts->Values())
            if (key != "Name" && key != "ID") y << YAML::Key << U(key) << YAML::Value << U(text.Text());
        y << YAML::EndMap;
        const DataValue* ov = objects ? objects->FindValue(lang) : nullptr;
        if (ov && ov->Group()) {
            const DataGroup& g = *ov->Group();
            if (const DataValue* b = g.FindValue("Background"); b && b->Binary())
                if (WritePicture(folder + "/background.png", width, height, *b->Binary()))
                    y << YAML::Key << "Background" << YAML::Value << folder + "/background.png";
            y << YAML::Key << "Objects" << YAML::Value << YAML::BeginSeq;
            for (int i = 1;; ++i) {
                const DataValue* e = g.FindValue(std::to_string(i));
                if (!e || !e->Group()) break;
                const DataGroup& o = *e->Group();
                const std::string controller = Text(o, "Controller");
                y << YAML::BeginMap;
                y << YAML::Key << "Controller" << YAML::Value
                  << (controllerRefs_.count(controller) ? controllerRefs_[controller] : U(controller));
                for (const char* key : {"XPos", "YPos", "Width", "Height"})
                    y << YAML::Key << key << YAML::Value << o.GetValue(key).Int();
                if (o.FindValue("ID")) y << YAML::Key << "ID" << YAML::Value << U(Text(o, "ID"));
                for (int k = 1; k <= 4; ++k) {
                    std::string key = "Image" + std::to_string(k);
                    const DataValue* img = o.FindValue(key);
                    if (!img || !img->Binary()) continue;
                    std::string file = folder + "/object" + std::to_string(i) + "-" + std::to_string(k) + ".png";
                    if (WritePicture(file, o.GetValue("Width").Int(), o.GetValue("Height").Int(), *img->Binary()))
                        y << YAML::Key << key << YAML::Value << file;
                }
                y << YAML::EndMap;
            }
            y << YAML::EndSeq;
        }
        y << YAML::EndMap;
    }
    y << YAML::EndMap;
}

void Writer::Payload(const DataGroup& node, const std::string& relative, std::vector<std::string>* discFiles,
                     bool top) {
    std::error_code ec;
    fs::create_directories(dir_ / "payload" / relative, ec);
    for (const auto& [name, child] : node.Children()) {
        const int32_t item = child->GetValue("item").Int();
        const std::string path = relative.empty() ? U(name) : relative + "/" + U(name);
        if (item == 1) {
            Payload(*child, path, discFiles, false);
            continue;
        }
        if (item != 2) continue;
        std::string entry = Text(*child, "data/Path");
        if (const DataValue* d = child->FindValue("data"); d && d->Group()) entry = Text(*d->Group(), "Path");
        std::unique_ptr<core::PackageStream> stream = package_.IsOpen() ? package_.FindEntry(entry) : nullptr;
        if (!stream && top) {
            discFiles->push_back(U(name));  // taken from the disc itself, such as Setup.exe
            continue;
        }
        std::vector<uint8_t> bytes;
        if (stream) {
            bytes.resize(size_t(stream->GetSize()));
            if (stream->Read(bytes.data(), bytes.size()) != bytes.size())
                std::fprintf(stderr, "disctool: warning: %s: entry %s cannot be read\n", packageName_.c_str(), entry.c_str());
        } else {
            std::fprintf(stderr, "disctool: warning: payload/%s: not in a package; written empty\n", path.c_str());
        }
        WriteBytes("payload/" + path, bytes.data(), bytes.size());
    }
}

void Writer::RegistryKey(YAML::Emitter& y, const DataGroup& key) {
    if (key.Children().empty()) {
        y << YAML::Null;
        return;
    }
    y << YAML::BeginMap;
    for (const auto& [name, child] : key.Children()) {
        const int32_t item = child->GetValue("item").Int();
        y << YAML::Key << U(name) << YAML::Value;
        const DataValue* d = child->FindValue("data");
        const DataGroup* data = d ? d->Group() : nullptr;
        if (item == 5)
            y << YAML::Flow << YAML::BeginMap << YAML::Key << "String" << YAML::Value
              << U(data ? Text(*data, "String") : "") << YAML::EndMap;
        else if (item == 6)
            y << YAML::Flow << YAML::BeginMap << YAML::Key << "DWord" << YAML::Value
              << (data ? data->GetValue("DWord").Word() : 0u) << YAML::EndMap;
        else
            RegistryKey(y, *child);
    }
    y << YAML::EndMap;
}

void Writer::StartMenuFolder(YAML::Emitter& y, const DataGroup& folder) {
    if (folder.Children().empty()) {
        y << YAML::Null;
        return;
    }
    y << YAML::BeginMap;
    for (const auto& [name, child] : folder.Children()) {
        y << YAML::Key << U(name) << YAML::Value;
        if (child->GetValue("item").Int() == 9) {
            const DataValue* d = child->FindValue("data");
            DataGroup empty;
            const DataGroup& data = d && d->Group() ? *d->Group() : empty;
            y << YAML::BeginMap;
            for (const char* key : {"Target", "Params", "CurrentDir", "IconName"})
                y << YAML::Key << key << YAML::Value << U(Text(data, key));
            y << YAML::Key << "IconIndex" << YAML::Value << data.GetValue("IconIndex").Int() << YAML::EndMap;
        } else {
            StartMenuFolder(y, *child);
        }
    }
    y << YAML::EndMap;
}

const DataGroup* InstallRoot(const DataGroup& tree, const char* key) {
    const DataValue* v = tree.FindValue(key);
    return v && v->Group() ? v->Group()->FindGroup("Install Target") : nullptr;
}

void Writer::Installer(YAML::Emitter& y) {
    const DataGroup* files = InstallRoot(tree_, "InstallerFilesFolders");
    const DataGroup* registry = InstallRoot(tree_, "InstallerRegistry");
    const DataGroup* startMenu = InstallRoot(tree_, "InstallerStartMenu");
    if (!files && !registry && !startMenu) return;
    y << YAML::Key << "Installer" << YAML::Value << YAML::BeginMap;
    if (files && !files->Children().empty()) {
        const auto& [top, target] = *files->Children().begin();
        if (top != "[TargetFolder]" || files->Children().size() > 1)
            std::fprintf(stderr, "disctool: warning: the files tree has other top folders than [TargetFolder]; "
                                 "only [TargetFolder] is written\n");
        std::vector<std::string> discFiles;
        Payload(*files->Children().begin()->second, "", &discFiles, true);
        y << YAML::Key << "Files" << YAML::Value << "payload";
        if (!discFiles.empty()) {
            y << YAML::Key << "DiscFiles" << YAML::Value << YAML::Flow << YAML::BeginSeq;
            for (const std::string& f : discFiles) y << f;
            y << YAML::EndSeq;
        }
    }
    if (registry && !registry->Children().empty()) {
        y << YAML::Key << "Registry" << YAML::Value;
        RegistryKey(y, *registry);
    }
    if (startMenu && !startMenu->Children().empty()) {
        y << YAML::Key << "StartMenu" << YAML::Value;
        StartMenuFolder(y, *startMenu);
    }
    y << YAML::EndMap;
}

bool Writer::Run() {
    std::error_code ec;
    fs::create_directories(dir_, ec);
    if (ec) return Fail("%s: cannot be created (%s)", dir_.string().c_str(), ec.message().c_str()), false;
    YAML::Emitter y;
    y << YAML::BeginMap;
    for (const SettingSpec& s : RootSettings()) {
        const DataValue* v = tree_.FindValue(s.name);
        if (!v) continue;
        if (s.kind == SettingSpec::Sound) {
            if (!v->Binary()) continue;
            WriteBytes("sounds/intro.wav", v->Binary()->Data(), v->Binary()->Size());
            y << YAML::Key << s.name << YAML::Value << "sounds/intro.wav";
            continue;
        }
        y << YAML::Key << s.name << YAML::Value;
        if (s.kind == SettingSpec::Bool) {
            y << v->Bool();
        } else if (s.kind == SettingSpec::Int) {
            y << v->Int();
        } else if (s.kind == SettingSpec::LongText && std::string(v->Text()).find('\n') != std::string::npos) {
            // Long texts go to a file of their own, with plain line ends.
            std::string text = U(v->Text()), lf;
            for (char c : text)
                if (c != '\r') lf += c;
            WriteBytes("license.txt", reinterpret_cast<const uint8_t*>(lf.data()), lf.size());
            y << YAML::Flow << YAML::BeginMap << YAML::Key << "File" << YAML::Value << "license.txt" << YAML::EndMap;
        } else {
            y << U(v->Text());
        }
    }
    Controllers(y);
    Languages(y);
    Installer(y);
    y << YAML::EndMap;
    if (!y.good()) return Fail("cannot write the source: %s", y.GetLastError().c_str()), false;
    std::string source = "# Project source written by disctool project decompile.\n" + std::string(y.c_str()) + "\n";
    WriteBytes("project.yaml", reinterpret_cast<const uint8_t*>(source.data()), source.size());
    return ok_;
}

}  // namespace

bool Decompile(const DataGroup& tree, const std::string& package, const std::string& dir) {
    return Writer(tree, package, dir).Run();
}

}  // namespace disctool
