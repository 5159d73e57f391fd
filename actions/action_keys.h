// Reading the keys of an action or dependency record: texts pass through
// the current language, missing keys take their defaults.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/data_group.h"
#include "shell/menu_window.h"
#include "shell/startup.h"

namespace actions {

class RecordKeys {
public:
    RecordKeys(const shell::MenuWindow& menu, const core::DataGroup& record) : menu_(menu), record_(record) {}

    // Translated; fallback (also translated) when the key is missing or not a text.
    std::string Text(std::string_view key, std::string_view fallback = {}) const;
    // As stored, not translated.
    std::string RawText(std::string_view key) const;
    bool Bool(std::string_view key) const;
    int32_t Int(std::string_view key, int32_t fallback = 0) const;

private:
    const shell::MenuWindow& menu_;
    const core::DataGroup& record_;
};

// The "Type" of a record; a missing one reads as -1, which no table knows.
int32_t RecordType(const core::DataGroup& record);

}  // namespace actions
