#include <gtest/gtest.h>

#include "core/data_group.h"
#include "installer/operation_list.h"

using namespace installer;
using core::DataGroup;
using core::DataValue;

namespace {

// Builds installer trees by path: Node("Install Target/[TargetFolder]/Data", kItemFolder).
class Tree {
public:
    DataGroup* Node(const std::string& path, int32_t item) {
        DataGroup* g = &root_;
        size_t start = 0;
        for (;;) {
            size_t slash = path.find('/', start);
            std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
            DataGroup* next = nullptr;
            for (auto& [name, child] : g->Children())
                if (name == part) next = child.get();
            g = next ? next : g->AddChild(part);
            if (slash == std::string::npos) break;
            start = slash + 1;
        }
        DataValue v;
        v.SetInt32(item);
        g->SetValue("item", v);
        g->SetValue("flags", DataValue(0u));
        return g;
    }
    void Data(DataGroup* node, const std::string& key, const DataValue& value) {
        DataGroup data;
        if (const DataValue* old = node->FindValue("data")) data = *old->Group();
        data.SetValue(key, value);
        node->SetValue("data", DataValue(data));
    }
    const DataGroup* Root() const { return &root_; }

private:
    DataGroup root_;
};

DataValue Int(int32_t n) {
    DataValue v;
    v.SetInt32(n);
    return v;
}

}  // namespace

TEST(OperationList, TheThreeExamples) {
    Tree files, registry, menu;
    files.Node("Install Target", kItemFilesRoot);
    files.Node("Install Target/[TargetFolder]", kItemFolder);
    files.Node("Install Target/[TargetFolder]/Data", kItemFolder);
    files.Node("Install Target/[TargetFolder]/Data/Intro.dat", kItemFile);
    files.Node("Install Target/[TargetFolder]/Game.exe", kItemFile);
    files.Node("Install Target/zzz not installed", kItemFolder);  // sorts after "["

    registry.Node("Install Target", kItemRegistryRoot);
    registry.Node("Install Target/HKEY_LOCAL_MACHINE", kItemRegistryKey);
    registry.Node("Install Target/HKEY_LOCAL_MACHINE/Software", kItemRegistryKey);
    registry.Node("Install Target/HKEY_LOCAL_MACHINE/Software/[ApplicationID]", kItemRegistryKey);
    registry.Data(registry.Node("Install Target/HKEY_LOCAL_MACHINE/Software/[ApplicationID]/AppInstalled",
                                kItemRegistryDword),
                  "DWord", DataValue(1u));
    registry.Node("Install Target/HKEY_LOCAL_MACHINE/System", kItemRegistryKey);  // second child: ignored
    registry.Node("Install Target/HKEY_CURRENT_USER", kItemRegistryKey);         // no children: nothing

    menu.Node("Install Target", kItemStartMenuRoot);
    menu.Node("Install Target/[StartMenu]", kItemStartMenuFolder);
    DataGroup* link = menu.Node("Install Target/[StartMenu]/[GAME_TITLE]", kItemShortcut);
    menu.Data(link, "Target", DataValue("[TargetFolder]\\Game.exe"));
    menu.Data(link, "Params", DataValue(""));
    menu.Data(link, "CurrentDir", DataValue("[TargetFolder]"));
    menu.Data(link, "IconName", DataValue("[TargetFolder]\\Game.exe"));
    menu.Data(link, "IconIndex", Int(0));

    OperationList list;
    BuildOperationList(files.Root(), registry.Root(), menu.Root(), &list);
    const OperationList expected = {
        "create_folder|[TargetFolder]",
        "create_folder|[TargetFolder]\\Data",
        "copy_file|Data\\Intro.dat|[TargetFolder]\\Data\\Intro.dat",
        "copy_file|Game.exe|[TargetFolder]\\Game.exe",
        "create_registry_key|HKEY_LOCAL_MACHINE|Software",
        "create_registry_key|HKEY_LOCAL_MACHINE|Software\\[ApplicationID]",
        "create_registry_dword|HKEY_LOCAL_MACHINE|Software\\[ApplicationID]|AppInstalled|1",
        "create_startmenu_folder|[StartMenu]",
        "create_shortcut|[StartMenu]\\[GAME_TITLE]|[TargetFolder]\\Game.exe||[TargetFolder]|[TargetFolder]\\Game.exe|0",
    };
    EXPECT_EQ(list, expected);
}

TEST(OperationList, EdgeCases) {
    // A file directly under the root; byte order puts "Zeta" before "alpha";
    // a shortcut inside the files tree adds nothing, but its children are walked.
    Tree files;
    files.Node("Install Target", kItemFilesRoot);
    files.Node("Install Target/Readme.txt", kItemFile);
    Tree folders;
    folders.Node("Install Target", kItemFilesRoot);
    folders.Node("Install Target/[TargetFolder]", kItemFolder);
    folders.Node("Install Target/[TargetFolder]/alpha", kItemFolder);
    folders.Node("Install Target/[TargetFolder]/Zeta", kItemFolder);
    folders.Node("Install Target/[TargetFolder]/Odd", kItemShortcut);
    folders.Node("Install Target/[TargetFolder]/Odd/inner.bin", kItemFile);
    Tree bad;
    bad.Node("Install Target/HKEY_CURRENT_USER", kItemRegistryKey);
    bad.Node("Install Target/HKEY_CURRENT_USER/Direct", kItemRegistryString);
    Tree pipes;
    pipes.Node("Install Target/HKEY_CURRENT_USER", kItemRegistryKey);
    pipes.Node("Install Target/HKEY_CURRENT_USER/Soft", kItemRegistryKey);
    pipes.Data(pipes.Node("Install Target/HKEY_CURRENT_USER/Soft/v", kItemRegistryString), "String",
               DataValue("a|b"));
    pipes.Node("Install Target/HKEY_CURRENT_USER/Soft/ok", kItemRegistryString);

    OperationList list;
    BuildOperationList(files.Root(), nullptr, nullptr, &list);
    EXPECT_EQ(list, OperationList{"copy_file||Readme.txt"});

    list.clear();
    BuildOperationList(folders.Root(), nullptr, nullptr, &list);
    EXPECT_EQ(list, (OperationList{"create_folder|[TargetFolder]",
                                   "copy_file|Odd\\inner.bin|[TargetFolder]\\Odd\\inner.bin",
                                   "create_folder|[TargetFolder]\\Zeta", "create_folder|[TargetFolder]\\alpha"}));

    list.clear();
    std::vector<RejectedNode> rejected;
    BuildOperationList(nullptr, bad.Root(), nullptr, &list, &rejected);
    EXPECT_TRUE(list.empty());
    ASSERT_EQ(rejected.size(), 1u);
    EXPECT_EQ(rejected[0].path, "HKEY_CURRENT_USER\\Direct");

    list.clear();
    rejected.clear();
    BuildOperationList(nullptr, pipes.Root(), nullptr, &list, &rejected);
    EXPECT_EQ(list, (OperationList{"create_registry_key|HKEY_CURRENT_USER|Soft",
                                   "create_registry_string|HKEY_CURRENT_USER|Soft|ok|"}));
    ASSERT_EQ(rejected.size(), 1u);
    EXPECT_EQ(rejected[0].path, "Soft\\v");

    // Trees without "Install Target" give nothing.
    DataGroup empty;
    list.clear();
    BuildOperationList(&empty, &empty, &empty, &list);
    EXPECT_TRUE(list.empty());
}

TEST(OperationList, SplitParseAndFormat) {
    EXPECT_EQ(SplitLine("a|b||c|"), (std::vector<std::string>{"a", "b", "", "c", ""}));
    EXPECT_EQ(SplitLine(""), std::vector<std::string>{""});
    EXPECT_EQ(SplitLine("create_folder"), std::vector<std::string>{"create_folder"});

    EXPECT_EQ(ParseDecimal("  -12x"), -12);
    EXPECT_EQ(ParseDecimal("+7"), 7);
    EXPECT_EQ(ParseDecimal("x1"), 0);
    EXPECT_EQ(ParseDecimal("4294967295"), 4294967295LL);

    EXPECT_EQ(FormatWithArgument("Cannot create %s.", "C:\\a"), "Cannot create C:\\a.");
    EXPECT_EQ(FormatWithArgument("100% sure: %s %s %d %n", "x"), "100% sure: x %s %d %n");
    EXPECT_EQ(FormatWithArgument("no argument", "x"), "no argument");
}

TEST(OperationList, UninstallLogBytes) {
    DataGroup log = BuildUninstallLog({"delete_file|C:\\a"}, true);
    core::BinaryBuffer out;
    ASSERT_TRUE(log.WriteTo(out));
    std::vector<uint8_t> expected = {0x67, 0x5F, 0, 0, 0, 0, 0, 2, 0, 0, 0};
    for (uint8_t b : std::string("v_RightAligned")) expected.push_back(b);
    expected.insert(expected.end(), {0, 9, 1});
    for (uint8_t b : std::string("v_ToDo")) expected.push_back(b);
    expected.insert(expected.end(), {0, 0x10, 1, 0, 0, 0, 1, 11, 0, 0, 0});
    for (uint8_t b : std::string("delete_file|C:\\a")) expected.push_back(b);
    expected[expected.size() - 16 - 4] = 16;  // the record's length
    EXPECT_EQ(std::vector<uint8_t>(out.Data(), out.Data() + out.Size()), expected);
}
