#include "core/registry.h"

#include <cstdio>
#include <cstring>

#include "core/exceptions.h"

namespace core {

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
    if (this != &other) {
        Close();
        key_ = other.Detach();
    }
    return *this;
}

bool RegistryKey::Open(const char* path, bool readOnly, HKEY root) {
    if (key_) return false;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, path, 0, readOnly ? KEY_READ : KEY_ALL_ACCESS, &opened) != ERROR_SUCCESS) return false;
    key_ = opened;
    return true;
}

bool RegistryKey::Create(const char* path, HKEY root) {
    if (key_) return false;
    HKEY created = nullptr;
    if (RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &created,
                        nullptr) != ERROR_SUCCESS)
        return false;
    key_ = created;
    return true;
}

void RegistryKey::Close() {
    if (key_) {
        RegCloseKey(key_);
        key_ = nullptr;
    }
}

void RegistryKey::Attach(HKEY key) {
    Close();
    key_ = key;
}

HKEY RegistryKey::Detach() {
    HKEY key = key_;
    key_ = nullptr;
    return key;
}

bool RegistryKey::ValueType(const char* name, DWORD* type) const {
    return key_ && RegQueryValueExA(key_, name, nullptr, type, nullptr, nullptr) == ERROR_SUCCESS;
}

bool RegistryKey::IsDword(const char* name) const {
    DWORD type = 0;
    return ValueType(name, &type) && type == REG_DWORD;
}

uint32_t RegistryKey::GetDword(const char* name) const {
    if (!IsDword(name)) return 0;
    DWORD value = 0, size = sizeof value;
    if (RegQueryValueExA(key_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
        return 0;
    return value;
}

bool RegistryKey::SetDword(const char* name, uint32_t value) {
    DWORD v = value;
    return key_ && RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v) ==
                       ERROR_SUCCESS;
}

bool RegistryKey::IsString(const char* name) const {
    DWORD type = 0;
    return ValueType(name, &type) && type == REG_SZ;
}

std::string RegistryKey::GetString(const char* name) const {
    if (!IsString(name)) return std::string();
    char buffer[257] = {};
    DWORD size = 256;
    if (RegQueryValueExA(key_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
        return std::string();
    buffer[size < 256 ? size : 256] = 0;
    return std::string(buffer);
}

bool RegistryKey::SetString(const char* name, const char* text) {
    if (!key_ || !text) return false;
    DWORD size = DWORD(std::strlen(text) + 1);
    return RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size) == ERROR_SUCCESS;
}

bool RegistryKey::DeleteValue(const char* name) {
    return key_ && RegDeleteValueA(key_, name) == ERROR_SUCCESS;
}

bool RegistryKey::DeleteKeyIfEmpty(const char* path, HKEY root) {
    RegistryKey key;
    if (!key.Open(path, false, root)) return false;
    char subkey[254];
    if (RegEnumKeyA(key.key_, 0, subkey, sizeof subkey) == ERROR_SUCCESS) return false;
    DWORD values = 0;
    if (RegQueryInfoKeyA(key.key_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS ||
        values > 0)
        return false;
    key.Close();
    return RegDeleteKeyA(root, path) == ERROR_SUCCESS;
}

namespace {

// A GUID text the GUID class rejects leaves the field as it was.
void ReadGuid(const RegistryKey& key, const char* name, CQmGUID* out) {
    if (!key.IsString(name)) return;
    try {
        *out = CQmGUID(key.GetString(name));
    } catch (const CQmException&) {
    }
}

}  // namespace

void ApplicationRecord::Load(const char* id) {
    *this = ApplicationRecord();
    char path[512];
    std::snprintf(path, sizeof path, "Software\\Trelvo\\Autorun\\%s", id ? id : "");
    {
        RegistryKey key;
        if (key.Open(path, true, HKEY_CURRENT_USER)) {
            AppInstalled = key.GetDword("AppInstalled") != 0;
            AppName = key.GetString("AppName");
            InstalledFolder = key.GetString("InstalledFolder");
        }
    }
    {
        RegistryKey key;
        if (key.Open(path, true, HKEY_CURRENT_USER)) CurrentLanguage = key.GetString("CurrentLanguage");
    }
    std::snprintf(path, sizeof path, "Software\\Trelvo\\%s", id ? id : "");
    RegistryKey key;
    if (!key.Open(path, true, HKEY_CURRENT_USER)) return;
    ReadGuid(key, "Video_Device", &VideoDevice);
    ReadGuid(key, "Video_Driver", &VideoDriver);
    VideoWidth = key.GetDword("Video_Width");
    VideoHeight = key.GetDword("Video_Height");
    VideoDepth = key.GetDword("Video_Depth");
    VideoWindowed = key.GetDword("Video_Windowed") != 0;
    VideoFSAA = key.GetDword("Video_FSAA") != 0;
    char name[64], other[64];
    for (int i = 1; i <= kMaxInputPairs; ++i) {
        std::snprintf(name, sizeof name, "Input_Key%i", i);
        std::snprintf(other, sizeof other, "Input_Device%i", i);
        if (!key.IsDword(name) || !key.IsDword(other)) break;
        InputKeys[i - 1] = key.GetDword(name);
        InputDevices[i - 1] = key.GetDword(other);
        InputPairCount = uint32_t(i);
    }
    // The count comes from the registry: bound it so a damaged value cannot hang the start.
    uint32_t count = key.GetDword("Input_GUIDCount");
    if (count > kMaxInputDevices) count = kMaxInputDevices;
    for (uint32_t i = 1; i <= count; ++i) {
        std::snprintf(name, sizeof name, "Input_GUID%u", unsigned(i));
        std::snprintf(other, sizeof other, "Input_GUID%uType", unsigned(i));
        if (!key.IsString(name) || !key.IsDword(other)) continue;
        CQmGUID guid;
        try {
            guid = CQmGUID(key.GetString(name));
        } catch (const CQmException&) {
            continue;
        }
        InputDeviceTypes.push_back(key.GetDword(other));
        InputDeviceGuids.push_back(guid);
    }
    key.Close();
    Loaded = true;
}

}  // namespace core
