// Stands in for the uninstaller in tests: writes the command line it was
// started with next to the script it was given ("<script>.args").
#include <windows.h>

#include <cstdio>
#include <string>

int main() {
    std::string line = GetCommandLineA();
    // The script is the first quoted text after the program path, which may
    // be quoted itself.
    size_t after = line.empty() || line[0] != '"' ? line.find(' ') : line.find('"', 1);
    size_t open = after == std::string::npos ? after : line.find('"', after + 1);
    size_t close = open == std::string::npos ? std::string::npos : line.find('"', open + 1);
    if (close == std::string::npos) return 1;
    std::string record = line.substr(open + 1, close - open - 1) + ".args";
    FILE* f = std::fopen(record.c_str(), "wb");
    if (!f) return 1;
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
    return 0;
}
