// A small program that menu actions start in tests:
//   action_helper exit N            ends with exit code N
//   action_helper sleep MS          sleeps, then ends with 0
//   action_helper record FILE ...   writes its current folder and its command
//                                   line to FILE, then ends with 0
//   action_helper append FILE WORD  adds the line WORD to FILE, then ends with 0
//   action_helper visible FILE HWND writes 1 or 0 to FILE: whether the window
//                                   (a decimal handle) is visible now
//   action_helper atom NAME MS      adds the global atom NAME, leaves a second
//                                   copy that deletes it after MS, ends at once
//   action_helper unatom NAME MS    sleeps MS, then deletes the atom NAME
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) return 100;
    const char* mode = argv[1];
    if (std::strcmp(mode, "exit") == 0) return std::atoi(argv[2]);
    if (std::strcmp(mode, "sleep") == 0) {
        ::Sleep(DWORD(std::atoi(argv[2])));
        return 0;
    }
    if (std::strcmp(mode, "record") == 0) {
        char folder[MAX_PATH * 2] = {};
        ::GetCurrentDirectoryA(sizeof folder, folder);
        FILE* f = std::fopen(argv[2], "wb");
        if (!f) return 101;
        std::fprintf(f, "%s\n%s\n", folder, ::GetCommandLineA());
        std::fclose(f);
        return 0;
    }
    if (argc < 4) return 100;
    if (std::strcmp(mode, "append") == 0) {
        FILE* f = std::fopen(argv[2], "ab");
        if (!f) return 101;
        std::fprintf(f, "%s\n", argv[3]);
        std::fclose(f);
        return 0;
    }
    if (std::strcmp(mode, "visible") == 0) {
        HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(argv[3], nullptr, 10)));
        FILE* f = std::fopen(argv[2], "wb");
        if (!f) return 101;
        std::fprintf(f, "%d", ::IsWindowVisible(window) ? 1 : 0);
        std::fclose(f);
        return 0;
    }
    if (std::strcmp(mode, "atom") == 0) {
        ::GlobalAddAtomA(argv[2]);
        char self[MAX_PATH * 2] = {};
        ::GetModuleFileNameA(nullptr, self, sizeof self);
        std::string line = std::string("\"") + self + "\" unatom " + argv[2] + " " + argv[3];
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
            return 102;
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        return 0;
    }
    if (std::strcmp(mode, "unatom") == 0) {
        ::Sleep(DWORD(std::atoi(argv[3])));
        if (ATOM atom = ::GlobalFindAtomA(argv[2])) ::GlobalDeleteAtom(atom);
        return 0;
    }
    return 100;
}
