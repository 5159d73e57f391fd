#include <gtest/gtest.h>

#include <vector>

#include <windows.h>

#include "automation.h"
#include "installer/admin_rights.h"
#include "menu_test_util.h"

using testutil::MenuTest;

TEST_F(MenuTest, ClientSizeIsWidthByHeight) {
    static const struct {
        bool caption, border;
        int width, height;
        bool hasCaption, hasModalFrame;
    } cases[] = {
        {true, true, 300, 170, true, true},
        {true, false, 123, 77, true, true},  // the border switch counts only without caption
        {false, true, 300, 170, false, true},
        {false, false, 123, 77, false, false},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        core::DataGroup root = Project(cases[i].width, cases[i].height);
        root.SetValue("RuntimeCaption", core::DataValue(cases[i].caption));
        root.SetValue("RuntimeBorder", core::DataValue(cases[i].border));
        shell::MenuWindow* menu = Load(root);
        ASSERT_NE(menu, nullptr) << "case " << i;
        RECT client = {-1, -1, -1, -1};
        ASSERT_TRUE(::GetClientRect(menu->Handle(), &client)) << "case " << i;
        EXPECT_EQ(client.right - client.left, cases[i].width) << "case " << i;
        EXPECT_EQ(client.bottom - client.top, cases[i].height) << "case " << i;
        EXPECT_EQ((menu->GetStyle() & WS_CAPTION) == WS_CAPTION, cases[i].hasCaption) << "case " << i;
        EXPECT_EQ((menu->GetExStyle() & WS_EX_DLGMODALFRAME) != 0, cases[i].hasModalFrame) << "case " << i;
        // Centred on the work area.
        RECT window, area;
        ::GetWindowRect(menu->Handle(), &window);
        ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
        EXPECT_LE(std::abs((window.left - area.left) - (area.right - window.right)), 1) << "case " << i;
    }
}

TEST_F(MenuTest, LanguageDialogDecision) {
    // stored: what the registry holds before loading: null no key, "" a key
    // without the value, "#" the value as a number.
    static const struct {
        bool twoLanguages, atAll, always;
        const char* stored;
        bool show;
        const char* current;
    } cases[] = {
        {false, true, true, "German", true, "English"},  // one language: registry not read
        {false, true, false, nullptr, false, "English"},
        {true, true, false, "German", false, "German"},
        {true, true, false, nullptr, true, "English"},
        {true, true, false, "", true, "English"},
        {true, true, false, "#", true, "English"},
        {true, true, false, "Klingon", true, "English"},  // no longer in the project
        {true, true, false, "german", true, "English"},   // names compare with case
        {true, true, true, "German", true, "German"},
        {true, false, true, nullptr, false, "English"},  // master switch off
        {true, false, true, "Klingon", false, "English"},
        {true, false, false, "German", false, "German"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        ::RegDeleteKeyA(HKEY_CURRENT_USER, registryPath_.c_str());
        if (cases[i].stored) {
            core::RegistryKey key;
            ASSERT_TRUE(key.Create(registryPath_.c_str(), HKEY_CURRENT_USER));
            if (cases[i].stored[0] == '#') key.SetDword("CurrentLanguage", 1);
            else if (cases[i].stored[0]) key.SetString("CurrentLanguage", cases[i].stored);
        }
        core::DataGroup root = Project();
        if (cases[i].twoLanguages) testutil::AddLanguage(root, "German", "Deutsch", {1, 2});
        root.SetValue("RuntimeShowLangDlgAtAll", core::DataValue(cases[i].atAll));
        root.SetValue("RuntimeShowLangDlg", core::DataValue(cases[i].always));
        shell::MenuWindow* menu = Load(root, false);
        ASSERT_NE(menu, nullptr) << "case " << i;
        EXPECT_EQ(menu->ShowLanguageDialog(), cases[i].show) << "case " << i;
        EXPECT_EQ(menu->CurrentLanguage(), cases[i].current) << "case " << i;
    }
}

TEST_F(MenuTest, ObjectsFollowTheirNumbers) {
    core::DataGroup root = Project();
    core::DataGroup* english = root.FindGroup("Objects")->FindValue("English")->Group();
    // Numbers 2 and 10 ("10" sorts first by bytes), the second bound to no controller.
    core::DataGroup first = *english->FindValue("1")->Group();
    core::DataGroup tenth = first;
    tenth.SetValue("XPos", core::DataValue(100u));
    tenth.SetValue("Controller", core::DataValue("{no such controller}"));
    english->RemoveValue("1");
    english->SetValue("10", core::DataValue(tenth));
    shell::MenuWindow* menu = Load(root);
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->Objects().size(), 2u);
    EXPECT_EQ(menu->Objects()[0]->ControlId(), 4701);
    EXPECT_EQ(menu->Objects()[1]->ControlId(), 4709);

    static const struct {
        int id, x, y, width, height;
        bool selectable;
    } cases[] = {
        {4701, 50, 10, 31, 21, false},  // controller 2 is not selectable
        {4709, 100, 10, 30, 20, false},  // no controller
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        shell::MenuObject* object = menu->FindObject(cases[i].id);
        ASSERT_NE(object, nullptr) << "case " << i;
        RECT r;
        ::GetWindowRect(object->Handle(), &r);
        ::MapWindowPoints(nullptr, menu->Handle(), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, cases[i].x) << "case " << i;
        EXPECT_EQ(r.top, cases[i].y) << "case " << i;
        EXPECT_EQ(r.right - r.left, cases[i].width) << "case " << i;
        EXPECT_EQ(r.bottom - r.top, cases[i].height) << "case " << i;
        EXPECT_EQ(menu->IsSelectable(*object), cases[i].selectable) << "case " << i;
        EXPECT_EQ(object->GetStyle() & 0xFFFF000F, 0x5000000Bu) << "case " << i;
    }
    EXPECT_EQ(menu->FindObject(4700), nullptr);
    ASSERT_NE(menu->FindController(testutil::ControllerId(1)), nullptr);
}

TEST_F(MenuTest, DamagedProjectsAreReportedByName) {
    static const struct {
        const char* remove;  // a root value, or a root group
        const char* named;   // what the message must name
    } cases[] = {
        {"ApplicationID", "\"ApplicationID\""},
        {"RuntimeShowLangDlg", "\"RuntimeShowLangDlg\""},
        {"Languages", "\"Languages\""},
        {nullptr, "cannot be read"},  // no project file at all
    };
    menu_ = std::make_unique<shell::MenuWindow>();
    ASSERT_TRUE(menu_->Create(nullptr));
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::string path = folder_.File("damaged.vgf");
        ::DeleteFileA(path.c_str());
        if (cases[i].remove) {
            core::DataGroup root = Project();
            root.RemoveValue(cases[i].remove);
            root.Children().erase(cases[i].remove);
            ASSERT_TRUE(root.Save(path.c_str())) << "case " << i;
        }
        std::string text;
        bool loaded;
        {
            automation::DialogAnswerer answer("Setup", IDOK, [&](HWND box) { text = automation::MessageBoxText(box); });
            loaded = menu_->LoadProjectSettings(path.c_str());
        }
        EXPECT_FALSE(loaded) << "case " << i;
        EXPECT_NE(text.find(cases[i].named), std::string::npos) << "case " << i << ": " << text;
    }
}

// A member of Administrators counts as one also where the token lists the
// group for deny only (as a filtered token does), which CheckTokenMembership
// would answer with no. Wine's user is an administrator.
TEST(AdminRights, MembershipCountsAlsoWhenDenyOnly) {
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    PSID administrators = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                         0, &administrators));
    HANDLE process = nullptr, restricted = nullptr, impersonation = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &process));
    SID_AND_ATTRIBUTES disable = {administrators, 0};
    ASSERT_TRUE(CreateRestrictedToken(process, 0, 1, &disable, 0, nullptr, 0, nullptr, &restricted));
    ASSERT_TRUE(DuplicateToken(restricted, SecurityImpersonation, &impersonation));

    // What the restricted token says of the group: listed, for deny only.
    DWORD attributes = 0xdeadbeef, needed = 0;
    GetTokenInformation(restricted, TokenGroups, nullptr, 0, &needed);
    std::vector<unsigned char> buffer(needed ? needed : 1);
    ASSERT_TRUE(GetTokenInformation(restricted, TokenGroups, buffer.data(), DWORD(buffer.size()), &needed));
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i)
        if (EqualSid(groups->Groups[i].Sid, administrators)) attributes = groups->Groups[i].Attributes;
    BOOL member = 0xdead;
    ASSERT_TRUE(CheckTokenMembership(impersonation, administrators, &member));

    EXPECT_TRUE(installer::TokenListsAdministrators(process));
    if (!(attributes != 0xdeadbeef && (attributes & SE_GROUP_USE_FOR_DENY_ONLY))) {
        ADD_FAILURE() << "the restricted token lists the group with attributes " << std::hex << attributes;
    } else {
        EXPECT_FALSE(member) << "CheckTokenMembership ignores deny-only groups";
        EXPECT_TRUE(installer::TokenListsAdministrators(restricted));
    }
    CloseHandle(impersonation);
    CloseHandle(restricted);
    CloseHandle(process);
    FreeSid(administrators);

    EXPECT_TRUE(installer::ComputeAdminRights());
    shell::MenuWindow menu;  // asks once, when it is made
    EXPECT_TRUE(menu.HasAdminRights());
}
