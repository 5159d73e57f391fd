// Message pumping: handing pending messages on while long work runs on the
// user-interface thread, and a loop with idle processing.
#pragma once

#include <windows.h>

#include <functional>

namespace ui {

// Dispatches one waiting message; false when the queue is empty or WM_QUIT
// was taken (it is posted again so the outer loop still sees it).
bool PumpOneMessage();
// Dispatches every waiting message; false when WM_QUIT was seen.
bool PumpPendingMessages();

// Runs until WM_QUIT and returns its exit code. idle is called whenever the
// queue runs empty; it returns true to be called again before waiting.
int RunMessageLoop(const std::function<bool()>& idle = nullptr);

}  // namespace ui
