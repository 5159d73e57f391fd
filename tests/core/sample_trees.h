// Trees that the format and tool tests share.
#pragma once

#include <string>

#include "core/data_group.h"

namespace testutil {

using namespace core;

// A tree with a value of every code, plus the awkward names and payloads.
inline DataGroup EveryCodeTree() {
    DataGroup root;
    root.SetValue("empty", DataValue());
    root.SetValue("text", DataValue("abc"));
    root.SetValue("emptytext", DataValue(""));
    const uint8_t blob[] = {0, 1, 2, 0xFF};
    root.SetValue("bin", DataValue(BinaryBuffer(blob, sizeof blob)));
    root.SetValue("emptybin", DataValue(BinaryBuffer()));
    const uint64_t numbers[] = {0, 0, 0, 0xFFFFFFFF, 0x80000001, 0xBEEF, 0x1234, 0x7F, 0xFE, 1,
                                0x0123456789ABCDEFULL, 0xCAFEBABE, 0xFFFFFFFFFFFFFFFFULL};
    for (uint32_t code = 3; code <= 12; ++code) {
        DataValue v;
        v.SetNumber(code, numbers[code]);
        root.SetValue("n" + std::to_string(code), v);
    }
    uint8_t rec[16];
    for (int i = 0; i < 16; ++i) rec[i] = uint8_t(0xA0 + i);
    for (uint32_t code : {13u, 14u, 15u}) {
        DataValue v;
        v.SetRecord(code, rec);
        root.SetValue("r" + std::to_string(code), v);
    }
    DataValue::List list{DataValue(true), DataValue("x"), DataValue(DataValue::List{DataValue(7u)})};
    root.SetValue("list", DataValue(list));
    DataGroup inner;
    inner.SetValue("deep/er/value", DataValue(5u));
    root.SetValue("group", DataValue(inner));
    // Groups held in values keep their names (normally empty, but any name
    // is carried), also inside a list.
    DataGroup named;
    named.SetName("Named \xe9");
    named.SetValue("v", DataValue(6u));
    named.AddChild("kid")->SetName("kid");
    root.SetValue("namedgroup", DataValue(named));
    DataGroup other;
    other.SetName("in a list");
    root.SetValue("grouplist", DataValue(DataValue::List{DataValue(other), DataValue(named)}));
    DataValue guid;
    guid.SetGuid(CQmGUID(rec));
    root.SetValue("guid", guid);
    DataValue nullGuid;
    nullGuid.SetGuid(CQmGUID());
    root.SetValue("nullguid", nullGuid);
    DataValue unknown;
    unknown.SetUnknown(200);
    root.Values().emplace("unknown", std::move(unknown));  // a copy would be empty
    // Names that differ only in case, and empty names.
    root.Values().emplace("Case", DataValue("upper"));
    root.Values().emplace("case", DataValue("lower"));
    root.Values().emplace("", DataValue("no name"));
    root.AddChild("Child")->SetValue("v", DataValue(1u));
    root.AddChild("child")->SetValue("v", DataValue(2u));
    root.AddChild("");
    return root;
}


}  // namespace testutil
