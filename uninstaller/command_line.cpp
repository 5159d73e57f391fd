#include "uninstaller/command_line.h"

#include "core/text.h"

namespace uninstaller {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return !prefix.empty() && text.size() >= prefix.size() &&
           core::ToUpperAscii(text.substr(0, prefix.size())) == core::ToUpperAscii(prefix);
}

// Length of the program path at the start of the command line.
size_t ProgramPathLength(std::string_view line, std::string_view programPath) {
    if (!line.empty() && line[0] == '"') {
        size_t close = line.find('"', 1);
        return close == std::string_view::npos ? line.size() : close + 1;
    }
    if (StartsWithNoCase(line, programPath) &&
        (line.size() == programPath.size() || line[programPath.size()] == ' ' || line[programPath.size()] == '\t'))
        return programPath.size();
    // Another spelling of our own path: it ends at ".exe" followed by a blank.
    std::string upper = core::ToUpperAscii(line);
    for (size_t at = upper.find(".EXE"); at != std::string::npos; at = upper.find(".EXE", at + 1)) {
        size_t end = at + 4;
        if (end == upper.size() || upper[end] == ' ' || upper[end] == '\t') return end;
    }
    size_t blank = line.find_first_of(" \t");
    return blank == std::string_view::npos ? line.size() : blank;
}

}  // namespace

Arguments ParseCommandLine(std::string_view line, std::string_view programPath) {
    Arguments args;
    size_t i = ProgramPathLength(line, programPath);
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
            continue;
        }
        std::string token;
        if (line[i] == '"') {
            size_t close = line.find('"', i + 1);
            if (close == std::string_view::npos) close = line.size();
            token = std::string(line.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            size_t end = line.find_first_of(" \t", i);
            if (end == std::string_view::npos) end = line.size();
            token = std::string(line.substr(i, end - i));
            i = end;
        }
        if (token == "-quiet") args.quiet = true;
        else if (args.script.empty()) args.script = token;
    }
    return args;
}

}  // namespace uninstaller
