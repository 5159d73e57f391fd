// The manifest and the version resource of a disc's Setup.exe.
#include "tools/disctool/program_resources.h"

#include <cstdlib>
#include <cstring>

#include "manifest_template.h"
#include "tools/disctool/ansi_text.h"

namespace disctool {

const char* const kExecutionLevels[3] = {"asInvoker", "highestAvailable", "requireAdministrator"};

bool ParseFileVersion(const std::string& text, uint16_t parts[4]) {
    for (int i = 0; i < 4; ++i) parts[i] = 0;
    size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        size_t end = text.find('.', at);
        std::string part = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (part.empty() || part.size() > 5 || part.find_first_not_of("0123456789") != std::string::npos) return false;
        unsigned long n = std::strtoul(part.c_str(), nullptr, 10);
        if (n > 65535) return false;
        parts[i] = uint16_t(n);
        if (end == std::string::npos) return true;
        at = end + 1;
    }
    return false;  // a fifth part
}

namespace {

std::string Setting(const core::DataGroup& tree, const char* key) {
    const core::DataValue* v = tree.FindValue(key);
    return v && v->Text() ? v->Text() : "";
}

// A text that is one text key reads as the default language says it.
std::string Translated(const core::DataGroup& tree, const std::string& text) {
    if (text.size() < 3 || text.front() != '[' || text.back() != ']') return text;
    const core::DataGroup* languages = tree.FindGroup("Languages");
    const core::DataValue* language = languages ? languages->FindValue(Setting(tree, "DefaultLanguage")) : nullptr;
    const core::DataGroup* texts = language ? language->Group() : nullptr;
    const core::DataValue* v = texts ? texts->FindValue(text.substr(1, text.size() - 2)) : nullptr;
    return v && v->Text() ? v->Text() : text;
}

std::string Replaced(std::string text, const std::string& placeholder, const std::string& value) {
    for (size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at + value.size()))
        text.replace(at, placeholder.size(), value);
    return text;
}

// Code page 1252 to UTF-16 code units (every character of it is in the BMP).
std::u16string Utf16(const std::string& ansi) {
    std::string utf8 = AnsiToUtf8(ansi);
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = utf8[i];
        char32_t cp = c;
        int extra = c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (extra) cp = c & (extra == 2 ? 0x0F : 0x1F);
        for (int k = 1; k <= extra && i + k < utf8.size(); ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
        out.push_back(char16_t(cp));
        i += 1 + extra;
    }
    return out;
}

// One block of a version resource: length, value length, type, key, value,
// children, each part starting on a 32-bit boundary of the resource.
class Block {
public:
    Block(const std::u16string& key, uint16_t type) { Put16(0), Put16(0), Put16(type), PutText(key); }
    void Value(const std::vector<uint8_t>& bytes, uint16_t valueLength) {
        Align();
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        Set16(2, valueLength);
    }
    void TextValue(const std::u16string& text) {
        Align();
        size_t start = bytes_.size();
        PutText(text);
        Set16(2, uint16_t((bytes_.size() - start) / 2));  // in characters, with the terminating zero
    }
    void Child(const Block& child) {
        Align();
        std::vector<uint8_t> b = child.Bytes();
        bytes_.insert(bytes_.end(), b.begin(), b.end());
    }
    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> b = bytes_;
        b[0] = uint8_t(b.size()), b[1] = uint8_t(b.size() >> 8);
        return b;
    }

private:
    void Put16(uint16_t v) { bytes_.push_back(uint8_t(v)), bytes_.push_back(uint8_t(v >> 8)); }
    void Set16(size_t at, uint16_t v) { bytes_[at] = uint8_t(v), bytes_[at + 1] = uint8_t(v >> 8); }
    void PutText(const std::u16string& s) {
        for (char16_t c : s) Put16(uint16_t(c));
        Put16(0);
    }
    void Align() {
        while (bytes_.size() % 4) bytes_.push_back(0);
    }
    std::vector<uint8_t> bytes_;
};

void Put32(std::vector<uint8_t>* b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b->push_back(uint8_t(v >> (8 * i)));
}

}  // namespace

ProgramIdentity IdentityOf(const core::DataGroup& tree) {
    ProgramIdentity id;
    id.executionLevel = Setting(tree, "ExecutionLevel");
    if (id.executionLevel.empty()) {
        // An administrator gets one prompt and a full token for the install;
        // a standard user still sees the menu.
        const core::DataValue* installs = tree.FindValue("UseInstaller");
        id.executionLevel = installs && installs->Bool() ? "highestAvailable" : "asInvoker";
    }
    id.productName = Translated(tree, Setting(tree, "ApplicationName"));
    id.publisher = Translated(tree, Setting(tree, "Publisher"));
    id.version = Setting(tree, "Version");
    if (id.version.empty()) id.version = "1.0";
    id.description = Translated(tree, Setting(tree, "Description"));
    if (id.description.empty()) id.description = id.productName;
    id.copyright = Translated(tree, Setting(tree, "Copyright"));
    if (id.copyright.empty() && !id.publisher.empty()) id.copyright = "Copyright (C) " + id.publisher;
    return id;
}

std::string ProgramManifest(const std::string& programName, const std::string& executionLevel) {
    return Replaced(Replaced(kManifestTemplate, "@DISC_PROGRAM_NAME@", programName), "@DISC_EXECUTION_LEVEL@",
                    executionLevel);
}

std::vector<uint8_t> VersionResource(const ProgramIdentity& identity) {
    uint16_t v[4];
    if (!ParseFileVersion(identity.version, v)) v[0] = 1, v[1] = v[2] = v[3] = 0;
    std::vector<uint8_t> fixed;
    Put32(&fixed, 0xFEEF04BD);                 // signature
    Put32(&fixed, 0x00010000);                 // structure version
    Put32(&fixed, uint32_t(v[0]) << 16 | v[1]);  // file version
    Put32(&fixed, uint32_t(v[2]) << 16 | v[3]);
    Put32(&fixed, uint32_t(v[0]) << 16 | v[1]);  // product version
    Put32(&fixed, uint32_t(v[2]) << 16 | v[3]);
    Put32(&fixed, 0x3F);                       // flags mask
    Put32(&fixed, 0);                          // flags
    Put32(&fixed, 0x00040004);                 // VOS_NT_WINDOWS32
    Put32(&fixed, 1);                          // VFT_APP
    Put32(&fixed, 0);                          // subtype
    Put32(&fixed, 0), Put32(&fixed, 0);        // date

    // Language neutral, texts in Unicode (code page 1200).
    Block table(u"000004b0", 1);
    const std::pair<const char16_t*, std::string> strings[] = {
        {u"CompanyName", identity.publisher},        {u"FileDescription", identity.description},
        {u"FileVersion", identity.version},          {u"InternalName", "Setup"},
        {u"LegalCopyright", identity.copyright},     {u"OriginalFilename", "Setup.exe"},
        {u"ProductName", identity.productName},      {u"ProductVersion", identity.version},
    };
    for (const auto& [key, value] : strings) {
        if (value.empty()) continue;
        Block s(key, 1);
        s.TextValue(Utf16(value));
        table.Child(s);
    }
    Block stringInfo(u"StringFileInfo", 1);
    stringInfo.Child(table);
    Block translation(u"Translation", 0);
    std::vector<uint8_t> langCodePage = {0x00, 0x00, 0xB0, 0x04};
    translation.Value(langCodePage, 4);
    Block varInfo(u"VarFileInfo", 1);
    varInfo.Child(translation);

    Block root(u"VS_VERSION_INFO", 0);
    root.Value(fixed, uint16_t(fixed.size()));
    root.Child(stringInfo);
    root.Child(varInfo);
    return root.Bytes();
}

}  // namespace disctool
