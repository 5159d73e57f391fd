#include "shell/project.h"

#include <algorithm>
#include <cstring>

namespace shell {

namespace {

bool g_rightAligned = false;

// Largest client size accepted; it bounds the background blocks too.
constexpr int32_t kMaxSide = 4096;

bool IsNumber(uint32_t type) { return type >= core::kVtInt32 && type <= core::kVtNumber64b; }

// Reads typed keys of one group and remembers the first one that a project
// must carry but does not.
class KeyReader {
public:
    KeyReader(const core::DataGroup& group, std::string prefix, std::string* missing)
        : group_(group), prefix_(std::move(prefix)), missing_(missing) {}

    bool Bool(const char* key, bool* out) {
        const core::DataValue* v = group_.FindValue(key);
        if (v && (v->Type() == core::kVtBool || IsNumber(v->Type()))) {
            *out = v->Type() == core::kVtBool ? v->Bool() : v->Number() != 0;
            return true;
        }
        return Missing(key);
    }
    bool OptionalBool(const char* key, bool fallback) {
        bool value = fallback;
        const core::DataValue* v = group_.FindValue(key);
        if (v && (v->Type() == core::kVtBool || IsNumber(v->Type())))
            value = v->Type() == core::kVtBool ? v->Bool() : v->Number() != 0;
        return value;
    }
    bool Text(const char* key, std::string* out) {
        const core::DataValue* v = group_.FindValue(key);
        if (v && v->TextObject()) {
            *out = *v->TextObject();
            return true;
        }
        return Missing(key);
    }
    std::string OptionalText(const char* key) {
        const core::DataValue* v = group_.FindValue(key);
        return v && v->TextObject() ? *v->TextObject() : std::string();
    }
    bool Int(const char* key, int32_t* out) {
        const core::DataValue* v = group_.FindValue(key);
        if (v && IsNumber(v->Type())) {
            *out = int32_t(v->Number());
            return true;
        }
        return Missing(key);
    }
    int32_t OptionalInt(const char* key) {
        const core::DataValue* v = group_.FindValue(key);
        return v && IsNumber(v->Type()) ? int32_t(v->Number()) : 0;
    }
    bool Bytes(const char* key, core::BinaryBuffer* out) {
        const core::DataValue* v = group_.FindValue(key);
        if (v && v->Binary()) {
            *out = *v->Binary();
            return true;
        }
        return Missing(key);
    }
    const core::DataGroup* Group(const char* key) {
        const core::DataGroup* g = FindSubgroup(group_, key);
        if (!g) Missing(key);
        return g;
    }
    bool Missing(const char* key) {
        if (missing_ && missing_->empty()) *missing_ = prefix_ + key;
        return false;
    }

private:
    const core::DataGroup& group_;
    std::string prefix_;
    std::string* missing_;
};

// An unsigned decimal without sign or leading zero, as entries are named.
bool ParseEntryNumber(const std::string& name, uint32_t* number) {
    if (name.empty() || name.size() > 9 || name[0] == '0') return false;
    uint32_t n = 0;
    for (char c : name) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + uint32_t(c - '0');
    }
    *number = n;
    return true;
}

// Visits the groups held in a group, as group values first, then as child
// groups, each in map order.
template <typename Fn>
void ForEachGroup(const core::DataGroup& group, Fn fn) {
    for (const auto& [name, value] : group.Values())
        if (const core::DataGroup* g = value.Group()) fn(name, *g);
    for (const auto& [name, child] : group.Children()) fn(name, *child);
}

}  // namespace

bool RightAligned() { return g_rightAligned; }
void SetRightAligned(bool on) { g_rightAligned = on; }

std::string MenuController::ID() const {
    const core::DataValue* v = Settings.FindValue("ID");
    return v && v->TextObject() ? *v->TextObject() : std::string();
}

const core::DataGroup* FindSubgroup(const core::DataGroup& group, std::string_view name) {
    if (const core::DataValue* v = group.FindValue(name))
        if (const core::DataGroup* g = v->Group()) return g;
    return group.FindGroup(name);
}

std::vector<std::pair<uint32_t, const core::DataGroup*>> NumberedGroups(const core::DataGroup& group) {
    std::vector<std::pair<uint32_t, const core::DataGroup*>> entries;
    ForEachGroup(group, [&](const std::string& name, const core::DataGroup& g) {
        uint32_t n;
        if (ParseEntryNumber(name, &n)) entries.emplace_back(n, &g);
    });
    // Stable: of two entries with one number the first found wins below.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    entries.erase(std::unique(entries.begin(), entries.end(),
                              [](const auto& a, const auto& b) { return a.first == b.first; }),
                  entries.end());
    return entries;
}

bool Project::Read(const core::DataGroup& root, std::string* missing) {
    if (missing) missing->clear();
    ProjectSettings& s = settings;
    KeyReader keys(root, "", missing);
    bool ok = keys.Bool("RuntimeCaption", &s.ShowCaption);
    ok &= keys.Bool("RuntimeBorder", &s.ShowBorder);
    ok &= keys.Bool("RuntimeShowLangDlgAtAll", &s.LangDialogAllowed);
    ok &= keys.Bool("RuntimeShowLangDlg", &s.LangDialogAlways);
    ok &= keys.Bool("UseInstaller", &s.UseInstaller);
    ok &= keys.Bool("UseInstallerStartMenu", &s.UseInstallerStartMenu);
    if (s.UseInstaller) {
        struct {
            const char* key;
            core::DataGroup* target;
        } lists[] = {{"InstallerFilesFolders", &s.InstallFilesFolders},
                     {"InstallerRegistry", &s.InstallRegistry},
                     {"InstallerStartMenu", &s.InstallStartMenu}};
        for (auto& list : lists) {
            const core::DataGroup* g = keys.Group(list.key);
            if (!g) {
                ok = false;
                continue;
            }
            // A group without its "Install Target" installs nothing of its kind.
            if (const core::DataGroup* target = FindSubgroup(*g, "Install Target")) *list.target = *target;
        }
        installer::BuildOperationListFromRoots(&s.InstallFilesFolders, &s.InstallRegistry, &s.InstallStartMenu,
                                               &s.Operations, &s.RejectedInstallNodes);
    }
    ok &= keys.Text("ApplicationName", &s.ApplicationName);
    s.AltApplicationName = keys.OptionalText("AltApplicationName");
    if (s.AltApplicationName.empty()) s.AltApplicationName = s.ApplicationName;
    ok &= keys.Text("ApplicationID", &s.ApplicationID);
    s.RegistryPath = kRegistryBranch + s.ApplicationID;
    s.RightAligned = keys.OptionalBool("RightAligned", false);
    SetRightAligned(s.RightAligned);
    ok &= keys.Text("WizardVer", &s.WizardVersion);
    ok &= keys.Text("DefaultLanguage", &s.DefaultLanguage);
    ok &= keys.Bool("TestMode", &s.TestMode);
    ok &= keys.Bool("PlayIntroSound", &s.PlayIntroSound);
    s.LoopIntroSound = keys.OptionalBool("LoopIntroSound", false);
    if (s.PlayIntroSound) ok &= keys.Bytes("IntroSound", &s.IntroSound);
    ok &= keys.Bool("ShowLicense", &s.ShowLicense);
    ok &= keys.Text("License", &s.LicenseText);
    ok &= keys.Bool("ShowRegistration", &s.ShowRegistration);
    ok &= keys.Int("Width", &s.Width);
    ok &= keys.Int("Height", &s.Height);
    if (ok && (s.Width < 1 || s.Width > kMaxSide)) ok = keys.Missing("Width");
    if (ok && (s.Height < 1 || s.Height > kMaxSide)) ok = keys.Missing("Height");

    const core::DataGroup* controllerGroup = keys.Group("Controllers");
    const core::DataGroup* languageGroup = keys.Group("Languages");
    const core::DataGroup* objectGroup = keys.Group("Objects");
    if (!ok || !controllerGroup || !languageGroup || !objectGroup) return false;

    controllers.clear();
    for (const auto& [number, group] : NumberedGroups(*controllerGroup)) {
        KeyReader entry(*group, "Controllers/" + std::to_string(number) + "/", missing);
        MenuController c;
        c.Settings = *group;
        c.Selectable = entry.OptionalBool("Selectable", true);
        c.Invisible = entry.OptionalBool("Invisible", false);
        if (!entry.Bool("UseSound", &c.UseSound)) return false;
        if (c.UseSound && !entry.Bytes("Sound", &c.Sound)) return false;
        controllers.push_back(std::move(c));
    }

    languages.clear();
    ForEachGroup(*languageGroup, [&](const std::string& name, const core::DataGroup& g) {
        languages.emplace(name, g);  // emplace keeps the first of two equal names
    });

    backgrounds.clear();
    objects.clear();
    const size_t blockSize = size_t(s.Width) * size_t(s.Height) * 4;
    ForEachGroup(*objectGroup, [&](const std::string& name, const core::DataGroup& g) {
        if (objects.count(name)) return;
        core::DataGroup copy(g);
        copy.RemoveValue("Background");
        objects.emplace(name, std::move(copy));
        const core::DataValue* background = g.FindValue("Background");
        if (!background || !background->Binary()) return;  // painted grey
        // A picture of another size is copied up to the block's end; what it
        // does not cover shows grey rather than stray bytes.
        std::vector<uint8_t> block(blockSize);
        for (size_t i = 0; i < blockSize; i += 4) {
            block[i] = block[i + 1] = block[i + 2] = 128;
            block[i + 3] = 0;
        }
        const core::BinaryBuffer& bytes = *background->Binary();
        if (bytes.Size()) std::memcpy(block.data(), bytes.Data(), std::min<size_t>(bytes.Size(), blockSize));
        backgrounds.emplace(name, std::move(block));
    });
    return true;
}

MenuController* Project::FindController(std::string_view id) {
    for (MenuController& c : controllers)
        if (c.ID() == id) return &c;
    return nullptr;
}

const MenuController* Project::FindController(std::string_view id) const {
    return const_cast<Project*>(this)->FindController(id);
}

std::vector<ObjectEntry> Project::ObjectsOf(const std::string& language) const {
    std::vector<ObjectEntry> out;
    auto it = objects.find(language);
    if (it == objects.end()) return out;
    for (const auto& [number, group] : NumberedGroups(it->second)) {
        KeyReader keys(*group, "", nullptr);
        ObjectEntry e;
        e.number = number;
        e.x = keys.OptionalInt("XPos");
        e.y = keys.OptionalInt("YPos");
        e.width = keys.OptionalInt("Width");
        e.height = keys.OptionalInt("Height");
        e.controllerId = keys.OptionalText("Controller");
        e.group = group;
        out.push_back(std::move(e));
    }
    return out;
}

}  // namespace shell
