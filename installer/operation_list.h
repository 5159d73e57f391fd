// Install operations as text lines: "name|field|field...". The project's
// three installer trees flatten into create lines; the executor records the
// delete lines that undo them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/data_group.h"

namespace installer {

// The kinds of installer tree nodes ("item").
enum ItemKind : int32_t {
    kItemFilesRoot = 0,
    kItemFolder = 1,
    kItemFile = 2,
    kItemRegistryRoot = 3,
    kItemRegistryKey = 4,
    kItemRegistryString = 5,
    kItemRegistryDword = 6,
    kItemStartMenuRoot = 7,
    kItemStartMenuFolder = 8,
    kItemShortcut = 9,
};

using OperationList = std::vector<std::string>;

// A node that could not become a line, and why.
struct RejectedNode {
    std::string path;
    std::string reason;
};

// Appends the create lines of the three trees (each a group holding "Install
// Target"; null for none): files, then registry, then Start menu, each walked
// pre-order from the first child of its root. Nodes whose names or data hold
// "|" (which would split the line) and values placed directly under a hive are
// left out and listed in rejected.
void BuildOperationList(const core::DataGroup* files, const core::DataGroup* registry,
                        const core::DataGroup* startMenu, OperationList* list,
                        std::vector<RejectedNode>* rejected = nullptr);

// The same, from the three "Install Target" groups themselves.
void BuildOperationListFromRoots(const core::DataGroup* filesRoot, const core::DataGroup* registryRoot,
                                 const core::DataGroup* startMenuRoot, OperationList* list,
                                 std::vector<RejectedNode>* rejected = nullptr);

// Every "|" ends a field; empty fields are kept; an empty line is one empty field.
std::vector<std::string> SplitLine(std::string_view line);

// Decimal as the install lines write numbers: leading blanks, an optional
// sign, digits up to the first other character; 0 without digits. Saturates.
int64_t ParseDecimal(std::string_view text);

// A message text used as a format with one text argument: the first "%s" takes
// the argument, every other "%" stands as it is. Project texts never reach printf.
std::string FormatWithArgument(std::string_view format, std::string_view argument);

// The uninstall log: "RightAligned" and "ToDo", the undo records front first.
core::DataGroup BuildUninstallLog(const std::vector<std::string>& undo, bool rightAligned);

}  // namespace installer
