// The uninstaller's command line: its own path (in double quotes as Setup.exe
// writes it; unquoted it may still hold spaces), the script path in double
// quotes and, when the menu already asked the user, "-quiet".
#pragma once

#include <string>
#include <string_view>

namespace uninstaller {

struct Arguments {
    std::string script;  // empty when none was given
    bool quiet = false;
};

// programPath is the running program's own file name, used to step over an
// unquoted program path that holds spaces.
Arguments ParseCommandLine(std::string_view commandLine, std::string_view programPath);

}  // namespace uninstaller
