// What disctool writes into a disc's Setup.exe besides the project tree: the
// manifest (UAC level, common controls, Windows versions, DPI awareness) and
// the version resource that Explorer and the programs list show.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/data_group.h"

namespace disctool {

// The execution levels a manifest may ask for.
extern const char* const kExecutionLevels[3];  // asInvoker, highestAvailable, requireAdministrator

// "1", "1.2", "1.2.3" or "1.2.3.4", each part 0 to 65535; false otherwise.
bool ParseFileVersion(const std::string& text, uint16_t parts[4]);

// The program's identity as the project gives it; texts in ANSI (code page
// 1252), a text that is one text key "[KEY]" translated by the default
// language.
struct ProgramIdentity {
    std::string executionLevel;  // ExecutionLevel, or by UseInstaller
    std::string productName;     // ApplicationName
    std::string publisher;       // Publisher
    std::string version;         // Version
    std::string description;     // Description, or the product name
    std::string copyright;       // Copyright, or "Copyright (C) " and the publisher
};
ProgramIdentity IdentityOf(const core::DataGroup& tree);

// The manifest of resources/program.manifest.in for a program (UTF-8 XML).
std::string ProgramManifest(const std::string& programName, const std::string& executionLevel);

// A VERSIONINFO resource (RT_VERSION) for Setup.exe with the identity's texts.
std::vector<uint8_t> VersionResource(const ProgramIdentity& identity);

}  // namespace disctool
