// disctool tree: dump a tree file, and convert it to and from a lossless JSON form.
//
// JSON form: {"name": N, "groups": [GROUP...], "values": [VALUE...]}, where a
// VALUE is {"name": N, "type": CODE, ...payload} and list items are the same
// without a name. Texts and names map each byte to the code point of the same
// number (U+0000..U+00FF), so every byte string survives and ANSI letters read
// naturally. Payloads: text "value"; binary "base64"; numbers "value" (code 3
// signed, the others unsigned; code 9 true/false or, for other bytes, the
// number); records "hex"; list "items"; group "group"; GUID "value" as braced
// text; codes 0 and above 18 carry nothing.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/data_group.h"
#include "core/exceptions.h"
#include "tools/disctool/ansi_text.h"
#include "tools/disctool/commands.h"

using core::BinaryBuffer;
using core::DataGroup;
using core::DataValue;
using nlohmann::ordered_json;

namespace disctool {

namespace {

const char kTreeUsage[] =
    "usage: disctool tree dump FILE\n"
    "       disctool tree to-json FILE [OUT.json]\n"
    "       disctool tree from-json JSON OUT\n"
    "\n"
    "  dump       print the tree as indented text: names, type codes and values\n"
    "             (binaries as their size and the first bytes in hex)\n"
    "  to-json    write the tree as lossless JSON (to standard output by default)\n"
    "  from-json  write the tree file that a JSON form describes\n";

const char* CodeName(uint32_t code) {
    static const char* const names[] = {"empty",   "text",   "binary",   "int32",    "uint32",
                                        "num16",   "num16",  "num8",     "num8",     "bool",
                                        "num64",   "num32",  "num64",    "record16", "record8",
                                        "record16", "list",  "group",    "guid"};
    return code <= 18 ? names[code] : "unknown";
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* why) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *why = std::string("cannot be opened: ") + std::strerror(errno);
        return false;
    }
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (bytes->size() > 0xFFFFFFF0u) {
        *why = "larger than 4 GB";
        return false;
    }
    return true;
}

// Reads a tree file; on failure prints one line naming the file and the byte offset.
bool LoadTree(const std::string& path, DataGroup* tree, std::vector<uint8_t>* bytes) {
    std::string why;
    if (!ReadWholeFile(path, bytes, &why)) {
        Fail("%s: %s", path.c_str(), why.c_str());
        return false;
    }
    BinaryBuffer in(bytes->data(), uint32_t(bytes->size()), true);
    core::TreeReadError error;
    try {
        if (!tree->ReadFrom(in, &error)) {
            Fail("%s: not a valid tree file: %s at byte %u", path.c_str(), error.reason.c_str(), error.offset);
            return false;
        }
    } catch (const core::HException&) {
        Fail("%s: not a valid tree file: record ends early at byte %u (file has %zu bytes)", path.c_str(),
             in.ReadPosition(), bytes->size());
        return false;
    }
    if (in.ReadPosition() != bytes->size())
        std::fprintf(stderr, "disctool: %s: warning: %zu bytes after the tree record are ignored\n", path.c_str(),
                     bytes->size() - in.ReadPosition());
    return true;
}

std::string Hex(const uint8_t* p, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

// ---- dump ----

std::string Quoted(const std::string& bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c >= 0x80) {
            // Shown as the Latin-1 letter, as in the JSON form.
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x20 || c == 0x7F) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02x", c);
            out += esc;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

void DumpGroup(const DataGroup& g, int depth);

void DumpValue(const DataValue& v, int depth, const std::string& label) {
    std::string pad(size_t(depth) * 2, ' ');
    std::printf("%s%s [%u %s]", pad.c_str(), label.c_str(), v.Type(), CodeName(v.Type()));
    switch (v.Type()) {
    case core::kVtText: std::printf(" %s\n", Quoted(*v.TextObject()).c_str()); break;
    case core::kVtBinary: {
        const BinaryBuffer* b = v.Binary();
        size_t shown = b->Size() < 16 ? b->Size() : 16;
        std::printf(" %u bytes%s%s%s\n", b->Size(), shown ? ": " : "", Hex(b->Data(), shown).c_str(),
                    shown < b->Size() ? "..." : "");
        break;
    }
    case core::kVtInt32: std::printf(" %d\n", v.Int()); break;
    case core::kVtBool: std::printf(" %s\n", v.Byte() == 0 ? "false" : v.Byte() == 1 ? "true" : std::to_string(v.Byte()).c_str()); break;
    case core::kVtRecord16a: case core::kVtRecord8: case core::kVtRecord16b:
        std::printf(" %s\n", Hex(v.Record(), core::RecordWidth(v.Type())).c_str());
        break;
    case core::kVtList: {
        std::printf(" %zu items\n", v.GetList()->size());
        size_t i = 0;
        for (const DataValue& item : *v.GetList()) DumpValue(item, depth + 1, "[" + std::to_string(i++) + "]");
        break;
    }
    case core::kVtGroup:
        std::printf("\n");
        DumpGroup(*v.Group(), depth + 1);
        break;
    case core::kVtGuid: std::printf(" %s\n", v.Guid()->ToString().c_str()); break;
    default:
        if (core::SlotWidth(v.Type()))
            std::printf(" %llu\n", static_cast<unsigned long long>(v.Number()));
        else
            std::printf("\n");
        break;
    }
}

void DumpGroup(const DataGroup& g, int depth) {
    std::string pad(size_t(depth) * 2, ' ');
    std::printf("%sgroup %s: %zu groups, %zu values\n", pad.c_str(), Quoted(g.Name()).c_str(), g.Children().size(),
                g.ValueCount());
    for (const auto& [key, child] : g.Children()) DumpGroup(*child, depth + 1);
    for (const auto& [key, value] : g.Values()) DumpValue(value, depth + 1, Quoted(key));
}

// ---- JSON ----

std::string BytesToJsonText(const std::string& bytes) { return BytesToLatin1Utf8(bytes); }

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(const uint8_t* p, size_t n) {
    std::string out;
    out.reserve((n + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < n; i += 3) {
        uint32_t v = (uint32_t(p[i]) << 16) | (uint32_t(p[i + 1]) << 8) | p[i + 2];
        out += kBase64[v >> 18];
        out += kBase64[(v >> 12) & 63];
        out += kBase64[(v >> 6) & 63];
        out += kBase64[v & 63];
    }
    if (i < n) {
        uint32_t v = uint32_t(p[i]) << 16;
        if (i + 1 < n) v |= uint32_t(p[i + 1]) << 8;
        out += kBase64[v >> 18];
        out += kBase64[(v >> 12) & 63];
        out += i + 1 < n ? kBase64[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

ordered_json GroupToJson(const DataGroup& g);

ordered_json ValueToJson(const DataValue& v) {
    ordered_json j;
    j["type"] = v.Type();
    switch (v.Type()) {
    case core::kVtText: j["value"] = BytesToJsonText(*v.TextObject()); break;
    case core::kVtBinary: j["base64"] = Base64(v.Binary()->Data(), v.Binary()->Size()); break;
    case core::kVtInt32: j["value"] = v.Int(); break;
    case core::kVtBool:
        if (v.Byte() <= 1)
            j["value"] = v.Byte() == 1;
        else
            j["value"] = v.Byte();
        break;
    case core::kVtRecord16a: case core::kVtRecord8: case core::kVtRecord16b:
        j["hex"] = Hex(v.Record(), core::RecordWidth(v.Type()));
        break;
    case core::kVtList: {
        ordered_json items = ordered_json::array();
        for (const DataValue& item : *v.GetList()) items.push_back(ValueToJson(item));
        j["items"] = std::move(items);
        break;
    }
    case core::kVtGroup: j["group"] = GroupToJson(*v.Group()); break;
    case core::kVtGuid: j["value"] = v.Guid()->ToString(); break;
    default:
        if (core::SlotWidth(v.Type())) j["value"] = v.Number();
        break;
    }
    return j;
}

ordered_json GroupToJson(const DataGroup& g) {
    ordered_json j;
    j["name"] = BytesToJsonText(g.Name());
    ordered_json groups = ordered_json::array();
    for (const auto& [key, child] : g.Children()) groups.push_back(GroupToJson(*child));
    j["groups"] = std::move(groups);
    ordered_json values = ordered_json::array();
    for (const auto& [key, value] : g.Values()) {
        ordered_json v;
        v["name"] = BytesToJsonText(key);
        v.update(ValueToJson(value));
        values.push_back(std::move(v));
    }
    j["values"] = std::move(values);
    return j;
}

// Errors while reading the JSON form carry the place they refer to.
struct JsonError {
    std::string where, what;
};

[[noreturn]] void Throw(const std::string& where, const std::string& what) { throw JsonError{where, what}; }

std::string JsonTextToBytes(const ordered_json& j, const std::string& where) {
    if (!j.is_string()) Throw(where, "must be a text");
    const std::string& s = j.get_ref<const std::string&>();
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned char c = s[i];
        if (c < 0x80) {
            out += char(c);
        } else if ((c & 0xE0) == 0xC0 && i + 1 < s.size() && c <= 0xC3) {
            out += char(((c & 0x1F) << 6) | (s[i + 1] & 0x3F));
            ++i;
        } else {
            Throw(where, "holds a character above U+00FF (texts are byte strings: one character per byte)");
        }
    }
    return out;
}

std::string Name(const ordered_json& j, const std::string& where) {
    if (!j.contains("name")) Throw(where, "has no \"name\"");
    std::string name = JsonTextToBytes(j["name"], where + ".name");
    if (name.find('\0') != std::string::npos) Throw(where + ".name", "holds a NUL byte");
    if (name.size() > core::kMaxTreeName) Throw(where + ".name", "is longer than 1023 bytes");
    return name;
}

int DecodeBase64Char(char c) {
    const char* p = c ? std::strchr(kBase64, c) : nullptr;
    return p ? int(p - kBase64) : -1;
}

std::vector<uint8_t> FromBase64(const std::string& s, const std::string& where) {
    if (s.size() % 4) Throw(where, "is not base64 (length not a multiple of 4)");
    std::vector<uint8_t> out;
    out.reserve(s.size() / 4 * 3);
    for (size_t i = 0; i < s.size(); i += 4) {
        int v[4];
        for (int k = 0; k < 4; ++k) {
            bool padding = s[i + k] == '=' && i + 4 == s.size() && k >= 2 && (k == 3 || s[i + 3] == '=');
            v[k] = padding ? 0 : DecodeBase64Char(s[i + k]);
            if (v[k] < 0) Throw(where, "is not base64");
        }
        uint32_t word = (uint32_t(v[0]) << 18) | (uint32_t(v[1]) << 12) | (uint32_t(v[2]) << 6) | uint32_t(v[3]);
        out.push_back(uint8_t(word >> 16));
        if (s[i + 2] != '=') out.push_back(uint8_t(word >> 8));
        if (s[i + 3] != '=') out.push_back(uint8_t(word));
    }
    return out;
}

std::vector<uint8_t> FromHex(const ordered_json& j, size_t width, const std::string& where) {
    if (!j.is_string() || j.get_ref<const std::string&>().size() != width * 2)
        Throw(where, "must be " + std::to_string(width * 2) + " hex digits");
    const std::string& s = j.get_ref<const std::string&>();
    std::vector<uint8_t> out(width);
    for (size_t i = 0; i < width; ++i) {
        auto digit = [&](char c) {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            Throw(where, "must be hex digits");
        };
        out[i] = uint8_t(digit(s[2 * i]) * 16 + digit(s[2 * i + 1]));
    }
    return out;
}

void JsonToGroup(const ordered_json& j, DataGroup* g, const std::string& where, int depth);

DataValue JsonToValue(const ordered_json& j, const std::string& where, int depth) {
    if (!j.is_object()) Throw(where, "must be an object");
    if (depth >= int(core::kMaxTreeDepth) - 1) Throw(where, "nests deeper than 256");
    if (!j.contains("type") || !j["type"].is_number_unsigned() || j["type"].get<uint64_t>() > 255)
        Throw(where + ".type", "must be a type code from 0 to 255");
    uint32_t code = j["type"].get<uint32_t>();
    DataValue v;
    auto need = [&](const char* key) -> const ordered_json& {
        if (!j.contains(key)) Throw(where, std::string("has no \"") + key + "\" for type " + std::to_string(code));
        return j[key];
    };
    switch (code) {
    case core::kVtEmpty: break;
    case core::kVtText: v.SetText(JsonTextToBytes(need("value"), where + ".value")); break;
    case core::kVtBinary: {
        const ordered_json& b = need("base64");
        if (!b.is_string()) Throw(where + ".base64", "must be a text");
        std::vector<uint8_t> bytes = FromBase64(b.get_ref<const std::string&>(), where + ".base64");
        v.SetBinary(BinaryBuffer(bytes.data(), uint32_t(bytes.size())));
        break;
    }
    case core::kVtInt32: {
        const ordered_json& n = need("value");
        if (!n.is_number_integer() || n.get<int64_t>() < INT32_MIN || n.get<int64_t>() > INT32_MAX)
            Throw(where + ".value", "must be a signed 32-bit integer");
        v.SetInt32(int32_t(n.get<int64_t>()));
        break;
    }
    case core::kVtBool: {
        const ordered_json& n = need("value");
        if (n.is_boolean())
            v.SetBool(n.get<bool>());
        else if (n.is_number_unsigned() && n.get<uint64_t>() <= 255)
            v.SetNumber(code, n.get<uint64_t>());
        else
            Throw(where + ".value", "must be true, false or a byte value");
        break;
    }
    case core::kVtRecord16a: case core::kVtRecord8: case core::kVtRecord16b:
        v.SetRecord(code, FromHex(need("hex"), core::RecordWidth(code), where + ".hex").data());
        break;
    case core::kVtList: {
        const ordered_json& items = need("items");
        if (!items.is_array()) Throw(where + ".items", "must be an array");
        DataValue::List list;
        list.reserve(items.size());
        for (size_t i = 0; i < items.size(); ++i)
            list.push_back(JsonToValue(items[i], where + ".items[" + std::to_string(i) + "]", depth + 1));
        v.SetList(std::move(list));
        break;
    }
    case core::kVtGroup: {
        DataGroup inner;
        JsonToGroup(need("group"), &inner, where + ".group", depth + 1);
        v.SetGroup(inner);
        v.Group()->SetName(inner.Name());
        break;
    }
    case core::kVtGuid: {
        const ordered_json& t = need("value");
        if (!t.is_string()) Throw(where + ".value", "must be a braced GUID text");
        try {
            v.SetGuid(core::CQmGUID(t.get_ref<const std::string&>()));
        } catch (const core::CQmException&) {
            Throw(where + ".value", "is not a braced GUID text");
        }
        break;
    }
    default:
        if (uint32_t width = core::SlotWidth(code)) {
            const ordered_json& n = need("value");
            uint64_t limit = width == 8 ? UINT64_MAX : (uint64_t(1) << (8 * width)) - 1;
            if (!n.is_number_unsigned() || n.get<uint64_t>() > limit)
                Throw(where + ".value", "must be an unsigned " + std::to_string(8 * width) + "-bit integer");
            v.SetNumber(code, n.get<uint64_t>());
        } else {
            v.SetUnknown(code);
        }
        break;
    }
    return v;
}

void JsonToGroup(const ordered_json& j, DataGroup* g, const std::string& where, int depth) {
    if (!j.is_object()) Throw(where, "must be an object");
    if (depth >= int(core::kMaxTreeDepth) - 1) Throw(where, "nests deeper than 256");
    g->SetName(Name(j, where));
    if (j.contains("groups")) {
        const ordered_json& groups = j["groups"];
        if (!groups.is_array()) Throw(where + ".groups", "must be an array");
        for (size_t i = 0; i < groups.size(); ++i) {
            std::string at = where + ".groups[" + std::to_string(i) + "]";
            std::string name = Name(groups[i], at);
            JsonToGroup(groups[i], g->AddChild(name), at, depth + 1);
        }
    }
    if (j.contains("values")) {
        const ordered_json& values = j["values"];
        if (!values.is_array()) Throw(where + ".values", "must be an array");
        for (size_t i = 0; i < values.size(); ++i) {
            std::string at = where + ".values[" + std::to_string(i) + "]";
            std::string name = Name(values[i], at);
            g->Values().insert_or_assign(name, JsonToValue(values[i], at, depth));
        }
    }
}

bool WriteFileAtomically(const std::string& path, const BinaryBuffer& bytes) {
    std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(reinterpret_cast<const char*>(bytes.Data()), bytes.Size());
        if (!out.flush()) {
            out.close();
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

int TreeDump(const std::string& path) {
    DataGroup tree;
    std::vector<uint8_t> bytes;
    if (!LoadTree(path, &tree, &bytes)) return 1;
    DumpGroup(tree, 0);
    return 0;
}

int TreeToJson(const std::string& path, const char* outPath) {
    DataGroup tree;
    std::vector<uint8_t> bytes;
    if (!LoadTree(path, &tree, &bytes)) return 1;
    BinaryBuffer again;
    tree.WriteTo(again);
    if (again.Size() > bytes.size() || std::memcmp(again.Data(), bytes.data(), again.Size()) != 0)
        std::fprintf(stderr,
                     "disctool: %s: warning: the file is not in the order the writer uses (or repeats a name); "
                     "the JSON shows the tree as the runtime reads it\n",
                     path.c_str());
    std::string text = GroupToJson(tree).dump(1, '\t') + "\n";
    if (!outPath) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    BinaryBuffer out(text.data(), uint32_t(text.size()));
    if (!WriteFileAtomically(outPath, out)) return Fail("%s: cannot be written", outPath);
    return 0;
}

int TreeFromJson(const std::string& jsonPath, const std::string& outPath) {
    std::vector<uint8_t> bytes;
    std::string why;
    if (!ReadWholeFile(jsonPath, &bytes, &why)) return Fail("%s: %s", jsonPath.c_str(), why.c_str());
    ordered_json j = ordered_json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (j.is_discarded()) return Fail("%s: not valid JSON", jsonPath.c_str());
    DataGroup tree;
    try {
        JsonToGroup(j, &tree, "$", 0);
    } catch (const JsonError& e) {
        return Fail("%s: %s %s", jsonPath.c_str(), e.where.c_str(), e.what.c_str());
    }
    BinaryBuffer out;
    if (!tree.WriteTo(out)) return Fail("%s: the tree does not fit in 4 GB", outPath.c_str());
    if (!WriteFileAtomically(outPath, out)) return Fail("%s: cannot be written", outPath.c_str());
    return 0;
}

}  // namespace

int RunTree(int argc, char** argv) {
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        std::fputs(kTreeUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    std::string sub = argv[1];
    for (int i = 2; i < argc; ++i)
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kTreeUsage, stdout);
            return 0;
        }
    if (sub == "dump" && argc == 3) return TreeDump(argv[2]);
    if (sub == "to-json" && (argc == 3 || argc == 4)) return TreeToJson(argv[2], argc == 4 ? argv[3] : nullptr);
    if (sub == "from-json" && argc == 4) return TreeFromJson(argv[2], argv[3]);
    std::fputs(kTreeUsage, stderr);
    return 2;
}

}  // namespace disctool
