// A menu window over a project written to a scratch file, with the
// application's registry key removed before and after.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "../core/sample_project.h"
#include "../core/test_util.h"
#include "core/registry.h"
#include "shell/menu_window.h"

namespace testutil {

class MenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        appId_ = "DiscUiTest" + std::to_string(::GetCurrentProcessId());
        registryPath_ = "Software\\Trelvo\\Autorun\\" + appId_;
        ::RegDeleteKeyA(HKEY_CURRENT_USER, registryPath_.c_str());
    }
    void TearDown() override {
        menu_.reset();
        ::RegDeleteKeyA(HKEY_CURRENT_USER, registryPath_.c_str());
    }

    core::DataGroup Project(int width = 200, int height = 120) { return SampleProject(appId_, width, height); }

    // A menu window that has loaded root; null on failure. Without fresh the
    // window of the last call loads it again (Wine takes seconds to take a
    // captioned window down when no window manager runs).
    shell::MenuWindow* Load(const core::DataGroup& root, bool fresh = true) {
        std::string path = folder_.File("project.vgf");
        EXPECT_TRUE(root.Save(path.c_str()));
        if (fresh || !menu_) {
            menu_ = std::make_unique<shell::MenuWindow>();
            EXPECT_TRUE(menu_->Create(nullptr));
        }
        if (!menu_->LoadProjectSettings(path.c_str())) return nullptr;
        return menu_.get();
    }

    void StoreLanguage(const char* language) {
        core::RegistryKey key;
        ASSERT_TRUE(key.Create(registryPath_.c_str(), HKEY_CURRENT_USER));
        key.SetString("CurrentLanguage", language);
    }
    std::string StoredLanguage() {
        core::RegistryKey key;
        if (!key.Open(registryPath_.c_str(), true, HKEY_CURRENT_USER)) return "<no key>";
        return key.IsString("CurrentLanguage") ? key.GetString("CurrentLanguage") : "<no value>";
    }

    std::string appId_, registryPath_;
    TempFolder folder_{"menu"};
    std::unique_ptr<shell::MenuWindow> menu_;
};

}  // namespace testutil
