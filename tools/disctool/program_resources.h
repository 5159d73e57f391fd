// What disctool writes into a disc's Setup.exe besides the project tree: the
// manifest (UAC level, common controls, Windows versions, DPI awareness).
#pragma once

#include <string>

#include "core/data_group.h"

namespace disctool {

// The execution levels a manifest may ask for.
extern const char* const kExecutionLevels[3];  // asInvoker, highestAvailable, requireAdministrator

// The program's identity as the project gives it; texts in ANSI (code page
// 1252), a text that is one text key "[KEY]" translated by the default
// language.
struct ProgramIdentity {
    std::string executionLevel;  // ExecutionLevel, or by UseInstaller
    std::string productName;     // ApplicationName
};
ProgramIdentity IdentityOf(const core::DataGroup& tree);

// The manifest of resources/program.manifest.in for a program (UTF-8 XML).
std::string ProgramManifest(const std::string& programName, const std::string& executionLevel);

}  // namespace disctool
