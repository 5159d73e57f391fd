// Start-up time of Setup.exe under Wine: from creating the process to its
// menu being on screen, for a small project in test mode (no splash wait),
// next to starting and closing an empty Win32 dialog program in the same run.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../tests/core/sample_project.h"
#include "tools/disctool/pe_resources.h"

namespace {

std::string Folder() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

BOOL CALLBACK HasMarker(HWND child, LPARAM param) {
    char text[64] = {};
    ::GetWindowTextA(child, text, sizeof text);
    if (std::string(text) != "$$_Qm_DummyButton_$$") return TRUE;
    *reinterpret_cast<bool*>(param) = true;
    return FALSE;
}

struct Search {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindMenu(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != search->pid || !::IsWindowVisible(hwnd)) return TRUE;
    bool marked = false;
    ::EnumChildWindows(hwnd, HasMarker, reinterpret_cast<LPARAM>(&marked));
    if (marked) search->found = hwnd;
    return !marked;
}

bool Start(const std::string& program, PROCESS_INFORMATION* process) {
    std::string line = "\"" + program + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string folder = program.substr(0, program.find_last_of('\\'));
    return ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                            process) != FALSE;
}

void Finish(PROCESS_INFORMATION& process) {
    ::WaitForSingleObject(process.hProcess, 20000);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
}

// Seconds until the menu is visible; the menu is closed afterwards.
double MenuUp(const std::string& setup) {
    PROCESS_INFORMATION process = {};
    LARGE_INTEGER from, to;
    ::QueryPerformanceCounter(&from);
    if (!Start(setup, &process)) return -1;
    Search search{process.dwProcessId, nullptr};
    while (!search.found && ::WaitForSingleObject(process.hProcess, 1) == WAIT_TIMEOUT)
        ::EnumWindows(FindMenu, reinterpret_cast<LPARAM>(&search));
    ::QueryPerformanceCounter(&to);
    if (search.found) ::PostMessageA(search.found, WM_SYSCOMMAND, SC_CLOSE, 0);
    Finish(process);
    return search.found ? Seconds(from, to) : -1;
}

// Seconds from start to end of the empty dialog program.
double EmptyDialog(const std::string& program) {
    PROCESS_INFORMATION process = {};
    LARGE_INTEGER from, to;
    ::QueryPerformanceCounter(&from);
    if (!Start(program, &process)) return -1;
    ::WaitForSingleObject(process.hProcess, 20000);
    ::QueryPerformanceCounter(&to);
    Finish(process);
    return Seconds(from, to);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main() {
    const std::string here = Folder();
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const std::string disc = std::string(temp) + "startup-bench-disc\\";
    ::CreateDirectoryA(disc.c_str(), nullptr);

    core::DataGroup project = testutil::SampleProject("StartupBench", 640, 400);
    project.SetValue("TestMode", core::DataValue(true));
    core::BinaryBuffer tree;
    project.WriteTo(tree);
    std::vector<uint8_t> program = ReadBytes(here + "Setup.exe");
    std::string error;
    if (program.empty() ||
        !pe::SetResource(&program, pe::ResourceId::Name("VGF"), pe::ResourceId::Number(157),
                         std::vector<uint8_t>(tree.Data(), tree.Data() + tree.Size()), &error)) {
        std::fprintf(stderr, "cannot make the bench disc: %s\n", error.c_str());
        return 1;
    }
    std::ofstream(disc + "Setup.exe", std::ios::binary)
        .write(reinterpret_cast<const char*>(program.data()), std::streamsize(program.size()));
    ::CopyFileA((here + "dsetup.dll").c_str(), (disc + "dsetup.dll").c_str(), FALSE);

    constexpr int kRuns = 7;
    std::vector<double> menu, empty;
    MenuUp(disc + "Setup.exe");  // the first start warms the file cache
    EmptyDialog(here + "empty_dialog.exe");
    for (int i = 0; i < kRuns; ++i) {
        menu.push_back(MenuUp(disc + "Setup.exe"));
        empty.push_back(EmptyDialog(here + "empty_dialog.exe"));
    }
    std::printf("start-up, median of %d: Setup.exe menu visible (test mode, 640x400, 2 objects) %.3f s; "
                "empty dialog program started and closed %.3f s; ratio %.2f\n",
                kRuns, Median(menu), Median(empty), Median(menu) / Median(empty));
    ::DeleteFileA((disc + "Setup.exe").c_str());
    ::DeleteFileA((disc + "dsetup.dll").c_str());
    ::RemoveDirectoryA(disc.c_str());
    return 0;
}
