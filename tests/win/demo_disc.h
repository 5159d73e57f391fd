// The demo disc as ./run test builds it (examples/demo.sh with the 64-bit
// runtime into <build>/demo/disc), and the project tree inside its Setup.exe.
#pragma once

#include <windows.h>

#include <string>

#include "core/binary_buffer.h"
#include "core/data_group.h"

namespace testutil {

inline std::string DemoDisc() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    folder = folder.substr(0, folder.find_last_of('\\'));  // bin
    folder = folder.substr(0, folder.find_last_of('\\'));  // the build
    return folder + "\\demo\\disc";
}

// The project tree inside a Setup.exe.
inline bool ReadProject(const std::string& program, core::DataGroup* root) {
    HMODULE module = ::LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return false;
    bool read = false;
    if (HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(157), "VGF")) {
        HGLOBAL data = ::LoadResource(module, found);
        core::BinaryBuffer bytes(::LockResource(data), ::SizeofResource(module, found));
        read = root->ReadFrom(bytes);
    }
    ::FreeLibrary(module);
    return read;
}

}  // namespace testutil
