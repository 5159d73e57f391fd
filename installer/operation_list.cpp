#include "installer/operation_list.h"

#include <cstdio>

namespace installer {

namespace {

using core::DataGroup;

int32_t Item(const DataGroup& node) {
    const core::DataValue* v = node.FindValue("item");
    return v ? v->Int() : -1;
}

const DataGroup* Data(const DataGroup& node) {
    const core::DataValue* v = node.FindValue("data");
    return v ? v->Group() : nullptr;
}

std::string DataText(const DataGroup* data, const char* key) {
    const core::DataValue* v = data ? data->FindValue(key) : nullptr;
    return v ? std::string(v->Text()) : std::string();
}

class Walker {
public:
    Walker(OperationList* list, std::vector<RejectedNode>* rejected) : list_(list), rejected_(rejected) {}

    void Files(const DataGroup& node, const std::string& path) {
        switch (Item(node)) {
        case kItemFolder: Add(path, {"create_folder", path}); break;
        case kItemFile: Add(path, {"copy_file", CopySource(node), path}); break;
        default: break;
        }
        for (const auto& [name, child] : node.Children()) Files(*child, Join(path, name));
    }

    void Registry(const DataGroup& node, const std::string& hive, const std::string& path) {
        int32_t item = Item(node);
        if (item == kItemRegistryKey) {
            Add(path, {"create_registry_key", hive, path});
        } else if (item == kItemRegistryString || item == kItemRegistryDword) {
            size_t cut = path.rfind('\\');
            if (cut == std::string::npos) {
                Reject(hive + "\\" + path, "a registry value directly under the hive");
            } else {
                std::string key = path.substr(0, cut), name = node.Name();
                const DataGroup* data = Data(node);
                if (item == kItemRegistryString) {
                    Add(path, {"create_registry_string", hive, key, name, DataText(data, "String")});
                } else {
                    const core::DataValue* dword = data ? data->FindValue("DWord") : nullptr;
                    Add(path, {"create_registry_dword", hive, key, name, std::to_string(dword ? dword->Word() : 0)});
                }
            }
        }
        for (const auto& [name, child] : node.Children()) Registry(*child, hive, Join(path, name));
    }

    void StartMenu(const DataGroup& node, const std::string& path) {
        int32_t item = Item(node);
        if (item == kItemStartMenuFolder) {
            Add(path, {"create_startmenu_folder", path});
        } else if (item == kItemShortcut) {
            const DataGroup* data = Data(node);
            const core::DataValue* index = data ? data->FindValue("IconIndex") : nullptr;
            Add(path, {"create_shortcut", path, DataText(data, "Target"), DataText(data, "Params"),
                       DataText(data, "CurrentDir"), DataText(data, "IconName"),
                       std::to_string(index ? index->Int() : 0)});
        }
        for (const auto& [name, child] : node.Children()) StartMenu(*child, Join(path, name));
    }

private:
    static std::string Join(const std::string& path, const std::string& name) {
        return path.empty() ? name : path + "\\" + name;
    }

    // The node path without its first component: the file's name relative to
    // the top folder, which is how the package and the disc name it.
    static std::string CopySource(const DataGroup& node) {
        std::string current = node.Name(), remembered;
        for (const DataGroup* up = node.Parent(); up && Item(*up) != kItemFilesRoot; up = up->Parent()) {
            remembered = current;
            current = up->Name() + "\\" + current;
        }
        return remembered;
    }

    void Add(const std::string& path, std::initializer_list<std::string> fields) {
        std::string line;
        bool first = true;
        for (const std::string& f : fields) {
            if (!first && f.find('|') != std::string::npos) {
                Reject(path, "\"|\" in a name or text would split the install line");
                return;
            }
            if (!first) line += '|';
            line += f;
            first = false;
        }
        list_->push_back(std::move(line));
    }

    void Reject(const std::string& path, const char* reason) {
        if (rejected_) rejected_->push_back({path, reason});
    }

    OperationList* list_;
    std::vector<RejectedNode>* rejected_;
};

// The first child of a group in map order, or null.
const DataGroup* FirstChild(const DataGroup& group) {
    return group.Children().empty() ? nullptr : group.Children().begin()->second.get();
}

}  // namespace

void BuildOperationList(const DataGroup* files, const DataGroup* registry, const DataGroup* startMenu,
                        OperationList* list, std::vector<RejectedNode>* rejected) {
    BuildOperationListFromRoots(files ? files->FindGroup("Install Target") : nullptr,
                                registry ? registry->FindGroup("Install Target") : nullptr,
                                startMenu ? startMenu->FindGroup("Install Target") : nullptr, list, rejected);
}

void BuildOperationListFromRoots(const DataGroup* filesRoot, const DataGroup* registryRoot,
                                 const DataGroup* startMenuRoot, OperationList* list,
                                 std::vector<RejectedNode>* rejected) {
    Walker walker(list, rejected);
    if (filesRoot)
        if (const DataGroup* top = FirstChild(*filesRoot)) walker.Files(*top, top->Name());
    if (registryRoot)
        for (const auto& [hive, node] : registryRoot->Children())
            if (const DataGroup* top = FirstChild(*node)) walker.Registry(*top, node->Name(), top->Name());
    if (startMenuRoot)
        if (const DataGroup* top = FirstChild(*startMenuRoot)) walker.StartMenu(*top, top->Name());
}

std::vector<std::string> SplitLine(std::string_view line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t bar = line.find('|', start);
        if (bar == std::string_view::npos) {
            fields.emplace_back(line.substr(start));
            return fields;
        }
        fields.emplace_back(line.substr(start, bar - start));
        start = bar + 1;
    }
}

int64_t ParseDecimal(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t n = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        if (n < (int64_t(1) << 40)) n = n * 10 + (text[i] - '0');
    return negative ? -n : n;
}

std::string FormatWithArgument(std::string_view format, std::string_view argument) {
    size_t at = format.find("%s");
    if (at == std::string_view::npos) return std::string(format);
    std::string out(format.substr(0, at));
    out += argument;
    out += format.substr(at + 2);
    return out;
}

core::DataGroup BuildUninstallLog(const std::vector<std::string>& undo, bool rightAligned) {
    core::DataGroup log;
    core::DataValue::List todo;
    todo.reserve(undo.size());
    for (const std::string& record : undo) todo.emplace_back(std::string_view(record));
    log.SetValue("ToDo", core::DataValue(std::move(todo)));
    log.SetValue("RightAligned", core::DataValue(rightAligned));
    return log;
}

}  // namespace installer
