// The tree file format: one group record, values tagged with their type code.
#include <cstring>
#include <memory>

#include "core/data_group.h"
#include "core/exceptions.h"
#include "core/mount_table.h"

namespace core {

namespace {
constexpr uint16_t kGroupMark = 0x5F67;  // "g_"
constexpr uint16_t kValueMark = 0x5F76;  // "v_"
}  // namespace

// Reads records from a buffer. Truncation throws HException from the buffer;
// every other fault returns false and records where it happened.
class TreeReader {
public:
    TreeReader(BinaryBuffer& in, TreeReadError* error) : in_(in), error_(error) {}

    bool ReadGroup(DataGroup& group, uint32_t depth) {
        uint32_t at = in_.ReadPosition();
        if (in_.ReadU16() != kGroupMark) return Fail(at, "group mark is not \"g_\"");
        if (!ReadName(group.name_)) return false;
        uint32_t childCount = in_.ReadU32();
        for (uint32_t i = 0; i < childCount; ++i) {
            auto child = std::make_unique<DataGroup>();
            child->parent_ = &group;
            if (!Enter(depth)) return false;
            if (!ReadGroup(*child, depth + 1)) return false;
            std::string key = child->name_;
            // A later child of exactly the same name replaces the earlier one.
            group.children_.insert_or_assign(std::move(key), std::move(child));
        }
        uint32_t valueCount = in_.ReadU32();
        std::string name;
        for (uint32_t i = 0; i < valueCount; ++i) {
            at = in_.ReadPosition();
            if (in_.ReadU16() != kValueMark) return Fail(at, "value mark is not \"v_\"");
            if (!ReadName(name)) return false;
            DataValue value;
            if (!ReadValue(value, depth)) return false;
            group.values_.insert_or_assign(name, std::move(value));
        }
        return true;
    }

    bool ReadValue(DataValue& value, uint32_t depth) {
        value.Clear();
        uint32_t code = in_.ReadU8();
        switch (code) {
        case kVtEmpty: return true;
        case kVtText: {
            uint32_t length = in_.ReadU32();
            const uint8_t* bytes = in_.ReadSpan(length);
            value.SetText(std::string_view(reinterpret_cast<const char*>(bytes), length));
            return true;
        }
        case kVtBinary: {
            uint32_t length = in_.ReadU32();
            const uint8_t* bytes = in_.ReadSpan(length);
            value.SetBinary(BinaryBuffer(bytes, length));
            return true;
        }
        case kVtRecord16a: case kVtRecord8: case kVtRecord16b:
            value.SetRecord(code, in_.ReadSpan(RecordWidth(code)));
            return true;
        case kVtList: {
            uint32_t count = in_.ReadU32();
            if (!Enter(depth)) return false;
            DataValue::List list;
            // Every element takes at least its type byte: an absurd count runs
            // out of bytes instead of reserving gigabytes.
            if (count <= in_.Remaining()) list.reserve(count);
            for (uint32_t i = 0; i < count; ++i) {
                DataValue element;
                bool ok = ReadValue(element, depth + 1);
                list.push_back(std::move(element));
                if (!ok) {
                    value.SetList(std::move(list));
                    return false;
                }
            }
            value.SetList(std::move(list));
            return true;
        }
        case kVtGroup: {
            if (!Enter(depth)) return false;
            // Read straight into the value's own group, so that it keeps the
            // record's name (and nothing is copied level by level).
            value.SetGroup(DataGroup());
            DataGroup& inner = *value.Group();
            // The inner group's own result is not examined, as the format has
            // always done; only faults that stop reading (truncation, depth) end it.
            std::string earlier = error_ ? error_->reason : std::string();
            bool ok = ReadGroup(inner, depth + 1);
            if (ok || stop_) return ok;
            if (error_) error_->reason = earlier;
            return true;
        }
        case kVtGuid:
            value.SetGuid(CQmGUID(in_.ReadSpan(16)));
            return true;
        default:
            if (uint32_t width = SlotWidth(code)) {
                const uint8_t* p = in_.ReadSpan(width);
                uint64_t v = 0;
                for (uint32_t i = 0; i < width; ++i) v |= uint64_t(p[i]) << (8 * i);
                value.SetNumber(code, v);
            } else {
                value.SetUnknown(code);  // no payload: reading goes on with the next byte
            }
            return true;
        }
    }

private:
    bool ReadName(std::string& name) {
        uint32_t at = in_.ReadPosition();
        uint32_t left = in_.Remaining();
        uint32_t scan = left < kMaxTreeName + 1 ? left : kMaxTreeName + 1;
        const uint8_t* start = in_.Data() + at;
        const void* nul = scan ? std::memchr(start, 0, scan) : nullptr;
        if (!nul) {
            if (scan == left) throw HException(kBufferOverrunMessage);
            return Fail(at, "name longer than 1023 bytes");
        }
        uint32_t n = uint32_t(static_cast<const uint8_t*>(nul) - start);
        name.assign(reinterpret_cast<const char*>(start), n);
        in_.SetReadPosition(at + n + 1);
        return true;
    }

    bool Enter(uint32_t depth) {
        if (depth + 1 < kMaxTreeDepth) return true;
        stop_ = true;
        return Fail(in_.ReadPosition(), "groups and lists nested deeper than 256");
    }

    bool Fail(uint32_t offset, const char* reason) {
        if (error_ && error_->reason.empty()) {
            error_->offset = offset;
            error_->reason = reason;
        }
        return false;
    }

    BinaryBuffer& in_;
    TreeReadError* error_;
    bool stop_ = false;
};

bool DataValue::WriteTo(BinaryBuffer& out) const {
    bool ok = out.AppendU8(uint8_t(type_ > 0xFF ? 0xFF : type_));
    switch (type_) {
    case kVtText:
        ok = ok && out.AppendU32(uint32_t(text_->size())) && out.AppendBytes(text_->data(), uint32_t(text_->size()));
        break;
    case kVtBinary:
        ok = ok && out.AppendU32(binary_->Size()) && out.AppendBytes(binary_->Data(), binary_->Size());
        break;
    case kVtRecord16a: case kVtRecord8: case kVtRecord16b:
        ok = ok && out.AppendBytes(record_, RecordWidth(type_));
        break;
    case kVtList:
        ok = ok && out.AppendU32(uint32_t(list_->size()));
        for (const DataValue& element : *list_) ok = ok && element.WriteTo(out);
        break;
    case kVtGroup: ok = ok && group_->WriteTo(out); break;
    case kVtGuid: ok = ok && out.AppendBytes(guid_->Bytes(), 16); break;
    default:
        if (uint32_t width = SlotWidth(type_)) ok = ok && out.AppendBytes(bytes_, width);
        break;
    }
    return ok;
}

bool DataGroup::WriteTo(BinaryBuffer& out) const {
    bool ok = out.AppendU16(kGroupMark) && out.AppendString(name_) && out.AppendU32(uint32_t(children_.size()));
    for (const auto& [key, child] : children_) ok = ok && child->WriteTo(out);
    ok = ok && out.AppendU32(uint32_t(values_.size()));
    for (const auto& [key, value] : values_)
        ok = ok && out.AppendU16(kValueMark) && out.AppendString(key) && value.WriteTo(out);
    return ok;
}

bool DataGroup::ReadFrom(BinaryBuffer& buffer, TreeReadError* error) {
    TreeReader reader(buffer, error);
    return reader.ReadGroup(*this, 0);
}

bool DataGroup::Load(const char* path, TreeReadError* error) {
    Clear();
    BinaryBuffer buffer;
    if (!buffer.LoadFromFile(path)) {
        if (error) error->reason = "cannot be opened";
        return false;
    }
    try {
        return ReadFrom(buffer, error);
    } catch (const HException&) {
        if (error && error->reason.empty()) {
            error->offset = buffer.ReadPosition();
            error->reason = "record ends early";
        }
        return false;
    }
}

bool DataGroup::Save(const char* path) const {
    BinaryBuffer buffer;
    if (!WriteTo(buffer)) return false;
    // A short write or failed close is false and leaves no partial file.
    return buffer.SaveToFile(path);
}

}  // namespace core
