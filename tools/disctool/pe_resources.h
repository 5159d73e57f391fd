// Reading and rewriting the resources of Windows programs (PE32 and PE32+),
// portably: no Windows API, only the bytes of the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pe {

// A resource type or name: a number, or a name (kept as UTF-16 code units).
struct ResourceId {
    bool isNumber = true;
    uint16_t number = 0;
    std::u16string name;

    static ResourceId Number(uint16_t n) { return {true, n, {}}; }
    // Names are stored in upper case, as the Windows lookups ask for them.
    static ResourceId Name(const std::string& ascii);
    // "157" gives a number; anything else a name.
    static ResourceId Parse(const std::string& text);
    std::string ToString() const;  // "VGF", "157", or "RT_ICON (3)" for standard types when typeNames
    std::string TypeString() const;
    bool operator==(const ResourceId& other) const {
        return isNumber == other.isNumber && (isNumber ? number == other.number : name == other.name);
    }
};

struct Resource {
    ResourceId type;
    ResourceId name;
    uint16_t language = 0;
    uint32_t codePage = 0;
    std::vector<uint8_t> data;
};

struct ImageInfo {
    bool is64 = false;
    uint16_t machine = 0;
};

// All resources in directory order; false with the reason in *error when the
// file is not a PE image or its resource directory is damaged.
bool ReadResources(const std::vector<uint8_t>& file, std::vector<Resource>* resources, std::string* error,
                   ImageInfo* info = nullptr);

// The image carries an Authenticode signature (a certificate table).
bool IsSigned(const std::vector<uint8_t>& file);

// Sets every time stamp of the image (the file header's, and those of the
// export, resource and debug directories that carry one) to time and
// updates the checksum; false for a damaged image or a signed one (the
// signature would no longer match).
bool SetTimestamp(std::vector<uint8_t>* file, uint32_t time, std::string* error);

// Sets the data of the resource type/name: every language of it when it
// exists, a new language-neutral resource otherwise. Every other resource is
// kept; the resource section is rebuilt and the headers (data directory,
// section sizes, SizeOfImage, checksum) follow. A signature is removed, its
// certificate table too: it would not match the edited image. *note tells
// how the section was placed and whether a signature was removed.
bool SetResource(std::vector<uint8_t>* file, const ResourceId& type, const ResourceId& name,
                 const std::vector<uint8_t>& data, std::string* error, std::string* note = nullptr);

}  // namespace pe
