#include "core/data_group.h"

#include "core/text.h"

namespace core {

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Splits off the text up to the next separator.
std::string_view NextComponent(std::string_view& rest) {
    size_t at = 0;
    while (at < rest.size() && !IsSeparator(rest[at])) ++at;
    std::string_view part = rest.substr(0, at);
    rest = at < rest.size() ? rest.substr(at + 1) : std::string_view();
    return part;
}

template <typename Map>
auto FirstMatch(Map& map, std::string_view name) -> decltype(map.begin()) {
    for (auto it = map.begin(); it != map.end(); ++it)
        if (EqualsNoCase(it->first, name)) return it;
    return map.end();
}

}  // namespace

DataGroup::DataGroup(const DataGroup& other) { *this = other; }

DataGroup& DataGroup::operator=(const DataGroup& other) {
    if (this == &other) return *this;
    // Copy first: the source may be part of this group's own subtree.
    ChildMap children;
    for (const auto& [key, child] : other.children_) {
        auto copy = std::make_unique<DataGroup>(*child);
        copy->name_ = child->name_;
        copy->parent_ = this;
        children.emplace(key, std::move(copy));
    }
    ValueMap values = other.values_;
    children_ = std::move(children);
    values_ = std::move(values);
    return *this;
}

void DataGroup::Clear() {
    children_.clear();
    values_.clear();
}

DataGroup* DataGroup::FindChild(std::string_view name) const {
    auto it = FirstMatch(children_, name);
    return it == children_.end() ? nullptr : it->second.get();
}

DataGroup* DataGroup::FindGroup(std::string_view path) {
    return const_cast<DataGroup*>(static_cast<const DataGroup*>(this)->FindGroup(path));
}

const DataGroup* DataGroup::FindGroup(std::string_view path) const {
    const DataGroup* group = this;
    std::string_view rest = path;
    do {
        group = group->FindChild(NextComponent(rest));
    } while (group && !rest.empty());
    // A trailing separator leaves one empty component to match.
    if (group && !path.empty() && IsSeparator(path.back())) group = group->FindChild("");
    return group;
}

const DataGroup* DataGroup::WalkToParent(std::string_view path, std::string_view* last) const {
    const DataGroup* group = this;
    std::string_view rest = path;
    for (;;) {
        size_t at = 0;
        while (at < rest.size() && !IsSeparator(rest[at])) ++at;
        if (at == rest.size()) break;
        group = group->FindChild(rest.substr(0, at));
        if (!group) return nullptr;
        rest = rest.substr(at + 1);
    }
    *last = rest;
    return group;
}

const DataValue* DataGroup::FindValue(std::string_view path) const {
    std::string_view name;
    const DataGroup* group = WalkToParent(path, &name);
    if (!group) return nullptr;
    auto it = FirstMatch(group->values_, name);
    return it == group->values_.end() ? nullptr : &it->second;
}

DataValue* DataGroup::FindValue(std::string_view path) {
    return const_cast<DataValue*>(static_cast<const DataGroup*>(this)->FindValue(path));
}

DataValue DataGroup::GetValue(std::string_view path) const {
    const DataValue* v = FindValue(path);
    return v ? *v : DataValue();
}

DataValue DataGroup::GetValue(std::string_view path, const DataValue& fallback) const {
    const DataValue* v = FindValue(path);
    return v ? *v : fallback;
}

DataGroup* DataGroup::AddChild(std::string_view name) {
    auto child = std::make_unique<DataGroup>();
    child->name_ = name;
    child->parent_ = this;
    DataGroup* raw = child.get();
    children_.insert_or_assign(std::string(name), std::move(child));
    return raw;
}

bool DataGroup::SetValue(std::string_view path, const DataValue& value) {
    DataGroup* group = this;
    std::string_view rest = path;
    for (;;) {
        size_t at = 0;
        while (at < rest.size() && !IsSeparator(rest[at])) ++at;
        if (at == rest.size()) break;
        std::string_view part = rest.substr(0, at);
        DataGroup* next = group->FindChild(part);
        group = next ? next : group->AddChild(part);
        rest = rest.substr(at + 1);
    }
    auto it = FirstMatch(group->values_, rest);
    if (it != group->values_.end())
        it->second = value;
    else
        group->values_.emplace(std::string(rest), value);
    return true;
}

void DataGroup::RemoveValue(std::string_view path) {
    std::string_view name;
    auto* group = const_cast<DataGroup*>(WalkToParent(path, &name));
    if (!group) return;
    auto it = FirstMatch(group->values_, name);
    if (it != group->values_.end()) group->values_.erase(it);
}

bool DataGroup::Equals(const DataGroup& other) const {
    if (name_ != other.name_ || children_.size() != other.children_.size() ||
        values_.size() != other.values_.size())
        return false;
    for (auto a = children_.begin(), b = other.children_.begin(); a != children_.end(); ++a, ++b)
        if (a->first != b->first || !a->second->Equals(*b->second)) return false;
    for (auto a = values_.begin(), b = other.values_.begin(); a != values_.end(); ++a, ++b)
        if (a->first != b->first || !a->second.Equals(b->second)) return false;
    return true;
}

}  // namespace core
