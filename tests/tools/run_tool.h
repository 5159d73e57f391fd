// Running disctool (or any command) from the tool tests.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace testutil {

struct Result {
    int status;          // exit code, -1 when the command did not exit normally
    std::string output;  // standard output and standard error together
};

inline Result Shell(const std::string& command) {
    Result r{-1, ""};
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) r.output.append(buffer, n);
    int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

inline Result RunTool(const std::string& args) { return Shell(std::string(DISCTOOL_PATH) + " " + args); }

}  // namespace testutil
