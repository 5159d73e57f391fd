#include <gtest/gtest.h>

#include <windows.h>

#include "automation.h"
#include "menu_test_util.h"
#include "shell/language_dialog.h"

using testutil::MenuTest;

namespace {

std::vector<uint8_t> ImageOf(const core::DataGroup& object, const char* name) {
    const core::BinaryBuffer* b = object.FindValue(name)->Binary();
    return std::vector<uint8_t>(b->Data(), b->Data() + b->Size());
}

}  // namespace

TEST_F(MenuTest, ApplyLanguage) {
    core::DataGroup root = Project();
    testutil::AddLanguage(root, "German", "Deutsch", {1, 2}, 0x80);
    // German's first object is wider; its position must not follow.
    core::DataGroup* german = root.FindGroup("Objects")->FindValue("German")->Group();
    german->FindValue("1")->Group()->SetValue("Width", core::DataValue(44u));
    german->FindValue("1")->Group()->SetValue("XPos", core::DataValue(150u));
    StoreLanguage("English");
    shell::MenuWindow* menu = Load(root);
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->CurrentLanguage(), "English");

    ASSERT_TRUE(menu->ApplyLanguage("German"));
    EXPECT_EQ(menu->CurrentLanguage(), "German");
    EXPECT_EQ(StoredLanguage(), "German");
    EXPECT_EQ(menu->GetText(), "German title");
    EXPECT_EQ(menu->CurrentBackground(), &menu->GetProject().backgrounds.at("German"));
    shell::MenuObject* object = menu->FindObject(4700);
    ASSERT_NE(object, nullptr);
    RECT r;
    ::GetWindowRect(object->Handle(), &r);
    ::MapWindowPoints(nullptr, menu->Handle(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.right - r.left, 44);
    core::DataGroup& loaded = *menu->GetProject().objects.at("German").FindValue("1")->Group();
    std::vector<uint8_t> first = ImageOf(loaded, "Image1");
    EXPECT_EQ(object->Image(0), first);
    EXPECT_EQ(object->Image(3), ImageOf(loaded, "Image4"));
    ASSERT_EQ(menu->ImageCache().count("German:0:0"), 1u);
    EXPECT_EQ(menu->ImageCache().at("German:0:0"), first);
    EXPECT_EQ(menu->ImageCache().count("German:1:3"), 1u);

    // The second time the pictures come from the cache, not from the project.
    loaded.SetValue("Image1", core::DataValue(testutil::Pixels(44, 20, 0x01)));
    ASSERT_TRUE(menu->ApplyLanguage("English"));
    ASSERT_TRUE(menu->ApplyLanguage("German"));
    EXPECT_EQ(object->Image(0), first);

    // A language without objects changes nothing.
    EXPECT_FALSE(menu->ApplyLanguage("Klingon"));
    EXPECT_EQ(menu->CurrentLanguage(), "German");
    EXPECT_EQ(StoredLanguage(), "German");
    EXPECT_EQ(menu->GetText(), "German title");
}

TEST_F(MenuTest, ApplyLanguageInTestModeNamesTheLanguage) {
    core::DataGroup root = Project();
    root.SetValue("TestMode", core::DataValue(true));
    shell::MenuWindow* menu = Load(root);
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(menu->ApplyLanguage("English"));
    EXPECT_EQ(menu->GetText(), "English title   (Language is \"English\")");
}

namespace {

// Three languages: one of them without a display name.
core::DataGroup ThreeLanguages(core::DataGroup root) {
    testutil::AddLanguage(root, "German", "Deutsch", {1});
    testutil::AddLanguage(root, "Nameless", "", {1});
    return root;
}

}  // namespace

TEST_F(MenuTest, LanguageDialogListsAndRetitles) {
    shell::MenuWindow* menu = Load(ThreeLanguages(Project()));
    ASSERT_NE(menu, nullptr);
    shell::LanguageDialog dialog(*menu, "German");
    ASSERT_TRUE(dialog.Create(menu->Handle()));
    ui::ListBox list(dialog.GetItem(shell::LanguageDialog::kListId));

    static const struct {
        const char* line;
        const char* language;
    } lines[] = {{"<unknown language>", "Nameless"}, {"Deutsch", "German"}, {"English", "English"}};
    ASSERT_EQ(list.GetCount(), int(std::size(lines)));
    for (int i = 0; i < int(std::size(lines)); ++i) {
        EXPECT_EQ(list.GetItemText(i), lines[i].line) << "line " << i;
        auto* name = reinterpret_cast<const std::string*>(list.GetItemData(i));
        ASSERT_NE(name, nullptr) << "line " << i;
        EXPECT_EQ(*name, lines[i].language) << "line " << i;
    }
    EXPECT_EQ(list.GetCurSel(), 1);
    // The picture comes from the program's own resources.
    HWND picture = ::GetWindow(dialog.Handle(), GW_CHILD);
    while (picture && (::GetWindowLongPtrA(picture, GWL_STYLE) & SS_TYPEMASK) != SS_BITMAP)
        picture = ::GetWindow(picture, GW_HWNDNEXT);
    ASSERT_NE(picture, nullptr);
    EXPECT_NE(::SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);

    // Every selection speaks its own language; the menu's stays.
    static const struct {
        int line;
        const char* caption;
        const char* prompt;
        const char* ok;
    } selections[] = {
        {1, "German title", "German prompt", "German OK"},
        {2, "English title", "English prompt", "English OK"},
        {0, "Nameless title", "Nameless prompt", "Nameless OK"},
    };
    for (size_t i = 0; i < std::size(selections); ++i) {
        if (i > 0) automation::SelectListItem(dialog.Handle(), shell::LanguageDialog::kListId, selections[i].line);
        EXPECT_EQ(dialog.GetText(), selections[i].caption) << "selection " << i;
        EXPECT_EQ(automation::WindowText(dialog.GetItem(shell::LanguageDialog::kPromptId)), selections[i].prompt)
            << "selection " << i;
        EXPECT_EQ(automation::WindowText(dialog.GetItem(IDOK)), selections[i].ok) << "selection " << i;
        EXPECT_EQ(dialog.Selected(), lines[selections[i].line].language) << "selection " << i;
    }
    EXPECT_EQ(menu->CurrentLanguage(), "English");
    dialog.End(IDCANCEL);
    EXPECT_FALSE(::IsWindow(dialog.Handle()));

    // A preselected language that is not in the project selects nothing.
    shell::LanguageDialog none(*menu, "Klingon");
    ASSERT_TRUE(none.Create(menu->Handle()));
    EXPECT_EQ(ui::ListBox(none.GetItem(shell::LanguageDialog::kListId)).GetCurSel(), LB_ERR);
}

TEST_F(MenuTest, LanguageDialogEndsWithTheButtonPressed) {
    shell::MenuWindow* menu = Load(ThreeLanguages(Project()));
    ASSERT_NE(menu, nullptr);
    static const struct {
        int button;
        INT_PTR result;
    } cases[] = {{IDCANCEL, IDCANCEL}, {automation::kCloseBox, IDCANCEL}, {IDOK, IDOK}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        shell::LanguageDialog dialog(*menu, "German");
        INT_PTR result = 0xdead;
        {
            automation::DialogAnswerer answer("German title", cases[i].button, [](HWND dialog) {
                automation::SelectListItem(dialog, shell::LanguageDialog::kListId, 2);  // English
            });
            result = dialog.Run();
            EXPECT_TRUE(answer.Answered()) << "case " << i;
        }
        EXPECT_EQ(result, cases[i].result) << "case " << i;
        EXPECT_EQ(dialog.Selected(), "English") << "case " << i;
    }
}

TEST_F(MenuTest, MessagesSpeakTheCurrentLanguage) {
    shell::MenuWindow* menu = Load(Project());
    ASSERT_NE(menu, nullptr);
    std::string text;
    {
        automation::DialogAnswerer answer("English title", IDOK,
                                          [&](HWND box) { text = automation::MessageBoxText(box); });
        EXPECT_EQ(menu->ShowMessage("[AUTORUN_LANGUAGE_SELECT]|[MISSING]", "[APP_TITLE]", MB_OK), IDOK);
    }
    EXPECT_EQ(text, "English prompt\n[MISSING]");
}
