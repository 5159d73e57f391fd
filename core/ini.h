// Configuration files: groups in braces, entries with a value and key=value
// attributes, text macros expanded before each line is read, inclusion of
// other files as groups; in text or compiled (enciphered) form.
//
// A reference to an undefined macro vanishes, except one whose name begins
// with "$": those are the core's own tokens ("[$CurrentDir]" and
// "[$$$DEFAULT$$$]" of the mount paths), which stay for the mount table.
// Reading ends at the end of the file and at any read that does not move
// the stream (a read error), so a damaged file still ends.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/stream.h"

namespace core {

class IniEntry {
public:
    IniEntry(std::string name, std::string value) : name_(std::move(name)), value_(std::move(value)) {}

    const std::string& Name() const { return name_; }
    const std::string& Value() const { return value_; }
    void SetValue(std::string value) { value_ = std::move(value); }
    // The first attribute of that key (without case), or an empty text.
    std::string GetAttribute(std::string_view key) const;
    void SetAttribute(std::string_view key, std::string_view value);
    const std::vector<std::pair<std::string, std::string>>& Attributes() const { return attributes_; }

private:
    std::string name_;
    std::string value_;
    std::vector<std::pair<std::string, std::string>> attributes_;
};

// Fixed areas of the reader: longer lines and tokens are cut to this many bytes.
inline constexpr size_t kIniLineLimit = 2047;
// Macro passes over one line; a macro that refers to itself stops here.
inline constexpr int kIniMacroPasses = 64;
// Files included through "Group ... from" nested deeper than this are not read.
inline constexpr int kIniIncludeDepth = 16;

class IniGroup {
public:
    IniGroup() = default;
    explicit IniGroup(std::string name, IniGroup* parent = nullptr) : name_(std::move(name)), parent_(parent) {}
    IniGroup(const IniGroup&) = delete;
    IniGroup& operator=(const IniGroup&) = delete;
    virtual ~IniGroup() = default;

    // Clears the group and reads the file into it, through the mount table
    // unless a stream is given. False when the file cannot be opened.
    bool Parse(const char* fileName, Stream* stream = nullptr);
    void Clear();

    const std::string& Name() const { return name_; }
    IniGroup* Parent() const { return parent_; }

    IniGroup* FindGroup(std::string_view path);
    IniGroup* GetOrCreateGroup(std::string_view name);
    bool HasEntry(std::string_view path);
    std::string GetEntryString(std::string_view path);
    int32_t GetEntryInt(std::string_view path);
    IniEntry* FindEntry(std::string_view path);
    IniEntry* SetEntry(std::string_view path, std::string_view value);
    size_t EntryCount() const { return entries_.size(); }
    IniEntry* EntryAt(size_t index) { return index < entries_.size() ? entries_[index].get() : nullptr; }

    const std::vector<std::unique_ptr<IniEntry>>& Entries() const { return entries_; }
    const std::vector<std::pair<std::string, std::string>>& Macros() const { return macros_; }
    const std::vector<std::unique_ptr<IniGroup>>& Children() const { return children_; }

private:
    friend class IniParser;
    IniGroup* FindChild(std::string_view name);
    // Whether entry belongs to this group or to a group below it.
    bool Holds(const IniEntry* entry) const;
    // The group that holds the last component of path (creating groups when
    // asked), and that component.
    IniGroup* Walk(std::string_view path, bool create, std::string_view* last);
    bool ParseAt(const char* fileName, Stream* stream, int depth);

    std::string name_;
    IniGroup* parent_ = nullptr;
    std::vector<std::unique_ptr<IniEntry>> entries_;
    std::vector<std::pair<std::string, std::string>> macros_;
    std::vector<std::unique_ptr<IniGroup>> children_;
};

// The root of a configuration file.
class IniFile : public IniGroup {};

// The four bytes that mark a compiled file.
inline constexpr uint8_t kIniCompiledMark[4] = {0x01, 0x43, 0x46, 0x01};

// The deciphering state of compiled files, derived from the built-in key text.
struct IniCipher {
    uint8_t key[16];
    uint8_t s, u;
    static const IniCipher& Get();
    void Decipher(uint8_t* bytes, size_t n) const;
    void Encipher(uint8_t* bytes, size_t n) const;
};

// The compiled form of a text file's bytes; false (with a reason naming the
// line) when a line cannot be carried: "~" escapes are dropped by the
// compiled reader, and lines longer than the reader's area would be cut.
bool CompileIni(std::string_view text, std::vector<uint8_t>* out, std::string* error);

// One token of a line, as the reader sees it (exposed for the compiler and tests).
struct IniToken {
    std::string text;
    size_t begin = 0, end = 0;  // source bytes the token came from
    bool quoted = false;
};
bool NextIniToken(std::string_view line, size_t* position, IniToken* token);

}  // namespace core
