#pragma once

// Hidden (message-only) windows of the system, for MessageWindowWin32.cpp.
// Kept apart because the system's headers declare InSendMessage and
// ReplyMessage themselves; nothing here needs them.

#include <cstdint>

namespace Win32HiddenWindow {

// The window procedure of one window: Context is what Create was given.
using TProcedure = std::intptr_t (*)(void* Context, unsigned Msg, std::uintptr_t WParam,
                                     std::intptr_t LParam);

// Creates a hidden window of the calling thread whose messages from WM_USER
// on go to Procedure; raises Exception on failure.
void* Create(TProcedure Procedure, void* Context);
// Destroys it (on the thread that created it). Messages sent to it and not
// yet delivered are answered with 0 by the system.
void Destroy(void* Window) noexcept;
// SendMessage: the window's thread runs the procedure; the caller waits.
std::intptr_t Send(void* Window, unsigned Msg, std::uintptr_t WParam, std::intptr_t LParam);
// True inside a procedure whose sender (another thread) still waits.
bool InSend();
// Releases that sender with Result; false when none waits.
bool Reply(std::intptr_t Result);

} // namespace Win32HiddenWindow
