#include "core/data_value.h"

#include <cstring>

#include "core/data_group.h"

namespace core {

uint32_t SlotWidth(uint32_t code) {
    switch (code) {
    case kVtInt32: case kVtUInt32: case kVtNumber32: return 4;
    case kVtNumber16a: case kVtNumber16b: return 2;
    case kVtNumber8a: case kVtNumber8b: case kVtBool: return 1;
    case kVtNumber64a: case kVtNumber64b: return 8;
    default: return 0;
    }
}

uint32_t RecordWidth(uint32_t code) {
    switch (code) {
    case kVtRecord16a: case kVtRecord16b: return 16;
    case kVtRecord8: return 8;
    default: return 0;
    }
}

DataValue::DataValue(const DataValue& other) : slot_(0) { CopyFrom(other); }

DataValue::DataValue(DataValue&& other) noexcept : type_(other.type_), slot_(other.slot_) {
    other.type_ = kVtEmpty;
    other.slot_ = 0;
}

DataValue::DataValue(const char* text) : slot_(0) { SetText(text ? text : ""); }
DataValue::DataValue(std::string_view text) : slot_(0) { SetText(text); }
DataValue::DataValue(uint32_t number) : slot_(0) { SetUInt32(number); }
DataValue::DataValue(bool flag) : slot_(0) { SetBool(flag); }
DataValue::DataValue(const List& list) : slot_(0) { SetList(list); }
DataValue::DataValue(const DataGroup& group) : slot_(0) { SetGroup(group); }
DataValue::DataValue(const BinaryBuffer& binary) : slot_(0) { SetBinary(binary); }

DataValue::~DataValue() { Release(); }

DataValue& DataValue::operator=(const DataValue& other) {
    if (this == &other) return *this;
    // Copy first: the source may live inside this value's own payload.
    DataValue copy(other);
    *this = std::move(copy);
    return *this;
}

DataValue& DataValue::operator=(DataValue&& other) noexcept {
    if (this == &other) return *this;
    Release();
    type_ = other.type_;
    slot_ = other.slot_;
    other.type_ = kVtEmpty;
    other.slot_ = 0;
    return *this;
}

void DataValue::Release() {
    switch (type_) {
    case kVtText: delete text_; break;
    case kVtBinary: delete binary_; break;
    case kVtRecord16a: case kVtRecord8: case kVtRecord16b: delete[] record_; break;
    case kVtList: delete list_; break;
    case kVtGroup: delete group_; break;
    case kVtGuid: delete guid_; break;
    default: break;
    }
    type_ = kVtEmpty;
    slot_ = 0;
}

void DataValue::Clear() { Release(); }

void DataValue::CopyFrom(const DataValue& other) {
    switch (other.type_) {
    case kVtText: SetText(*other.text_); break;
    case kVtBinary: SetBinary(*other.binary_); break;
    case kVtRecord16a: case kVtRecord8: case kVtRecord16b: SetRecord(other.type_, other.record_); break;
    case kVtList: SetList(*other.list_); break;
    case kVtGroup: SetGroup(*other.group_); break;
    case kVtGuid: SetGuid(*other.guid_); break;
    default:
        if (SlotWidth(other.type_)) {
            Release();
            type_ = other.type_;
            slot_ = other.slot_;
        } else {
            // Empty, and codes outside 1..18, copy as an empty value.
            Release();
        }
        break;
    }
}

void DataValue::SetText(std::string_view text) {
    auto* t = new std::string(text);
    Release();
    text_ = t;
    type_ = kVtText;
}

void DataValue::SetBinary(const BinaryBuffer& binary) {
    auto* b = new BinaryBuffer(binary);
    Release();
    binary_ = b;
    type_ = kVtBinary;
}

void DataValue::SetNumber(uint32_t code, uint64_t value) {
    uint32_t width = SlotWidth(code);
    if (!width) return;
    Release();
    type_ = code;
    for (uint32_t i = 0; i < width; ++i) bytes_[i] = uint8_t(value >> (8 * i));
}

void DataValue::SetRecord(uint32_t code, const uint8_t* bytes) {
    uint32_t width = RecordWidth(code);
    if (!width) return;
    auto* r = new uint8_t[width];
    if (bytes)
        std::memcpy(r, bytes, width);
    else
        std::memset(r, 0, width);
    Release();
    record_ = r;
    type_ = code;
}

void DataValue::SetList(const List& list) { SetList(List(list)); }

void DataValue::SetList(List&& list) {
    auto* l = new List(std::move(list));
    Release();
    list_ = l;
    type_ = kVtList;
}

void DataValue::SetGroup(const DataGroup& group) {
    // A deep copy that keeps the group's name (a copy-constructed group has
    // none): a copied value, and the record written from it, are the same.
    auto* g = new DataGroup(group);
    g->SetName(group.Name());
    Release();
    group_ = g;
    type_ = kVtGroup;
}

void DataValue::SetGuid(const CQmGUID& guid) {
    auto* g = new CQmGUID(guid);
    Release();
    guid_ = g;
    type_ = kVtGuid;
}

void DataValue::SetUnknown(uint32_t code) {
    if (code <= kVtGuid) return;
    Release();
    type_ = code;
}

const char* DataValue::Text() const { return type_ == kVtText ? text_->c_str() : ""; }

uint8_t DataValue::Byte() const {
    return (type_ == kVtNumber8a || type_ == kVtNumber8b || type_ == kVtBool) ? bytes_[0] : 0;
}

uint32_t DataValue::Word() const {
    if (type_ != kVtInt32 && type_ != kVtUInt32 && type_ != kVtNumber32) return 0;
    return uint32_t(bytes_[0]) | (uint32_t(bytes_[1]) << 8) | (uint32_t(bytes_[2]) << 16) |
           (uint32_t(bytes_[3]) << 24);
}

uint64_t DataValue::Number() const {
    uint32_t width = SlotWidth(type_);
    uint64_t v = 0;
    for (uint32_t i = 0; i < width; ++i) v |= uint64_t(bytes_[i]) << (8 * i);
    return v;
}

bool DataValue::Equals(const DataValue& other) const {
    if (type_ != other.type_) return false;
    switch (type_) {
    case kVtText: return *text_ == *other.text_;
    case kVtBinary:
        return binary_->Size() == other.binary_->Size() &&
               (binary_->Size() == 0 || std::memcmp(binary_->Data(), other.binary_->Data(), binary_->Size()) == 0);
    case kVtRecord16a: case kVtRecord8: case kVtRecord16b:
        return std::memcmp(record_, other.record_, RecordWidth(type_)) == 0;
    case kVtList:
        if (list_->size() != other.list_->size()) return false;
        for (size_t i = 0; i < list_->size(); ++i)
            if (!(*list_)[i].Equals((*other.list_)[i])) return false;
        return true;
    case kVtGroup: return group_->Equals(*other.group_);
    case kVtGuid: return *guid_ == *other.guid_;
    default: return Number() == other.Number();
    }
}

}  // namespace core
