// Property: the resource editor of disctool never crashes, overruns or hangs
// on any bytes. Listing either refuses or gives resources; when setting a
// resource succeeds, the new bytes list again, every resource of that type
// and name holds exactly the new data, and every other resource is kept.
// Input: a flag byte (bit 0: the type is a name, bit 1: the name is a name),
// the type and name numbers (a byte each), the data length (a byte) and the
// data, then the image itself. A name takes its text from the data's first
// bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/disctool/pe_resources.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

bool SameResource(const pe::Resource& a, const pe::Resource& b) {
    return a.type == b.type && a.name == b.name && a.language == b.language && a.codePage == b.codePage &&
           a.data == b.data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 || size - 4 < data[3]) return 0;
    const uint8_t flags = data[0];
    const std::vector<uint8_t> payload(data + 4, data + 4 + data[3]);
    std::vector<uint8_t> file(data + 4 + data[3], data + size);

    std::string text(payload.begin(), payload.end());
    pe::ResourceId type = pe::ResourceId::Number(data[1]);
    pe::ResourceId name = pe::ResourceId::Number(data[2]);
    if (flags & 1) type = pe::ResourceId::Name(text.substr(0, data[1] % 8));
    if (flags & 2) name = pe::ResourceId::Name(text.substr(0, data[2] % 8));
    // Command-line spellings of ids go through the same parser.
    pe::ResourceId parsed = pe::ResourceId::Parse(text);
    parsed.ToString();
    parsed.TypeString();

    std::vector<pe::Resource> before;
    std::string error;
    pe::ImageInfo info;
    if (!pe::ReadResources(file, &before, &error, &info)) {
        Check(!error.empty());
        // An image that cannot be listed cannot be edited either.
        std::vector<uint8_t> copy = file;
        Check(!pe::SetResource(&copy, type, name, payload, &error));
        return 0;
    }
    for (const pe::Resource& r : before) {
        r.type.TypeString();
        r.name.ToString();
    }

    std::string note;
    if (!pe::SetResource(&file, type, name, payload, &error, &note)) {
        Check(!error.empty());
        return 0;
    }
    std::vector<pe::Resource> after;
    pe::ImageInfo infoAfter;
    Check(pe::ReadResources(file, &after, &error, &infoAfter));
    Check(infoAfter.is64 == info.is64 && infoAfter.machine == info.machine);

    bool found = false;
    for (const pe::Resource& r : after) {
        if (r.type == type && r.name == name) {
            Check(r.data == payload);
            found = true;
            continue;
        }
        // Nothing else is new...
        bool kept = false;
        for (const pe::Resource& old : before) kept |= SameResource(r, old);
        Check(kept);
    }
    Check(found);
    // ...and nothing else is lost (a damaged directory may list one
    // type, name and language twice; one of them stays).
    for (const pe::Resource& old : before) {
        if (old.type == type && old.name == name) continue;
        bool kept = false;
        for (const pe::Resource& r : after)
            kept |= r.type == old.type && r.name == old.name && r.language == old.language;
        Check(kept);
    }
    return 0;
}
