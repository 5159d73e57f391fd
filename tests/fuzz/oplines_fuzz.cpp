// Property: the install operation lines never crash, overrun or hang on any
// input, and keep their shape:
// - a line split at "|" and joined again with "|" gives the line back, and it
//   has one field more than it has bars;
// - every line built from installer trees splits into its operation's field
//   count, so no name or text can add or shift a field;
// - ParseDecimal reads back what it printed (below its saturation);
// - FormatWithArgument reads only its two inputs and replaces only the first
//   "%s", leaving every other "%" as it is;
// - the uninstall log holds the undo records in order and survives the tree
//   format.
// Input: flag byte, text up to the first NUL (its first line feed separates a
// format from its argument), then up to three tree records (files, registry,
// Start menu installer trees).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/data_group.h"
#include "core/exceptions.h"
#include "installer/operation_list.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

// A copy in a block of exactly its size, so that a read past it is caught.
class ExactCopy {
public:
    explicit ExactCopy(std::string_view text) : bytes_(new char[text.size() ? text.size() : 1]), size_(text.size()) {
        if (size_) std::memcpy(bytes_.get(), text.data(), size_);
    }
    std::string_view View() const { return {bytes_.get(), size_}; }

private:
    std::unique_ptr<char[]> bytes_;
    size_t size_;
};

std::string Join(const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i) line += '|';
        line += fields[i];
    }
    return line;
}

void CheckSplit(std::string_view line) {
    ExactCopy copy(line);
    std::vector<std::string> fields = installer::SplitLine(copy.View());
    size_t bars = 0;
    for (char c : line) bars += c == '|';
    Check(fields.size() == bars + 1);
    for (const std::string& f : fields) Check(f.find('|') == std::string::npos);
    Check(Join(fields) == line);
}

void CheckDecimal(std::string_view text) {
    ExactCopy copy(text);
    int64_t n = installer::ParseDecimal(copy.View());
    const int64_t limit = int64_t(1) << 40;
    Check(n > -limit * 10 && n < limit * 10);
    // Without a digit after the blanks and the sign, the number is 0.
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i == text.size() || text[i] < '0' || text[i] > '9') Check(n == 0);
    if (n > -limit && n < limit) Check(installer::ParseDecimal(std::to_string(n)) == n);
}

void CheckFormat(std::string_view format, std::string_view argument) {
    ExactCopy f(format), a(argument);
    std::string out = installer::FormatWithArgument(f.View(), a.View());
    size_t at = format.find("%s");
    if (at == std::string_view::npos) {
        Check(out == format);
        return;
    }
    // Only the first "%s" takes the argument; whatever follows, other "%s"
    // and "%" included, is copied as it stands.
    Check(out.size() == format.size() - 2 + argument.size());
    Check(std::string_view(out).substr(0, at) == format.substr(0, at));
    Check(std::string_view(out).substr(at, argument.size()) == argument);
    Check(std::string_view(out).substr(at + argument.size()) == format.substr(at + 2));
}

// Fields of each create line: the operation and what it needs.
size_t FieldCount(const std::string& operation) {
    static const struct {
        const char* name;
        size_t fields;
    } kShapes[] = {
        {"create_folder", 2},          {"copy_file", 3},
        {"create_registry_key", 3},    {"create_registry_string", 5},
        {"create_registry_dword", 5},  {"create_startmenu_folder", 2},
        {"create_shortcut", 7},
    };
    for (const auto& s : kShapes)
        if (operation == s.name) return s.fields;
    return 0;
}

void CheckBuiltLines(const installer::OperationList& list,
                     const std::vector<installer::RejectedNode>& rejected) {
    for (const std::string& line : list) {
        CheckSplit(line);
        std::vector<std::string> fields = installer::SplitLine(line);
        size_t expected = FieldCount(fields[0]);
        Check(expected != 0 && fields.size() == expected);
    }
    for (const installer::RejectedNode& r : rejected) Check(!r.reason.empty());
}

void CheckLog(const std::vector<std::string>& undo, bool rightAligned) {
    core::DataGroup log = installer::BuildUninstallLog(undo, rightAligned);
    auto checkContent = [&](const core::DataGroup& g) {
        const core::DataValue* todo = g.FindValue("ToDo");
        const core::DataValue* right = g.FindValue("RightAligned");
        Check(todo && todo->GetList() && right && right->Type() == core::kVtBool);
        Check(right->Bool() == rightAligned);
        const core::DataValue::List& records = *todo->GetList();
        Check(records.size() == undo.size());
        for (size_t i = 0; i < undo.size(); ++i)
            Check(records[i].TextObject() && *records[i].TextObject() == undo[i]);
    };
    checkContent(log);
    core::BinaryBuffer out;
    Check(log.WriteTo(out));
    core::DataGroup again;
    try {
        Check(again.ReadFrom(out) && again.Equals(log));
    } catch (const core::HException&) {
        std::abort();
    }
    checkContent(again);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 0xFFFFFFFFu) return 0;
    const uint8_t flags = data[0];
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    size_t nul = rest.find('\0');
    std::string_view text = rest.substr(0, nul);
    std::string_view trees = nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);

    // The text: as one line, and each of its lines on its own.
    CheckSplit(text);
    CheckDecimal(text);
    std::vector<std::string> undo;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        CheckSplit(line);
        CheckDecimal(line);
        for (const std::string& field : installer::SplitLine(line)) CheckDecimal(field);
        undo.emplace_back(line);
        start = end + 1;
    }
    size_t feed = text.find('\n');
    if (feed == std::string_view::npos)
        CheckFormat(text, "argument");
    else
        CheckFormat(text.substr(0, feed), text.substr(feed + 1));

    // The trees: up to three records, one after the other.
    core::DataGroup groups[3];
    const core::DataGroup* read[3] = {nullptr, nullptr, nullptr};
    core::BinaryBuffer in(trees.data(), uint32_t(trees.size()), true);
    for (int i = 0; i < 3 && in.ReadPosition() < in.Size(); ++i) {
        bool ok = false;
        try {
            ok = groups[i].ReadFrom(in);
        } catch (const core::HException&) {
            ok = false;
        }
        if (!ok) break;
        read[i] = &groups[i];
    }

    // The trees as the project holds them (each a group holding "Install
    // Target"), and as their roots.
    installer::OperationList list, fromRoots;
    std::vector<installer::RejectedNode> rejected, rejectedFromRoots;
    installer::BuildOperationList(read[0], read[1], read[2], &list, &rejected);
    installer::BuildOperationList(read[0], read[1], read[2], &list);  // without a rejection list
    CheckBuiltLines(list, rejected);
    installer::BuildOperationListFromRoots(read[0], read[1], read[2], &fromRoots, &rejectedFromRoots);
    CheckBuiltLines(fromRoots, rejectedFromRoots);

    // The built lines become undo records the way the executor keeps them.
    for (const std::string& line : list) undo.push_back(line);
    CheckLog(undo, flags & 1);
    return 0;
}
