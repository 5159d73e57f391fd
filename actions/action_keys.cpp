#include "actions/action_keys.h"

#include <windows.h>

namespace actions {

namespace {

bool IsNumber(uint32_t type) { return type >= core::kVtInt32 && type <= core::kVtNumber64b; }

}  // namespace

std::string RecordKeys::Text(std::string_view key, std::string_view fallback) const {
    const core::DataValue* v = record_.FindValue(key);
    return menu_.TranslateText(v && v->TextObject() ? std::string_view(*v->TextObject()) : fallback);
}

std::string RecordKeys::RawText(std::string_view key) const {
    const core::DataValue* v = record_.FindValue(key);
    return v && v->TextObject() ? *v->TextObject() : std::string();
}

bool RecordKeys::Bool(std::string_view key) const {
    const core::DataValue* v = record_.FindValue(key);
    if (!v) return false;
    if (v->Type() == core::kVtBool) return v->Bool();
    return IsNumber(v->Type()) && v->Number() != 0;
}

int32_t RecordKeys::Int(std::string_view key, int32_t fallback) const {
    const core::DataValue* v = record_.FindValue(key);
    return v && IsNumber(v->Type()) ? int32_t(v->Number()) : fallback;
}

int32_t RecordType(const core::DataGroup& record) {
    const core::DataValue* v = record.FindValue("Type");
    return v && IsNumber(v->Type()) ? int32_t(v->Number()) : -1;
}

}  // namespace actions
