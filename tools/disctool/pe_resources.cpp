#include "tools/disctool/pe_resources.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>
#include <type_traits>

namespace pe {

namespace {

uint16_t Get16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }
uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
uint32_t AlignUp(uint32_t v, uint32_t a) { return a ? (v + a - 1) / a * a : v; }

const uint32_t kResourceDirectory = 2, kSecurityDirectory = 4;

struct Section {
    size_t header;  // file offset of its header
    char name[9];
    uint32_t virtualSize, virtualAddress, rawSize, rawPointer, characteristics;
};

// The headers of a PE image and where its fields are.
struct Headers {
    size_t coff = 0, optional = 0, directories = 0, sectionTable = 0;
    uint32_t directoryCount = 0;
    bool is64 = false;
    uint32_t sectionAlignment = 0, fileAlignment = 0, sizeOfHeaders = 0;
    std::vector<Section> sections;

    bool Parse(const std::vector<uint8_t>& f, std::string* error) {
        auto fail = [&](const char* why) {
            *error = why;
            return false;
        };
        if (f.size() < 0x40 || f[0] != 'M' || f[1] != 'Z') return fail("not a Windows program (no MZ header)");
        size_t pe = Get32(f, 0x3C);
        if (pe > f.size() || f.size() - pe < 24 || std::memcmp(&f[pe], "PE\0\0", 4))
            return fail("not a Windows program (no PE signature)");
        coff = pe + 4;
        uint16_t sectionCount = Get16(f, coff + 2);
        uint16_t optionalSize = Get16(f, coff + 16);
        optional = coff + 20;
        if (f.size() < optional + optionalSize || optionalSize < 96) return fail("the optional header is cut short");
        uint16_t magic = Get16(f, optional);
        if (magic != 0x10b && magic != 0x20b) return fail("unknown optional header magic");
        is64 = magic == 0x20b;
        sectionAlignment = Get32(f, optional + 32);
        fileAlignment = Get32(f, optional + 36);
        sizeOfHeaders = Get32(f, optional + 60);
        size_t countAt = optional + (is64 ? 108 : 92);
        directories = countAt + 4;
        if (countAt + 4 > optional + optionalSize) return fail("the optional header is cut short");
        directoryCount = std::min<uint32_t>(Get32(f, countAt), uint32_t((optional + optionalSize - directories) / 8));
        sectionTable = optional + optionalSize;
        if (f.size() < sectionTable + size_t(sectionCount) * 40) return fail("the section table is cut short");
        for (uint16_t i = 0; i < sectionCount; ++i) {
            Section s;
            s.header = sectionTable + size_t(i) * 40;
            std::memcpy(s.name, &f[s.header], 8);
            s.name[8] = 0;
            s.virtualSize = Get32(f, s.header + 8);
            s.virtualAddress = Get32(f, s.header + 12);
            s.rawSize = Get32(f, s.header + 16);
            s.rawPointer = Get32(f, s.header + 20);
            s.characteristics = Get32(f, s.header + 36);
            if (uint64_t(s.rawPointer) + s.rawSize > f.size()) return fail("a section lies past the end of the file");
            sections.push_back(s);
        }
        return true;
    }

    uint32_t DirectoryRva(const std::vector<uint8_t>& f, uint32_t i) const {
        return i < directoryCount ? Get32(f, directories + i * 8) : 0;
    }
    uint32_t DirectorySize(const std::vector<uint8_t>& f, uint32_t i) const {
        return i < directoryCount ? Get32(f, directories + i * 8 + 4) : 0;
    }
    const Section* SectionOf(uint32_t rva) const {
        for (const Section& s : sections)
            if (rva >= s.virtualAddress && rva - s.virtualAddress < std::max(s.virtualSize, s.rawSize)) return &s;
        return nullptr;
    }
    // File offset of count bytes at rva, or SIZE_MAX when they are not all in the file.
    size_t Offset(uint32_t rva, uint32_t count) const {
        const Section* s = SectionOf(rva);
        if (!s) return SIZE_MAX;
        uint64_t into = rva - s->virtualAddress;
        if (into + count > s->rawSize) return SIZE_MAX;
        return s->rawPointer + into;
    }
};

class DirectoryReader {
public:
    DirectoryReader(const std::vector<uint8_t>& f, const Headers& h, uint32_t rootRva)
        : f_(f), h_(h), root_(h.Offset(rootRva, 16)), rootRva_(rootRva) {}

    bool Read(std::vector<Resource>* out, std::string* error) {
        if (root_ == SIZE_MAX) return *error = "the resource directory lies outside the file", false;
        Resource r;
        return Walk(0, 0, &r, out, error);
    }

private:
    bool Walk(uint32_t offset, int level, Resource* r, std::vector<Resource>* out, std::string* error) {
        size_t at = h_.Offset(rootRva_ + offset, 16);
        if (at == SIZE_MAX || ++visited_ > 100000) return *error = "damaged resource directory", false;
        uint32_t count = uint32_t(Get16(f_, at + 12)) + Get16(f_, at + 14);
        if (h_.Offset(rootRva_ + offset, 16 + count * 8) == SIZE_MAX) return *error = "damaged resource directory", false;
        for (uint32_t i = 0; i < count; ++i) {
            size_t e = at + 16 + i * 8;
            uint32_t nameField = Get32(f_, e), target = Get32(f_, e + 4);
            ResourceId id;
            if (nameField & 0x80000000u) {
                size_t s = h_.Offset(rootRva_ + (nameField & 0x7FFFFFFF), 2);
                if (s == SIZE_MAX) return *error = "damaged resource name", false;
                uint16_t length = Get16(f_, s);
                if (h_.Offset(rootRva_ + (nameField & 0x7FFFFFFF), 2 + length * 2u) == SIZE_MAX)
                    return *error = "damaged resource name", false;
                id.isNumber = false;
                for (uint16_t k = 0; k < length; ++k) id.name += char16_t(Get16(f_, s + 2 + k * 2));
            } else {
                id.number = uint16_t(nameField);
            }
            if (level == 0) r->type = id;
            else if (level == 1) r->name = id;
            else r->language = id.number;
            if (target & 0x80000000u) {
                if (level >= 2) return *error = "resource directory nested too deep", false;
                if (!Walk(target & 0x7FFFFFFF, level + 1, r, out, error)) return false;
            } else {
                if (level != 2) return *error = "resource data at an unexpected level", false;
                size_t d = h_.Offset(rootRva_ + target, 16);
                if (d == SIZE_MAX) return *error = "damaged resource data entry", false;
                uint32_t rva = Get32(f_, d), size = Get32(f_, d + 4);
                size_t data = h_.Offset(rva, size);
                if (data == SIZE_MAX) return *error = "resource data lies outside the file", false;
                r->codePage = Get32(f_, d + 8);
                r->data.assign(f_.begin() + data, f_.begin() + data + size);
                out->push_back(*r);
            }
        }
        return true;
    }

    const std::vector<uint8_t>& f_;
    const Headers& h_;
    size_t root_;
    uint32_t rootRva_;
    size_t visited_ = 0;
};

// Named entries first, by their upper-case code units; then numbers, ascending.
bool IdLess(const ResourceId& a, const ResourceId& b) {
    if (a.isNumber != b.isNumber) return !a.isNumber;
    if (a.isNumber) return a.number < b.number;
    return a.name < b.name;
}

struct IdOrder {
    bool operator()(const ResourceId& a, const ResourceId& b) const { return IdLess(a, b); }
};

// Lays out a resource section for resources placed at sectionRva.
std::vector<uint8_t> BuildSection(const std::vector<Resource>& resources, uint32_t sectionRva) {
    using Languages = std::map<uint16_t, const Resource*>;
    using Names = std::map<ResourceId, Languages, IdOrder>;
    std::map<ResourceId, Names, IdOrder> tree;
    for (const Resource& r : resources) tree[r.type][r.name][r.language] = &r;

    // Sizes: directories, then strings, then data entries, then data.
    uint32_t dirBytes = 16 + 8 * uint32_t(tree.size());
    uint32_t leafCount = 0;
    for (auto& [type, names] : tree) {
        dirBytes += 16 + 8 * uint32_t(names.size());
        for (auto& [name, langs] : names) dirBytes += 16 + 8 * uint32_t(langs.size()), leafCount += uint32_t(langs.size());
    }
    uint32_t stringsAt = dirBytes, stringBytes = 0;
    std::map<std::u16string, uint32_t> strings;
    auto addString = [&](const ResourceId& id) {
        if (!id.isNumber && !strings.count(id.name)) {
            strings[id.name] = stringsAt + stringBytes;
            stringBytes += 2 + 2 * uint32_t(id.name.size());
        }
    };
    for (auto& [type, names] : tree) {
        addString(type);
        for (auto& [name, langs] : names) addString(name);
    }
    uint32_t entriesAt = AlignUp(stringsAt + stringBytes, 8);
    uint32_t dataAt = AlignUp(entriesAt + 16 * leafCount, 8);
    uint32_t total = dataAt;
    for (const Resource& r : resources) total = AlignUp(total + uint32_t(r.data.size()), 8);

    std::vector<uint8_t> out(total, 0);
    for (auto& [text, at] : strings) {
        Put16(out, at, uint16_t(text.size()));
        for (size_t k = 0; k < text.size(); ++k) Put16(out, at + 2 + 2 * k, uint16_t(text[k]));
    }
    auto writeDir = [&](uint32_t at, const auto& map) {
        uint16_t named = 0, numbered = 0;
        for (auto& entry : map) {
            if constexpr (std::is_same_v<std::decay_t<decltype(entry.first)>, ResourceId>)
                (entry.first.isNumber ? numbered : named)++;
            else
                numbered++;  // languages are numbers
        }
        Put16(out, at + 12, named);
        Put16(out, at + 14, numbered);
    };
    auto idField = [&](const ResourceId& id) { return id.isNumber ? uint32_t(id.number) : (strings[id.name] | 0x80000000u); };

    uint32_t nextDir = 0, nextEntry = entriesAt, nextData = dataAt;
    nextDir = 16 + 8 * uint32_t(tree.size());
    writeDir(0, tree);
    // Breadth first: the type tables, then the name tables, then the language tables.
    std::vector<std::pair<uint32_t, const Names*>> typeTables;
    uint32_t slot = 16;
    for (auto& [type, names] : tree) {
        Put32(out, slot, idField(type));
        Put32(out, slot + 4, nextDir | 0x80000000u);
        typeTables.emplace_back(nextDir, &names);
        nextDir += 16 + 8 * uint32_t(names.size());
        slot += 8;
    }
    std::vector<std::pair<uint32_t, const Languages*>> nameTables;
    for (auto& [at, names] : typeTables) {
        writeDir(at, *names);
        uint32_t s = at + 16;
        for (auto& [name, langs] : *names) {
            Put32(out, s, idField(name));
            Put32(out, s + 4, nextDir | 0x80000000u);
            nameTables.emplace_back(nextDir, &langs);
            nextDir += 16 + 8 * uint32_t(langs.size());
            s += 8;
        }
    }
    for (auto& [at, langs] : nameTables) {
        writeDir(at, *langs);
        uint32_t s = at + 16;
        for (auto& [language, r] : *langs) {
            Put32(out, s, language);
            Put32(out, s + 4, nextEntry);
            Put32(out, nextEntry, sectionRva + nextData);
            Put32(out, nextEntry + 4, uint32_t(r->data.size()));
            Put32(out, nextEntry + 8, r->codePage);
            if (!r->data.empty()) std::memcpy(&out[nextData], r->data.data(), r->data.size());
            nextData = AlignUp(nextData + uint32_t(r->data.size()), 8);
            nextEntry += 16;
            s += 8;
        }
    }
    return out;
}

uint32_t Checksum(const std::vector<uint8_t>& f, size_t checksumAt) {
    uint64_t sum = 0;
    for (size_t i = 0; i + 1 < f.size() + 1; i += 2) {
        if (i == checksumAt || i == checksumAt + 2) continue;
        uint32_t word = f[i] | (i + 1 < f.size() ? f[i + 1] << 8 : 0);
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return uint32_t(sum + f.size());
}

}  // namespace

ResourceId ResourceId::Name(const std::string& ascii) {
    ResourceId id;
    id.isNumber = false;
    for (char c : ascii) id.name += char16_t(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : (unsigned char)c);
    return id;
}

ResourceId ResourceId::Parse(const std::string& text) {
    if (!text.empty() && text.size() <= 5 && text.find_first_not_of("0123456789") == std::string::npos &&
        std::stoul(text) <= 0xFFFF)
        return Number(uint16_t(std::stoul(text)));
    return Name(text);
}

std::string ResourceId::ToString() const {
    if (isNumber) return std::to_string(number);
    std::string s;
    for (char16_t c : name) s += c < 0x80 ? char(c) : '?';
    return s;
}

std::string ResourceId::TypeString() const {
    static const char* const names[] = {nullptr,       "CURSOR",   "BITMAP",   "ICON",     "MENU",
                                        "DIALOG",      "STRING",   "FONTDIR",  "FONT",     "ACCELERATOR",
                                        "RCDATA",      "MESSAGETABLE", "GROUP_CURSOR", nullptr, "GROUP_ICON",
                                        nullptr,       "VERSION",  "DLGINCLUDE", nullptr,  "PLUGPLAY",
                                        "VXD",         "ANICURSOR", "ANIICON", "HTML",     "MANIFEST"};
    if (isNumber && number < std::size(names) && names[number])
        return std::string(names[number]) + " (" + std::to_string(number) + ")";
    return ToString();
}

bool ReadResources(const std::vector<uint8_t>& file, std::vector<Resource>* resources, std::string* error,
                   ImageInfo* info) {
    Headers h;
    if (!h.Parse(file, error)) return false;
    if (info) {
        info->is64 = h.is64;
        info->machine = Get16(file, h.coff);
    }
    resources->clear();
    uint32_t rva = h.DirectoryRva(file, kResourceDirectory);
    if (!rva) return true;
    return DirectoryReader(file, h, rva).Read(resources, error);
}

bool IsSigned(const std::vector<uint8_t>& file) {
    Headers h;
    std::string error;
    return h.Parse(file, &error) && h.DirectoryRva(file, kSecurityDirectory) && h.DirectorySize(file, kSecurityDirectory);
}

bool SetTimestamp(std::vector<uint8_t>* filePtr, uint32_t time, std::string* error) {
    std::vector<uint8_t>& f = *filePtr;
    Headers h;
    if (!h.Parse(f, error)) return false;
    if (IsSigned(f)) return *error = "the image is signed: a new time stamp would break its signature", false;
    Put32(f, h.coff + 4, time);
    // IMAGE_EXPORT_DIRECTORY and IMAGE_RESOURCE_DIRECTORY hold theirs at 4;
    // the debug directory is an array of 28-byte entries with it at 4.
    for (uint32_t d : {0u, kResourceDirectory}) {
        const uint32_t rva = h.DirectoryRva(f, d);
        const size_t at = rva ? h.Offset(rva, 8) : SIZE_MAX;
        if (at != SIZE_MAX) Put32(f, at + 4, time);
    }
    const uint32_t debugRva = h.DirectoryRva(f, 6), debugSize = h.DirectorySize(f, 6);
    for (uint32_t i = 0; debugRva && i + 28 <= debugSize; i += 28) {
        const size_t at = h.Offset(debugRva + i, 28);
        if (at != SIZE_MAX) Put32(f, at + 4, time);
    }
    Put32(f, h.optional + 64, Checksum(f, h.optional + 64));
    return true;
}

bool SetResource(std::vector<uint8_t>* filePtr, const ResourceId& type, const ResourceId& name,
                 const std::vector<uint8_t>& data, std::string* error, std::string* note) {
    std::vector<uint8_t>& f = *filePtr;
    Headers h;
    std::vector<Resource> resources;
    if (!ReadResources(f, &resources, error) || !h.Parse(f, error)) return false;
    if (h.directoryCount <= kResourceDirectory) return *error = "the image has no resource directory slot", false;
    // The rebuilt file starts with the headers and pads to the file alignment:
    // both must be sane before they size anything.
    if (h.sizeOfHeaders > f.size()) return *error = "the headers are cut short", false;
    if (h.fileAlignment > 0x10000 || (h.fileAlignment & (h.fileAlignment - 1)) ||
        (h.sectionAlignment & (h.sectionAlignment - 1)))
        return *error = "the section or file alignment is not a power of two (up to 64 KiB for files)", false;

    bool replaced = false;
    for (Resource& r : resources)
        if (r.type == type && r.name == name) r.data = data, replaced = true;
    if (!replaced) resources.push_back({type, name, 0, 0, data});

    // Where the section goes: in place when the resource section ends the image
    // (or only a base relocation section follows it, which can move), else a new
    // section at the end.
    const uint32_t oldRva = h.DirectoryRva(f, kResourceDirectory);
    std::vector<const Section*> byAddress;
    for (const Section& s : h.sections) byAddress.push_back(&s);
    std::sort(byAddress.begin(), byAddress.end(), [](auto a, auto b) { return a->virtualAddress < b->virtualAddress; });
    uint32_t fileEnd = 0;
    for (const Section& s : h.sections) fileEnd = std::max(fileEnd, s.rawPointer + s.rawSize);
    fileEnd = std::max<uint32_t>(fileEnd, h.sizeOfHeaders);

    const Section* current = oldRva ? h.SectionOf(oldRva) : nullptr;
    size_t index = 0;
    while (current && byAddress[index] != current) ++index;
    std::vector<const Section*> movers(current ? byAddress.begin() + index + 1 : byAddress.end(), byAddress.end());
    bool inPlace = current && current->virtualAddress == oldRva;
    uint32_t rawCursor = current ? current->rawPointer + current->rawSize : 0;
    for (const Section* m : movers) {
        // ld leaves a section's raw size unaligned; the next one starts aligned.
        inPlace &= !std::strcmp(m->name, ".reloc") && m->rawPointer == AlignUp(rawCursor, h.fileAlignment);
        rawCursor = m->rawPointer + m->rawSize;
    }
    inPlace &= rawCursor == fileEnd;
    // Rebuilding in place cuts the file at the section's data: that must not
    // cut into the headers (a damaged raw pointer can point there).
    const size_t headersEnd = std::max<size_t>(h.sizeOfHeaders, h.sectionTable + h.sections.size() * 40);
    inPlace &= current && current->rawPointer >= headersEnd;

    std::vector<uint8_t> overlay(f.begin() + std::min<size_t>(fileEnd, f.size()), f.end());
    // An Authenticode signature (its directory holds a file offset) no longer
    // matches the edited image: its bytes go with it.
    const uint32_t signatureAt = h.DirectorySize(f, kSecurityDirectory) ? h.DirectoryRva(f, kSecurityDirectory) : 0,
                   signatureSize = h.DirectorySize(f, kSecurityDirectory);
    if (signatureAt >= fileEnd && uint64_t(signatureAt) + signatureSize <= f.size())
        overlay.erase(overlay.begin() + (signatureAt - fileEnd), overlay.begin() + (signatureAt - fileEnd + signatureSize));
    const uint32_t symbols = Get32(f, h.coff + 8);
    std::vector<uint8_t> out(f.begin(), f.begin() + fileEnd);
    struct Placed {
        size_t header;
        uint32_t va, vsize, raw, rawSize;
    };
    std::vector<Placed> placed;
    uint32_t sectionRva, rawAt;
    size_t header;
    int64_t initializedDelta = 0;

    if (inPlace) {
        std::vector<std::vector<uint8_t>> moved;
        for (const Section* m : movers) moved.emplace_back(f.begin() + m->rawPointer, f.begin() + m->rawPointer + m->rawSize);
        sectionRva = current->virtualAddress;
        rawAt = current->rawPointer;
        header = current->header;
        initializedDelta -= current->rawSize;
        out.resize(rawAt);
        std::vector<uint8_t> section = BuildSection(resources, sectionRva);
        uint32_t rawSize = AlignUp(uint32_t(section.size()), h.fileAlignment);
        section.resize(rawSize, 0);
        out.insert(out.end(), section.begin(), section.end());
        placed.push_back({header, sectionRva, uint32_t(BuildSection(resources, sectionRva).size()), rawAt, rawSize});
        initializedDelta += rawSize;
        uint32_t va = AlignUp(sectionRva + placed.back().vsize, h.sectionAlignment);
        for (size_t i = 0; i < movers.size(); ++i) {
            const Section* m = movers[i];
            // Data directories that point into a moved section move with it.
            for (uint32_t d = 0; d < h.directoryCount; ++d) {
                uint32_t rva = h.DirectoryRva(f, d);
                if (d != kSecurityDirectory && rva >= m->virtualAddress &&
                    rva < m->virtualAddress + std::max(m->virtualSize, m->rawSize))
                    Put32(out, h.directories + d * 8, rva - m->virtualAddress + va);
            }
            placed.push_back({m->header, va, m->virtualSize, uint32_t(out.size()), m->rawSize});
            out.insert(out.end(), moved[i].begin(), moved[i].end());
            va = AlignUp(va + std::max(m->virtualSize, 1u), h.sectionAlignment);
        }
        if (note) *note = "resource section rebuilt in place";
    } else {
        uint16_t count = Get16(f, h.coff + 2);
        header = h.sectionTable + size_t(count) * 40;
        uint32_t firstRaw = UINT32_MAX;
        for (const Section& s : h.sections)
            if (s.rawSize) firstRaw = std::min(firstRaw, s.rawPointer);
        if (header + 40 > h.sizeOfHeaders || header + 40 > firstRaw)
            return *error = "no room in the headers for another section", false;
        // The headers take the first addresses (and a resource address of 0
        // would mean none), so the new section never starts at 0.
        uint64_t end = std::max<uint32_t>(h.sizeOfHeaders, 1);
        for (const Section& s : h.sections)
            end = std::max<uint64_t>(end, uint64_t(s.virtualAddress) + std::max(s.virtualSize, s.rawSize));
        // Sections reaching past 2 GiB of addresses (damaged sizes) leave no room
        // that could not wrap onto the others.
        if (end > 0x80000000u) return *error = "no address room after the sections for another section", false;
        sectionRva = AlignUp(uint32_t(end), h.sectionAlignment);
        rawAt = AlignUp(uint32_t(out.size()), h.fileAlignment);
        out.resize(rawAt, 0);
        std::vector<uint8_t> section = BuildSection(resources, sectionRva);
        uint32_t vsize = uint32_t(section.size());
        uint32_t rawSize = AlignUp(vsize, h.fileAlignment);
        section.resize(rawSize, 0);
        out.insert(out.end(), section.begin(), section.end());
        std::memset(&out[header], 0, 40);
        std::memcpy(&out[header], ".rsrc\0\0\0", 8);
        Put32(out, header + 36, 0x40000040);  // initialised data, readable
        Put16(out, h.coff + 2, uint16_t(count + 1));
        placed.push_back({header, sectionRva, vsize, rawAt, rawSize});
        initializedDelta += rawSize;
        if (note) *note = "resources moved to a new section at the end of the image";
    }
    for (const Placed& p : placed) {
        Put32(out, p.header + 8, p.vsize);
        Put32(out, p.header + 12, p.va);
        Put32(out, p.header + 16, p.rawSize);
        Put32(out, p.header + 20, p.raw);
    }
    Put32(out, h.directories + kResourceDirectory * 8, sectionRva);
    Put32(out, h.directories + kResourceDirectory * 8 + 4, placed.front().vsize);

    uint32_t imageEnd = 0;
    uint16_t count = Get16(out, h.coff + 2);
    for (uint16_t i = 0; i < count; ++i) {
        size_t s = h.sectionTable + size_t(i) * 40;
        imageEnd = std::max(imageEnd, Get32(out, s + 12) + std::max(Get32(out, s + 8), 1u));
    }
    Put32(out, h.optional + 56, AlignUp(imageEnd, h.sectionAlignment));
    Put32(out, h.optional + 8, uint32_t(int64_t(Get32(out, h.optional + 8)) + initializedDelta));

    // What followed the sections (a symbol table, appended data) follows them still.
    const int64_t shift = int64_t(out.size()) - int64_t(fileEnd);
    if (symbols >= fileEnd) Put32(out, h.coff + 8, uint32_t(symbols + shift));
    if (h.DirectoryRva(f, kSecurityDirectory)) {
        Put32(out, h.directories + kSecurityDirectory * 8, 0);
        Put32(out, h.directories + kSecurityDirectory * 8 + 4, 0);
        if (note) *note += "; its signature was removed";
    }
    out.insert(out.end(), overlay.begin(), overlay.end());
    Put32(out, h.optional + 64, Checksum(out, h.optional + 64));

    // A damaged section layout (overlapping or cut-short sections) can hide
    // the rebuilt section from the lookups: hand back only an image that
    // lists the resource as set.
    std::vector<Resource> check;
    std::string checkError;
    bool listed = false;
    if (ReadResources(out, &check, &checkError))
        for (const Resource& r : check) listed |= r.type == type && r.name == name && r.data == data;
    if (!listed) return *error = "the image's sections leave no consistent place for the resources", false;
    f.swap(out);
    return true;
}

}  // namespace pe
