// Host stand-ins for the Windows-only queries, so that portable code links.
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/file_path.h"
#include "core/os/os.h"
#include "core/os_version.h"

namespace core {

void GetOsVersion(OsVersion& version) {
    version = OsVersion();
    std::strcpy(version.text, "Microsoft Windows XP");  // the NT family, for position handling
}

bool SpecialFolderText(int kind, std::string* text) {
    char buffer[PATH_MAX + 1] = {};
    switch (kind) {
    case kFolderProgramFile:
    case kFolderProgram: {
        ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
        if (n <= 0) return false;
        *text = std::string(buffer, size_t(n));
        return true;
    }
    case kFolderCurrent: *text = os::CurrentDirectory(); return !text->empty();
    case kFolderTemp: {
        const char* tmp = std::getenv("TMPDIR");
        *text = std::string(tmp && *tmp ? tmp : "/tmp") + "/";
        return true;
    }
    default: return false;
    }
}

}  // namespace core
