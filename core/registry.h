// The registry store: one open key with typed value access, and the record
// of an installed application.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/guid.h"

namespace core {

class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() { Close(); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    RegistryKey(RegistryKey&& other) noexcept : key_(other.Detach()) {}
    RegistryKey& operator=(RegistryKey&& other) noexcept;

    // Both fail when a key is already open.
    bool Open(const char* path, bool readOnly, HKEY root);
    bool Create(const char* path, HKEY root);
    void Close();
    bool IsOpen() const { return key_ != nullptr; }
    HKEY Handle() const { return key_; }
    void Attach(HKEY key);
    HKEY Detach();

    bool IsDword(const char* name) const;
    uint32_t GetDword(const char* name) const;
    bool SetDword(const char* name, uint32_t value);
    bool IsString(const char* name) const;
    // At most 255 text bytes; a longer value reads as empty.
    std::string GetString(const char* name) const;
    bool SetString(const char* name, const char* text);
    bool DeleteValue(const char* name);

    // Deletes root\path when it has neither subkeys nor values.
    static bool DeleteKeyIfEmpty(const char* path, HKEY root);

private:
    bool ValueType(const char* name, DWORD* type) const;
    HKEY key_ = nullptr;
};

class ApplicationRecord {
public:
    static constexpr int kMaxInputPairs = 256;
    static constexpr uint32_t kMaxInputDevices = 4096;

    ApplicationRecord() = default;
    explicit ApplicationRecord(const char* id) { Load(id); }
    void Load(const char* id);

    bool IsInstalled() const { return AppInstalled; }
    std::string GetInstalledFolder() const { return InstalledFolder; }

    bool AppInstalled = false;
    bool Loaded = false;
    std::string AppName;
    std::string CurrentLanguage;
    std::string InstalledFolder;
    CQmGUID VideoDevice;
    CQmGUID VideoDriver;
    uint32_t VideoWidth = 0;
    uint32_t VideoHeight = 0;
    uint32_t VideoDepth = 0;
    bool VideoWindowed = false;
    bool VideoFSAA = false;
    uint32_t InputKeys[kMaxInputPairs] = {};
    uint32_t InputDevices[kMaxInputPairs] = {};
    uint32_t InputPairCount = 0;
    std::vector<uint32_t> InputDeviceTypes;
    std::vector<CQmGUID> InputDeviceGuids;
};

}  // namespace core

#endif  // _WIN32
