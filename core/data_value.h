// The variant value of the data tree.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/binary_buffer.h"
#include "core/guid.h"

namespace core {

class DataGroup;

// Type codes, one byte in files. Codes above kVtGuid carry no payload.
enum ValueType : uint32_t {
    kVtEmpty = 0,
    kVtText = 1,
    kVtBinary = 2,
    kVtInt32 = 3,
    kVtUInt32 = 4,
    kVtNumber16a = 5,
    kVtNumber16b = 6,
    kVtNumber8a = 7,
    kVtNumber8b = 8,
    kVtBool = 9,
    kVtNumber64a = 10,
    kVtNumber32 = 11,
    kVtNumber64b = 12,
    kVtRecord16a = 13,
    kVtRecord8 = 14,
    kVtRecord16b = 15,
    kVtList = 16,
    kVtGroup = 17,
    kVtGuid = 18,
};

// Payload width of the codes held in the inline slot (3 to 12); 0 otherwise.
uint32_t SlotWidth(uint32_t code);
// Size of the owned record of codes 13, 14 and 15; 0 otherwise.
uint32_t RecordWidth(uint32_t code);

class DataValue {
public:
    using List = std::vector<DataValue>;

    DataValue() { slot_ = 0; }
    DataValue(const DataValue& other);
    DataValue(DataValue&& other) noexcept;
    explicit DataValue(const char* text);
    explicit DataValue(std::string_view text);
    explicit DataValue(const std::string& text) : DataValue(std::string_view(text)) {}
    explicit DataValue(uint32_t number);  // code 4
    explicit DataValue(bool flag);        // code 9
    explicit DataValue(const List& list);
    explicit DataValue(const DataGroup& group);  // code 17: a deep copy, name kept
    explicit DataValue(const BinaryBuffer& binary);
    ~DataValue();

    DataValue& operator=(const DataValue& other);
    DataValue& operator=(DataValue&& other) noexcept;

    void Clear();
    uint32_t Type() const { return type_; }
    bool IsEmpty() const { return type_ == kVtEmpty; }

    // Setters release the old payload first.
    void SetText(std::string_view text);
    void SetBinary(const BinaryBuffer& binary);
    void SetInt32(int32_t v) { SetNumber(kVtInt32, uint32_t(v)); }
    void SetUInt32(uint32_t v) { SetNumber(kVtUInt32, v); }
    void SetBool(bool v) { SetNumber(kVtBool, v ? 1 : 0); }
    // Codes 3 to 12: the number's low bytes, as wide as the code's payload.
    void SetNumber(uint32_t code, uint64_t value);
    // Codes 13, 14, 15: RecordWidth(code) bytes.
    void SetRecord(uint32_t code, const uint8_t* bytes);
    void SetList(const List& list);
    void SetList(List&& list);
    // A deep copy of the group, with its name and without a parent.
    void SetGroup(const DataGroup& group);
    void SetGuid(const CQmGUID& guid);
    // A code above 18: the code alone, no payload.
    void SetUnknown(uint32_t code);

    // Accessors never convert: used on another code they give "", 0 or null.
    const char* Text() const;
    const std::string* TextObject() const { return type_ == kVtText ? text_ : nullptr; }
    uint8_t Byte() const;    // codes 7, 8, 9
    uint32_t Word() const;   // codes 3, 4, 11
    int32_t Int() const { return int32_t(Word()); }
    bool Bool() const { return Byte() != 0; }
    uint64_t Number() const;  // any code 3 to 12, zero-extended
    const BinaryBuffer* Binary() const { return type_ == kVtBinary ? binary_ : nullptr; }
    BinaryBuffer* Binary() { return type_ == kVtBinary ? binary_ : nullptr; }
    const List* GetList() const { return type_ == kVtList ? list_ : nullptr; }
    List* GetList() { return type_ == kVtList ? list_ : nullptr; }
    const DataGroup* Group() const { return type_ == kVtGroup ? group_ : nullptr; }
    DataGroup* Group() { return type_ == kVtGroup ? group_ : nullptr; }
    const uint8_t* Record() const { return RecordWidth(type_) ? record_ : nullptr; }
    const CQmGUID* Guid() const { return type_ == kVtGuid ? guid_ : nullptr; }

    // Deep equality of code and payload (binary payloads by content).
    bool Equals(const DataValue& other) const;

    // Tagged value form of the tree format: type byte and payload.
    bool WriteTo(BinaryBuffer& out) const;

private:
    friend class TreeReader;
    void Release();
    void CopyFrom(const DataValue& other);

    uint32_t type_ = kVtEmpty;
    union {
        uint64_t slot_;
        uint8_t bytes_[8];
        std::string* text_;
        BinaryBuffer* binary_;
        uint8_t* record_;
        List* list_;
        DataGroup* group_;
        CQmGUID* guid_;
    };
};

}  // namespace core
