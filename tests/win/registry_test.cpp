#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "core/registry.h"

using namespace core;

namespace {

// A scratch application id whose two keys are deleted before and after each test.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        id_ = "DiscTest" + std::to_string(GetCurrentProcessId());
        autorunKey_ = "Software\\Trelvo\\Autorun\\" + id_;
        appKey_ = "Software\\Trelvo\\" + id_;
        Wipe();
    }
    void TearDown() override { Wipe(); }
    void Wipe() {
        RegDeleteKeyA(HKEY_CURRENT_USER, autorunKey_.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, appKey_.c_str());
    }
    RegistryKey Make(const std::string& path) {
        RegistryKey key;
        EXPECT_TRUE(key.Create(path.c_str(), HKEY_CURRENT_USER));
        return key;
    }

    std::string id_, autorunKey_, appKey_;
};

}  // namespace

TEST_F(RegistryTest, TypedValues) {
    RegistryKey key = Make(appKey_);
    EXPECT_TRUE(key.SetDword("Number", 0xDEADBEEF));
    EXPECT_TRUE(key.SetString("Text", "value"));
    EXPECT_TRUE(key.IsDword("Number"));
    EXPECT_FALSE(key.IsDword("Text"));
    EXPECT_TRUE(key.IsString("Text"));
    EXPECT_FALSE(key.IsString("Number"));
    EXPECT_EQ(key.GetDword("Number"), 0xDEADBEEFu);
    EXPECT_EQ(key.GetDword("Text"), 0u);
    EXPECT_EQ(key.GetString("Text"), "value");
    EXPECT_EQ(key.GetString("Missing"), "");

    std::string longText(300, 'x');
    EXPECT_TRUE(key.SetString("Long", longText.c_str()));
    EXPECT_EQ(key.GetString("Long"), "");  // too long for the 256-byte area
    std::string fits(255, 'y');
    EXPECT_TRUE(key.SetString("Fits", fits.c_str()));
    EXPECT_EQ(key.GetString("Fits"), fits);

    EXPECT_TRUE(key.DeleteValue("Number"));
    EXPECT_FALSE(key.IsDword("Number"));
    EXPECT_FALSE(key.DeleteValue("Number"));
}

TEST_F(RegistryTest, OneKeyAtATime) {
    Make(appKey_);
    RegistryKey key;
    ASSERT_TRUE(key.Open(appKey_.c_str(), false, HKEY_CURRENT_USER));
    HKEY first = key.Handle();
    EXPECT_FALSE(key.Open(autorunKey_.c_str(), true, HKEY_CURRENT_USER));
    EXPECT_FALSE(key.Create(autorunKey_.c_str(), HKEY_CURRENT_USER));
    EXPECT_EQ(key.Handle(), first);
    key.Close();
    EXPECT_FALSE(key.IsOpen());
    // Without an open key everything answers false, 0 or empty.
    EXPECT_FALSE(key.SetDword("x", 1));
    EXPECT_EQ(key.GetDword("x"), 0u);
    EXPECT_EQ(key.GetString("x"), "");
    EXPECT_FALSE(key.IsString("x"));
    EXPECT_FALSE(key.Open("Software\\Trelvo\\NoSuchKeyAtAll", true, HKEY_CURRENT_USER));
}

TEST_F(RegistryTest, DeleteKeyIfEmpty) {
    std::string sub = appKey_ + "\\Sub";
    Make(sub);
    EXPECT_FALSE(RegistryKey::DeleteKeyIfEmpty(appKey_.c_str(), HKEY_CURRENT_USER));  // has a subkey
    {
        RegistryKey key = Make(sub);
        key.SetDword("v", 1);
    }
    EXPECT_FALSE(RegistryKey::DeleteKeyIfEmpty(sub.c_str(), HKEY_CURRENT_USER));  // has a value
    {
        RegistryKey key;
        ASSERT_TRUE(key.Open(sub.c_str(), false, HKEY_CURRENT_USER));
        key.DeleteValue("v");
    }
    EXPECT_TRUE(RegistryKey::DeleteKeyIfEmpty(sub.c_str(), HKEY_CURRENT_USER));
    EXPECT_TRUE(RegistryKey::DeleteKeyIfEmpty(appKey_.c_str(), HKEY_CURRENT_USER));
    EXPECT_FALSE(RegistryKey::DeleteKeyIfEmpty(appKey_.c_str(), HKEY_CURRENT_USER));  // gone
}

TEST_F(RegistryTest, ApplicationRecordOfAMissingApplication) {
    ApplicationRecord record(id_.c_str());
    EXPECT_FALSE(record.IsInstalled());
    EXPECT_FALSE(record.Loaded);
    EXPECT_EQ(record.GetInstalledFolder(), "");
    EXPECT_EQ(record.InputPairCount, 0u);
}

TEST_F(RegistryTest, ApplicationRecordReadsWhatIsThere) {
    {
        RegistryKey autorun = Make(autorunKey_);
        autorun.SetDword("AppInstalled", 1);
        autorun.SetString("AppName", "Demo");
        autorun.SetString("InstalledFolder", "C:\\Games\\Demo");
        autorun.SetString("CurrentLanguage", "English");
        RegistryKey app = Make(appKey_);
        app.SetString("Video_Device", "{6B29FC40-CA47-1067-B31D-00DD010662DA}");
        app.SetString("Video_Driver", "not a guid");
        app.SetDword("Video_Width", 800);
        app.SetDword("Video_Height", 600);
        app.SetDword("Video_Depth", 32);
        app.SetDword("Video_Windowed", 1);
        // Pairs 1, 2 and 4: reading stops at the gap.
        for (int i : {1, 2, 4}) {
            app.SetDword(("Input_Key" + std::to_string(i)).c_str(), 100 + i);
            app.SetDword(("Input_Device" + std::to_string(i)).c_str(), 200 + i);
        }
        // Three devices, the second without its type.
        app.SetDword("Input_GUIDCount", 3);
        for (int i : {1, 2, 3}) {
            std::string n = std::to_string(i);
            app.SetString(("Input_GUID" + n).c_str(), ("{00000000-0000-0000-0000-00000000000" + n + "}").c_str());
            if (i != 2) app.SetDword(("Input_GUID" + n + "Type").c_str(), 10 * i);
        }
    }
    ApplicationRecord record(id_.c_str());
    EXPECT_TRUE(record.Loaded);
    EXPECT_TRUE(record.IsInstalled());
    EXPECT_EQ(record.AppName, "Demo");
    EXPECT_EQ(record.GetInstalledFolder(), "C:\\Games\\Demo");
    EXPECT_EQ(record.CurrentLanguage, "English");
    EXPECT_EQ(record.VideoDevice.ToString(), "{6B29FC40-CA47-1067-B31D-00DD010662DA}");
    EXPECT_TRUE(record.VideoDriver.IsNull());  // rejected text leaves the default
    EXPECT_EQ(record.VideoWidth, 800u);
    EXPECT_EQ(record.VideoDepth, 32u);
    EXPECT_TRUE(record.VideoWindowed);
    EXPECT_FALSE(record.VideoFSAA);
    ASSERT_EQ(record.InputPairCount, 2u);
    EXPECT_EQ(record.InputKeys[1], 102u);
    EXPECT_EQ(record.InputDevices[1], 202u);
    ASSERT_EQ(record.InputDeviceTypes.size(), 2u);
    EXPECT_EQ(record.InputDeviceTypes[1], 30u);
    EXPECT_EQ(record.InputDeviceGuids[1].Bytes()[15], 3);
}

TEST_F(RegistryTest, InstalledFlagStoredAsTextIsNotInstalled) {
    {
        RegistryKey autorun = Make(autorunKey_);
        autorun.SetString("AppInstalled", "1");
    }
    ApplicationRecord record(id_.c_str());
    EXPECT_FALSE(record.IsInstalled());
}
