#include "core/ini.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "core/mount_table.h"
#include "core/text.h"

namespace core {

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

const char kMacroKeyword[] = "Macro";
const char kGroupKeyword[] = "Group";
const char kCompiledMacro[] = "\x02";
const char kCompiledGroup[] = "\x01";

}  // namespace

// ---- entries and groups ----

std::string IniEntry::GetAttribute(std::string_view key) const {
    for (const auto& [k, v] : attributes_)
        if (EqualsNoCase(k, key)) return v;
    return std::string();
}

void IniEntry::SetAttribute(std::string_view key, std::string_view value) {
    for (auto& [k, v] : attributes_)
        if (EqualsNoCase(k, key)) {
            v = value;
            return;
        }
    attributes_.emplace_back(std::string(key), std::string(value));
}

void IniGroup::Clear() {
    entries_.clear();
    macros_.clear();
    children_.clear();
}

bool IniGroup::Holds(const IniEntry* entry) const {
    for (const auto& e : entries_)
        if (e.get() == entry) return true;
    for (const auto& child : children_)
        if (child->Holds(entry)) return true;
    return false;
}

IniGroup* IniGroup::FindChild(std::string_view name) {
    for (auto& child : children_)
        if (EqualsNoCase(child->name_, name)) return child.get();
    return nullptr;
}

IniGroup* IniGroup::GetOrCreateGroup(std::string_view name) {
    if (IniGroup* found = FindGroup(name)) return found;
    children_.push_back(std::make_unique<IniGroup>(std::string(name), this));
    return children_.back().get();
}

IniGroup* IniGroup::Walk(std::string_view path, bool create, std::string_view* last) {
    IniGroup* group = this;
    for (;;) {
        size_t at = 0;
        while (at < path.size() && !IsSeparator(path[at])) ++at;
        if (at == path.size()) break;
        std::string_view part = path.substr(0, at);
        IniGroup* next = group->FindChild(part);
        if (!next) {
            if (!create) return nullptr;
            group->children_.push_back(std::make_unique<IniGroup>(std::string(part), group));
            next = group->children_.back().get();
        }
        group = next;
        path = path.substr(at + 1);
    }
    *last = path;
    return group;
}

IniGroup* IniGroup::FindGroup(std::string_view path) {
    std::string_view last;
    IniGroup* holder = Walk(path, false, &last);
    return holder ? holder->FindChild(last) : nullptr;
}

IniEntry* IniGroup::FindEntry(std::string_view path) {
    std::string_view last;
    IniGroup* holder = Walk(path, false, &last);
    if (!holder) return nullptr;
    for (auto& entry : holder->entries_)
        if (EqualsNoCase(entry->Name(), last)) return entry.get();
    return nullptr;
}

bool IniGroup::HasEntry(std::string_view path) { return FindEntry(path) != nullptr; }

std::string IniGroup::GetEntryString(std::string_view path) {
    IniEntry* entry = FindEntry(path);
    return entry ? entry->Value() : std::string();
}

int32_t IniGroup::GetEntryInt(std::string_view path) {
    IniEntry* entry = FindEntry(path);
    if (!entry) return 0;
    const std::string& v = entry->Value();
    size_t i = 0;
    while (i < v.size() && (v[i] == ' ' || v[i] == '\t')) ++i;
    bool negative = false;
    if (i < v.size() && (v[i] == '+' || v[i] == '-')) negative = v[i++] == '-';
    int64_t n = 0;
    for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) {
        n = n * 10 + (v[i] - '0');
        if (n > int64_t(INT_MAX) + 1) n = int64_t(INT_MAX) + 1;  // saturate rather than wrap
    }
    if (negative) n = -n;
    if (n > INT_MAX) n = INT_MAX;
    return int32_t(n);
}

IniEntry* IniGroup::SetEntry(std::string_view path, std::string_view value) {
    std::string_view last;
    IniGroup* holder = Walk(path, true, &last);
    for (auto& entry : holder->entries_)
        if (EqualsNoCase(entry->Name(), last)) {
            entry->SetValue(std::string(value));
            return entry.get();
        }
    holder->entries_.push_back(std::make_unique<IniEntry>(std::string(last), std::string(value)));
    return holder->entries_.back().get();
}

// ---- tokens ----

bool NextIniToken(std::string_view line, size_t* position, IniToken* token) {
    size_t i = *position;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == ',' || line[i] == '(' || line[i] == ')'))
        ++i;
    if (i >= line.size()) {
        *position = i;
        return false;
    }
    token->text.clear();
    token->begin = i;
    token->quoted = line[i] == '"';
    auto append = [token](char c) {
        if (token->text.size() < kIniLineLimit) token->text += c;
    };
    if (token->quoted) {
        ++i;
        while (i < line.size() && line[i] != '"') {
            if (line[i] == '~' && i + 1 < line.size()) {
                char n = line[i + 1];
                append(n == 'r' ? '\r' : n == 'n' ? '\n' : n);
                i += 2;
            } else if (line[i] == '~') {
                ++i;
            } else {
                append(line[i++]);
            }
        }
        if (i < line.size()) ++i;  // the closing quote
    } else if (line[i] == '=') {
        token->text.assign(1, '=');
        ++i;
    } else {
        while (i < line.size()) {
            char c = line[i];
            if (c == ' ' || c == '\t' || c == ',' || c == ')') {
                token->end = i;
                *position = i + 1;
                return true;
            }
            if (c == '=') break;
            if (c == '~' && i + 1 < line.size()) {
                char n = line[i + 1];
                append(n == 'r' ? '\r' : n == 'n' ? '\n' : n);
                i += 2;
            } else if (c == '~') {
                ++i;
            } else {
                append(c);
                ++i;
            }
        }
    }
    token->end = i;
    *position = i;
    return true;
}

// ---- cipher ----

namespace {

// The key text of compiled files: only files compiled with the same text read back.
constexpr char kIniKeyText[] = "Trelvo/Autorun configuration v1.0!!";
static_assert(sizeof kIniKeyText - 1 == 35, "the key text is 35 bytes");

}  // namespace

const IniCipher& IniCipher::Get() {
    static const IniCipher cipher = [] {
        IniCipher c{};
        const auto* T = reinterpret_cast<const uint8_t*>(kIniKeyText);
        const uint32_t L = 35;
        uint8_t s = uint8_t(L), u = uint8_t(L);
        for (uint32_t i = 0; i < 16; ++i) {
            uint8_t b = uint8_t(T[i % L] ^ uint8_t(i + 17));
            c.key[i] = b;
            s = uint8_t(s + b);
            uint8_t t = uint8_t(u ^ (b ^ s));
            s = uint8_t(s ^ t);
            u = t;
            c.key[i] = uint8_t(c.key[i] + s - u);
        }
        uint32_t acc = uint32_t(u) + s;
        for (uint32_t j = 0; j < 16; ++j)
            for (uint32_t k = 0; k < L; ++k) {
                uint8_t x = uint8_t(((uint8_t((j ^ T[k]) - j) + k) ^ (k + j) ^ acc));
                uint32_t m = (j + k) % 16;
                c.key[m] = uint8_t(uint8_t(c.key[m] + x) ^ x);
                acc = (acc + c.key[m]) ^ j;
            }
        c.s = s;
        c.u = u;
        return c;
    }();
    return cipher;
}

void IniCipher::Decipher(uint8_t* bytes, size_t n) const {
    uint16_t a = 0;
    for (size_t i = 0; i < n; ++i) {
        a = uint16_t(a + key[a % 16]);
        uint8_t c = uint8_t(i);
        uint8_t p = uint8_t(uint8_t(uint8_t(a) - u) + bytes[i]) ^ c;
        p = uint8_t(p - c);
        uint8_t q = uint8_t((uint8_t(c + key[n % 16]) ^ uint8_t(i)) + a);
        bytes[i] = uint8_t(uint8_t(p + s + a) ^ q);
    }
}

void IniCipher::Encipher(uint8_t* bytes, size_t n) const {
    uint16_t a = 0;
    for (size_t i = 0; i < n; ++i) {
        a = uint16_t(a + key[a % 16]);
        uint8_t c = uint8_t(i);
        uint8_t q = uint8_t((uint8_t(c + key[n % 16]) ^ uint8_t(i)) + a);
        uint8_t p = uint8_t(uint8_t(bytes[i] ^ q) - s - a);
        bytes[i] = uint8_t(uint8_t(uint8_t(p + c) ^ c) - uint8_t(uint8_t(a) - u));
    }
}

// ---- the parser ----

class IniParser {
public:
    IniParser(IniGroup& root, Stream& stream, int depth) : root_(root), current_(&root), stream_(stream), depth_(depth) {}

    void Run() {
        uint8_t mark[4] = {};
        compiled_ = stream_.Read(mark, 4) == 4 && std::memcmp(mark, kIniCompiledMark, 4) == 0;
        if (!compiled_) stream_.Seek(0, kSeekBegin);
        macroKeyword_ = compiled_ ? kCompiledMacro : kMacroKeyword;
        groupKeyword_ = compiled_ ? kCompiledGroup : kGroupKeyword;
        std::string line;
        while (!stream_.IsEOF()) {
            // A read that does not move the stream (a read error such as a
            // damaged sector, or a stream that cannot go on) ends the file:
            // reading again would give the same nothing forever.
            const uint64_t before = stream_.Tell();
            if (!(compiled_ ? ReadCompiledLine(&line) : ReadTextLine(&line))) break;
            if (stream_.Tell() <= before) break;
            for (int pass = 0; pass < kIniMacroPasses && Expand(&line); ++pass) {
            }
            Statements(line);
        }
    }

private:
    bool ReadTextLine(std::string* line) {
        char area[kIniLineLimit + 1];
        uint32_t n = stream_.ReadLine(area, sizeof area);
        line->assign(area, n);
        return true;
    }

    bool ReadCompiledLine(std::string* line) {
        uint8_t size[2];
        if (stream_.Read(size, 2) != 2) return false;
        size_t n = size_t(size[0]) | (size_t(size[1]) << 8);
        if (n == 0) return false;
        std::vector<uint8_t> bytes(n);
        if (stream_.Read(bytes.data(), n) != n) return false;
        IniCipher::Get().Decipher(bytes.data(), n);
        line->clear();
        for (size_t i = 0; i < n && bytes[i] != 0 && line->size() < kIniLineLimit; ++i) {
            if (bytes[i] == '~') {
                ++i;  // the compiled form drops "~" and the byte after it
                continue;
            }
            *line += char(bytes[i]);
        }
        return true;
    }

    const std::string* FindMacro(std::string_view name) const {
        for (const IniGroup* g = current_; g; g = g->parent_)
            for (const auto& [k, v] : g->macros_)
                if (EqualsNoCase(k, name)) return &v;
        return nullptr;
    }

    // One pass; true when a macro was found.
    bool Expand(std::string* line) {
        if (line->find('[') == std::string::npos) return false;
        std::string out;
        bool changed = false;
        for (size_t i = 0; i < line->size();) {
            char c = (*line)[i];
            if (c != '[') {
                out += c;
                ++i;
                continue;
            }
            size_t close = line->find(']', i + 1);
            size_t end = close == std::string::npos ? line->size() : close;
            std::string_view name = std::string_view(*line).substr(i + 1, end - i - 1);
            size_t next = close == std::string::npos ? end : close + 1;
            if (const std::string* value = FindMacro(name)) {
                out += *value;
                changed = true;
            } else if (!name.empty() && name[0] == '$') {
                // Names that begin with "$" are the core's own tokens, which
                // a later step replaces (the mount paths' "[$CurrentDir]" and
                // "[$$$DEFAULT$$$]"): unless a macro of that name exists, the
                // reference stays as written instead of vanishing.
                out.append(*line, i, next - i);
            }
            i = next;
        }
        if (out.size() > kIniLineLimit) out.resize(kIniLineLimit);
        *line = std::move(out);
        return changed;
    }

    void Statements(const std::string& line) {
        size_t pos = 0;
        bool firstPair = true;
        IniToken token, next;
        while (NextIniToken(line, &pos, &token)) {
            const std::string& t = token.text;
            if (!t.empty() && t[0] == ';') return;
            if (t == macroKeyword_) {
                IniToken name, value;
                if (!NextIniToken(line, &pos, &name) || !NextIniToken(line, &pos, &value)) return;
                root_.macros_.emplace_back(name.text, value.text);
                continue;
            }
            if (t == groupKeyword_) {
                if (!NextIniToken(line, &pos, &token)) return;
                pending_ = token.text;
                if (!NextIniToken(line, &pos, &token)) return;
                if (EqualsNoCase(token.text, "from")) {
                    if (!NextIniToken(line, &pos, &token)) return;
                    IniGroup* child = current_->GetOrCreateGroup(pending_);
                    // The inclusion first clears the child: an entry of this
                    // line that lives in it (such as "Child/key") goes with
                    // it, and later keys of the line have no entry to go to.
                    if (currentEntry_ && child->Holds(currentEntry_)) currentEntry_ = nullptr;
                    // Nested inclusions stop at a fixed depth, so a file that
                    // includes itself cannot recurse without end.
                    if (depth_ + 1 < kIniIncludeDepth) child->ParseAt(token.text.c_str(), nullptr, depth_ + 1);
                }
                continue;
            }
            if (t == "{") {
                current_ = current_->GetOrCreateGroup(pending_);
                continue;
            }
            if (t == "}") {
                // A "}" without its "{" keeps the group being parsed current.
                if (current_ != &root_ && current_->parent_) current_ = current_->parent_;
                continue;
            }
            std::string key = t, value = "true";
            size_t back = pos;
            if (NextIniToken(line, &pos, &next) && next.text == "=") {
                if (!NextIniToken(line, &pos, &next)) {
                    firstPair = false;
                    continue;
                }
                value = next.text;
            } else {
                pos = back;
            }
            if (firstPair) {
                currentEntry_ = current_->SetEntry(key, value);
                firstPair = false;
            } else if (currentEntry_) {
                currentEntry_->SetAttribute(key, value);
            }
        }
    }

    IniGroup& root_;
    IniGroup* current_;
    Stream& stream_;
    int depth_;
    bool compiled_ = false;
    const char* macroKeyword_ = kMacroKeyword;
    const char* groupKeyword_ = kGroupKeyword;
    std::string pending_;
    IniEntry* currentEntry_ = nullptr;
};

bool IniGroup::Parse(const char* fileName, Stream* stream) { return ParseAt(fileName, stream, 0); }

bool IniGroup::ParseAt(const char* fileName, Stream* stream, int depth) {
    Clear();
    std::unique_ptr<Stream> opened;
    if (!stream) {
        opened = OpenForReading(fileName);
        if (!opened) return false;
        stream = opened.get();
    }
    IniParser(*this, *stream, depth).Run();
    if (opened) opened->Close();
    return true;
}

// ---- the compiler ----

namespace {
std::string LineError(size_t lineNumber, const char* what) {
    char text[160];
    std::snprintf(text, sizeof text, "line %zu %s", lineNumber, what);
    return text;
}
}  // namespace

bool CompileIni(std::string_view text, std::vector<uint8_t>* out, std::string* error) {
    out->assign(kIniCompiledMark, kIniCompiledMark + 4);
    size_t lineNumber = 0;
    size_t start = 0;
    const IniCipher& cipher = IniCipher::Get();
    while (start < text.size()) {
        ++lineNumber;
        // Lines end at a carriage return (a line feed after it is skipped) or,
        // as the file reader does, at a NUL.
        size_t end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\0') ++end;
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (end < text.size() && text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
        if (line.size() > kIniLineLimit) {
            *error = LineError(lineNumber, "is longer than 2047 bytes");
            return false;
        }
        if (line.find('~') != std::string_view::npos) {
            *error = LineError(lineNumber, "holds \"~\", which the compiled form cannot carry");
            return false;
        }
        // Keywords become their one-byte forms; every other token keeps its
        // source bytes (and quotes), so macro expansion reads the same.
        // Only where the reader expects a statement: a token it takes as an
        // argument (a macro's name and value, a group's name and the token
        // after it, a value after "=") is no keyword and no comment there.
        std::string compiled;
        size_t pos = 0;
        IniToken token;
        int arguments = 0, groupArguments = 0;
        bool afterKey = false;
        while (NextIniToken(line, &pos, &token)) {
            std::string_view source = line.substr(token.begin, token.end - token.begin);
            bool statement = arguments == 0 && !(afterKey && token.text == "=");
            if (statement && !token.text.empty() && token.text[0] == ';') break;
            if (!compiled.empty()) compiled += ' ';
            if (!statement) {
                compiled.append(source);
                if (afterKey) {
                    arguments = 1;  // the value
                } else {
                    --arguments;
                    // "Group name from file": the token after the name may name a file.
                    if (groupArguments && --groupArguments == 0 && EqualsNoCase(token.text, "from")) arguments = 1;
                }
                afterKey = false;
                continue;
            }
            afterKey = false;
            if (token.text == kMacroKeyword) {
                compiled += kCompiledMacro;
                arguments = 2;
            } else if (token.text == kGroupKeyword) {
                compiled += kCompiledGroup;
                arguments = groupArguments = 2;
            } else {
                compiled.append(source);
                afterKey = token.text != "{" && token.text != "}";
            }
        }
        // Tokens are written apart ("a=b" becomes "a = b"), so a line that
        // fits as text may not fit the compiled reader's area.
        if (compiled.size() > kIniLineLimit) {
            *error = LineError(lineNumber, "is longer than 2047 bytes once compiled");
            return false;
        }
        compiled += '\0';
        if (compiled.size() > 0xFFFF) {
            *error = LineError(lineNumber, "is too long");
            return false;
        }
        // An empty line still needs its NUL: a length of 0 would end the file.
        std::vector<uint8_t> bytes(compiled.begin(), compiled.end());
        cipher.Encipher(bytes.data(), bytes.size());
        out->push_back(uint8_t(bytes.size()));
        out->push_back(uint8_t(bytes.size() >> 8));
        out->insert(out->end(), bytes.begin(), bytes.end());
    }
    out->push_back(0);
    out->push_back(0);
    return true;
}

}  // namespace core
