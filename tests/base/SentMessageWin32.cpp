#include <windows.h>

#include <chrono>

bool SentMessageWaits(std::chrono::milliseconds Limit) {
  return MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(Limit.count()), QS_SENDMESSAGE,
                                     MWMO_INPUTAVAILABLE) == WAIT_OBJECT_0;
}
