// The tree node: ordered child groups and named values.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "core/binary_buffer.h"
#include "core/data_value.h"

namespace core {

// Why and where a tree record could not be read.
struct TreeReadError {
    uint32_t offset = 0;  // byte offset of the failing read
    std::string reason;
};

// Nesting of groups and lists that the readers accept; deeper records are
// refused rather than recursed into.
inline constexpr uint32_t kMaxTreeDepth = 256;
// Longest group or value name the readers accept (bytes, without the NUL).
inline constexpr uint32_t kMaxTreeName = 1023;

class DataGroup {
public:
    // Ordered by the bytes of the name, so names that differ only in case coexist.
    using ChildMap = std::map<std::string, std::unique_ptr<DataGroup>>;
    using ValueMap = std::map<std::string, DataValue>;

    DataGroup() = default;
    // Deep copy of children and values; the copy has an empty name and no parent.
    DataGroup(const DataGroup& other);
    // Deep copy of the source's children and values; keeps this group's name.
    DataGroup& operator=(const DataGroup& other);

    const std::string& Name() const { return name_; }
    void SetName(std::string_view name) { name_ = name; }
    DataGroup* Parent() const { return parent_; }

    // Lookups: "/" or "\" between components, each matched without case, the
    // first match in map order winning.
    DataGroup* FindGroup(std::string_view path);
    const DataGroup* FindGroup(std::string_view path) const;
    DataValue GetValue(std::string_view path) const;
    DataValue GetValue(std::string_view path, const DataValue& fallback) const;
    // The stored value itself, or null; no copy.
    const DataValue* FindValue(std::string_view path) const;
    DataValue* FindValue(std::string_view path);
    // Creates missing groups on the way; assigns an existing value or inserts one.
    bool SetValue(std::string_view path, const DataValue& value);
    void RemoveValue(std::string_view path);
    void Clear();

    ChildMap& Children() { return children_; }
    const ChildMap& Children() const { return children_; }
    ValueMap& Values() { return values_; }
    const ValueMap& Values() const { return values_; }
    size_t ValueCount() const { return values_.size(); }

    // Inserts (or replaces) a child under exactly this name and returns it.
    DataGroup* AddChild(std::string_view name);

    // Tree format. ReadFrom reads one group record at the buffer's read
    // position: false on a malformed record (error says where and why); a
    // record cut short throws HException.
    bool ReadFrom(BinaryBuffer& buffer, TreeReadError* error = nullptr);
    bool WriteTo(BinaryBuffer& buffer) const;
    // Whole files through the mount table.
    bool Load(const char* path, TreeReadError* error = nullptr);
    bool Save(const char* path) const;

    bool Equals(const DataGroup& other) const;

private:
    friend class TreeReader;
    DataGroup* FindChild(std::string_view name) const;
    // The group that holds the last component of path, and that component.
    const DataGroup* WalkToParent(std::string_view path, std::string_view* last) const;

    std::string name_;
    DataGroup* parent_ = nullptr;
    ChildMap children_;
    ValueMap values_;
};

}  // namespace core
