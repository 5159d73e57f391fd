// Carrying out install lines: every change is recorded as the delete line
// that undoes it; a cancelled install rolls back; a finished one leaves the
// uninstall log "Setup.uni" in the target folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "installer/operation_list.h"

namespace installer {

// What the wizard supplies to a run.
class InstallContext {
public:
    virtual ~InstallContext() = default;
    // Owner of the questions asked after an error.
    virtual HWND Owner() = 0;
    // Texts and placeholders ("[TargetFolder]", "[StartMenu]", "[KEY]") in the
    // wizard's context.
    virtual std::string Expand(std::string_view text) = 0;
    // Handles pending messages and idle work, so that the wizard stays alive.
    virtual void KeepAlive() = 0;
};

class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void SetRange(uint64_t lower, uint64_t upper) = 0;
    virtual void SetPosition(uint64_t position) = 0;
};

// The shared copy buffer: 2,097,152 bytes, allocated on first use.
inline constexpr uint32_t kTransferBufferSize = 2097152;
uint8_t* TransferBuffer();

// HKEY_CLASSES_ROOT, HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE by name (any
// letter case); null for any other name.
HKEY RootFromName(std::string_view name);

// Progress units of one line: a copy's source size, 2048 for the other known
// operations, 0 for unknown ones.
uint64_t OperationWeight(InstallContext& context, const std::vector<std::string>& fields);

// Runs lines in order; the inverse records go to the end of undo, newest
// first. False exactly when the user answered Cancel after an error.
bool ExecuteOperations(InstallContext& context, const OperationList& lines, OperationList* undo,
                       ProgressSink* progress);

// The install: lines plus the copy of the running Setup.exe into the target
// folder. On Cancel rolls back and returns false; on success writes
// "[TargetFolder]\Setup.uni" and returns true. undo receives the records.
bool RunInstall(InstallContext& context, OperationList lines, OperationList* undo, ProgressSink* progress,
                bool rightAligned);

}  // namespace installer
