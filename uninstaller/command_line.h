// The uninstaller's command line: its own path (unquoted when Setup.exe
// starts it, so it may hold spaces), the script path in double quotes and,
// when the menu already asked the user, "-quiet".
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
