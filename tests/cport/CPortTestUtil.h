#pragma once

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
