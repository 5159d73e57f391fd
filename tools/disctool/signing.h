// Authenticode signing of the disc's Windows programs with osslsigncode.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace disctool {

struct SignOptions {
    std::string certificate;   // a PKCS#12 file (.pfx) with the key and its certificate
    std::string passwordFile;  // its password, or "" when it has none
    std::string timestampUrl;  // an Authenticode time-stamping server, or "" for none
    std::string description;   // shown by Windows as the signed program's name
    int64_t signingTime = -1;  // seconds since 1970 for the signature's signing time, or -1 for now
};

// Signs the program bytes in place (through files in folder); false with
// the reason (osslsigncode's own words) in *error.
bool SignProgram(std::vector<uint8_t>* program, const SignOptions& options, const std::string& folder,
                 std::string* error);

}  // namespace disctool
