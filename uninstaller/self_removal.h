// Removing the uninstaller's own two files from the temporary folder once it
// has ended.
#pragma once

#include <string>

namespace uninstaller {

// The name Setup.exe gives the program and its script in the temporary folder.
inline constexpr const char kTempBaseName[] = "{Trelvo_QmSetup}";

// True when program is the copy Setup.exe wrote out ("{Trelvo_QmSetup}.exe"):
// only that copy removes itself, a program started from anywhere else stays.
bool IsTemporaryCopy(const std::string& programPath);

// The script is removed with the program only when it is its partner file
// ("{Trelvo_QmSetup}.ini" in the same folder).
bool IsPartnerScript(const std::string& programPath, const std::string& scriptPath);

// Deletes the script now and arranges for the program file to go as soon as
// this process has ended: a hidden command processor waits for the end of
// this process (it reads a pipe whose only writer is this process), deletes
// the file, and ends. Where no command processor can be started the file is
// marked for deletion at the next restart. Returns whether the command
// processor was started.
bool ScheduleSelfRemoval(const std::string& programPath, const std::string& scriptPath);

}  // namespace uninstaller
