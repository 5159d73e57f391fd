// Our DirectX setup library stand-in, loaded as the program loads it: by
// default DirectX 9 and a successful setup; the environment steers both.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "shell/startup.h"

namespace {

class DirectXStandIn : public ::testing::Test {
protected:
    void SetUp() override {
        char path[MAX_PATH] = {};
        ::GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string folder(path);
        folder.resize(folder.find_last_of('\\') + 1);
        module_ = ::LoadLibraryA((folder + shell::kDirectXLibrary).c_str());
        ASSERT_NE(module_, nullptr);
        getVersion_ = reinterpret_cast<shell::DirectXSetupGetVersionFn>(
            reinterpret_cast<void*>(::GetProcAddress(module_, "DirectXSetupGetVersion")));
        setup_ = reinterpret_cast<shell::DirectXSetupAFn>(reinterpret_cast<void*>(::GetProcAddress(module_, "DirectXSetupA")));
        ASSERT_NE(getVersion_, nullptr);
        ASSERT_NE(setup_, nullptr);
    }
    void TearDown() override {
        ::SetEnvironmentVariableA("DISC_DSETUP_VERSION", nullptr);
        ::SetEnvironmentVariableA("DISC_DSETUP_RESULT", nullptr);
        if (module_) ::FreeLibrary(module_);
    }

    HMODULE module_ = nullptr;
    shell::DirectXSetupGetVersionFn getVersion_ = nullptr;
    shell::DirectXSetupAFn setup_ = nullptr;
};

TEST_F(DirectXStandIn, ReportsTheSteeredVersion) {
    static const struct {
        const char* steer;  // null: not steered
        int ok;
        DWORD minor;
    } cases[] = {{nullptr, 1, 9}, {"7", 1, 7}, {"9", 1, 9}, {"fail", 0, 0xdeadbeef}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        ::SetEnvironmentVariableA("DISC_DSETUP_VERSION", cases[i].steer);
        DWORD version = 0xdeadbeef, revision = 0xdeadbeef;
        EXPECT_EQ(getVersion_(&version, &revision) != 0, cases[i].ok != 0) << "case " << i;
        if (cases[i].ok) EXPECT_EQ(version & 0xFFFF, cases[i].minor) << "case " << i;
        else EXPECT_EQ(version, 0xdeadbeefu) << "case " << i;
    }
}

TEST_F(DirectXStandIn, SetupAnswersWithTheSteeredResult) {
    static const struct {
        const char* steer;
        int result;
    } cases[] = {{nullptr, 0}, {"0", 0}, {"1", 1}, {"-3", -3}};
    char folder[] = "D:\\DirectX";
    for (size_t i = 0; i < std::size(cases); ++i) {
        ::SetEnvironmentVariableA("DISC_DSETUP_RESULT", cases[i].steer);
        EXPECT_EQ(setup_(nullptr, folder, 0x00010018), cases[i].result) << "case " << i;
    }
}

}  // namespace
