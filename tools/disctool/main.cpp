// disctool: the authoring tool for disc projects.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "tools/disctool/commands.h"

namespace disctool {

int Fail(const char* format, ...) {
    std::fputs("disctool: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    return 1;
}

}  // namespace disctool

namespace {

struct Command {
    const char* name;
    int (*run)(int, char**);
    const char* summary;
};

const Command kCommands[] = {
    {"tree", disctool::RunTree, "inspect and convert project tree files (dump, to-json, from-json)"},
    {"pack", disctool::RunPack, "write, list, extract and verify Setup.pac packages"},
    {"project", disctool::RunProject, "check, build, preview and decompile disc projects"},
    {"pe", disctool::RunPe, "list, extract and set resources of Windows programs"},
    {"ini", disctool::RunIni, "show configuration files (Tessor.ini) as JSON and compile them"},
};

void Usage(FILE* out) {
    std::fputs("usage: disctool COMMAND [ARGS...]\n\nCommands:\n", out);
    for (const Command& c : kCommands) std::fprintf(out, "  %-8s %s\n", c.name, c.summary);
    std::fputs("\nRun 'disctool COMMAND --help' for the arguments of a command.\n", out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        Usage(stderr);
        return 2;
    }
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help")) {
        Usage(stdout);
        return 0;
    }
    for (const Command& c : kCommands)
        if (!std::strcmp(argv[1], c.name)) return c.run(argc - 1, argv + 1);
    disctool::Fail("unknown command '%s'", argv[1]);
    Usage(stderr);
    return 2;
}
