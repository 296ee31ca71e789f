#pragma once

#include <dirent.h>

#include <gtest/gtest.h>

#include "cport/CPort.h"
#include "cport/platform/FakeDevice.h"

// A port on a fake device with one line, "COM1", and the English error texts.
class TFakePortTest : public ::testing::Test {
protected:
  TFakePortTest() {
    InitComPortErrors();
    Fake.AddLine("COM1");
    Port.SetDevice(Fake);
  }
  ~TFakePortTest() override { DoneComPortErrors(); }

  // Expects Statement to raise EComPort with the code and system error.
  template <typename F> static EComPort Raised(F&& Statement) {
    try {
      Statement();
    } catch (const EComPort& E) {
      return E;
    }
    ADD_FAILURE() << "no EComPort raised";
    return EComPort(0);
  }

  TFakeComDevice Fake;
  TComPort Port;
};

inline int DirectoryEntryCount(const char* Path) {
  int Count = 0;
  if (DIR* Dir = opendir(Path)) {
    while (readdir(Dir))
      ++Count;
    closedir(Dir);
  }
  return Count;
}

// The number of descriptors the process has open (to show that nothing leaks).
// Under Wine /proc/self/fd counts Wine's own descriptors too, which come and
// go; the Windows build's leak checks are the Win32 backend's own tests.
inline int OpenDescriptorCount() {
#ifdef _WIN32
  return 0;
#endif
  return DirectoryEntryCount("/proc/self/fd");
}

// The number of threads the process has.
inline int ThreadCount() {
  return DirectoryEntryCount("/proc/self/task");
}
