// A small but complete project tree, built with the tree API, that the
// settings, language and text tests change key by key.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/data_group.h"

namespace testutil {

inline core::BinaryBuffer Pixels(int width, int height, uint8_t shade) {
    std::vector<uint8_t> bytes(size_t(width) * size_t(height) * 4, shade);
    return core::BinaryBuffer(bytes.data(), uint32_t(bytes.size()));
}

inline const char* ControllerId(int n) {
    static const char* ids[] = {"{00000000-0000-0000-0000-000000000001}", "{00000000-0000-0000-0000-000000000002}",
                                "{00000000-0000-0000-0000-000000000003}"};
    return ids[n - 1];
}

// Adds a language: its texts, and its objects (one per controller id given)
// with a background of the project's size.
inline void AddLanguage(core::DataGroup& root, const std::string& name, const std::string& displayName,
                        const std::vector<int>& objectControllers, uint8_t shade = 0x40) {
    core::DataGroup* texts = root.FindGroup("Languages");
    if (!texts) texts = root.AddChild("Languages");
    core::DataGroup& lang = *texts->AddChild(name);
    if (!displayName.empty()) lang.SetValue("Name", core::DataValue(displayName));
    lang.SetValue("ID", core::DataValue(name.substr(0, 2)));
    lang.SetValue("APP_TITLE", core::DataValue(name + " title"));
    lang.SetValue("AUTORUN_LANGUAGE_SELECT", core::DataValue(name + " prompt"));
    lang.SetValue("AUTORUN_LANGUAGE_OK", core::DataValue(name + " OK"));
    lang.SetValue("AUTORUN_LANGUAGE_CANCEL", core::DataValue(name + " Cancel"));

    int width = int(root.GetValue("Width").Number()), height = int(root.GetValue("Height").Number());
    core::DataGroup objects;
    objects.SetValue("Background", core::DataValue(Pixels(width, height, shade)));
    for (size_t i = 0; i < objectControllers.size(); ++i) {
        core::DataGroup object;
        int w = 30 + int(i), h = 20 + int(i);
        object.SetValue("XPos", core::DataValue(uint32_t(10 + 40 * i)));
        object.SetValue("YPos", core::DataValue(10u));
        object.SetValue("Width", core::DataValue(uint32_t(w)));
        object.SetValue("Height", core::DataValue(uint32_t(h)));
        object.SetValue("Controller", core::DataValue(ControllerId(objectControllers[i])));
        for (int k = 1; k <= 4; ++k)
            object.SetValue("Image" + std::to_string(k), core::DataValue(Pixels(w, h, uint8_t(shade + k))));
        objects.SetValue(std::to_string(i + 1), core::DataValue(object));
    }
    core::DataGroup* all = root.FindGroup("Objects");
    if (!all) all = root.AddChild("Objects");
    all->SetValue(name, core::DataValue(objects));
}

// Two controllers (the second not selectable), and one language "English"
// with two objects. The caller adds more languages.
inline core::DataGroup SampleProject(const std::string& applicationId, int width = 200, int height = 120) {
    core::DataGroup root;
    auto set = [&](const char* key, core::DataValue v) { root.SetValue(key, v); };
    set("RuntimeCaption", core::DataValue(true));
    set("RuntimeBorder", core::DataValue(true));
    set("RuntimeShowLangDlgAtAll", core::DataValue(true));
    set("RuntimeShowLangDlg", core::DataValue(false));
    set("UseInstaller", core::DataValue(false));
    set("UseInstallerStartMenu", core::DataValue(false));
    set("ApplicationName", core::DataValue("[APP_TITLE]"));
    set("ApplicationID", core::DataValue(applicationId));
    set("WizardVer", core::DataValue("3.5"));
    set("DefaultLanguage", core::DataValue("English"));
    set("TestMode", core::DataValue(false));
    set("PlayIntroSound", core::DataValue(false));
    set("ShowLicense", core::DataValue(false));
    set("License", core::DataValue(""));
    set("ShowRegistration", core::DataValue(false));
    set("Width", core::DataValue(uint32_t(width)));
    set("Height", core::DataValue(uint32_t(height)));

    core::DataGroup& controllers = *root.AddChild("Controllers");
    for (int n = 1; n <= 2; ++n) {
        core::DataGroup c;
        c.SetValue("ID", core::DataValue(ControllerId(n)));
        c.SetValue("Name", core::DataValue("entry " + std::to_string(n)));
        c.SetValue("UseSound", core::DataValue(false));
        if (n == 2) c.SetValue("Selectable", core::DataValue(false));
        controllers.SetValue(std::to_string(n), core::DataValue(c));
    }
    AddLanguage(root, "English", "English", {1, 2});
    return root;
}

}  // namespace testutil
