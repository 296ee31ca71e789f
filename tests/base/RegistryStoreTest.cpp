// The platform's registry (the system's on Windows, the settings files
// elsewhere) under a key of its own, removed afterwards.
#include "base/Registry.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "tests/TestUtil.h"

namespace {

class RegistryStore : public ::testing::Test {
protected:
  void SetUp() override {
    std::random_device Random;
    char Name[32];
    std::snprintf(Name, sizeof Name, "%08x%08x", Random(), Random());
    FPath = std::string("Software\\HXT24 Tests\\") + Name;
  }
  void TearDown() override { DeleteRegistryKey(TRegRoot::rrCurrentUser, FPath); }

  std::unique_ptr<TRegistryKey> Open(bool ReadOnly = false) {
    auto Key = OpenRegistryKey(TRegRoot::rrCurrentUser, FPath, ReadOnly);
    if (!Key)
      ADD_FAILURE() << "cannot open " << FPath;
    return Key;
  }

  std::string FPath;
};

} // namespace

TEST_F(RegistryStore, ValuesReadBackThroughAKeyOpenedAgain) {
  {
    auto Key = Open();
    ASSERT_TRUE(Key);
    Key->WriteString("Port", "COM5");
    Key->WriteString("Name", "Gr\xC3\xBCn \xE2\x82\xAC"); // not ASCII
    Key->WriteString("Blank", "  padded  ");
    Key->WriteInteger("Buffer.InputSize", -2);
    Key->WriteInteger("BaudRate", 57600);
    Key->WriteExpandString("Path", "%TEMP%\\x");
    Key->WriteBinaryData("Bytes", {0, 1, 0xFE, 0xFF});
    Key->WriteInteger("baudrate", 115200); // the same value, other spelling
  }
  auto Key = Open(true);
  ASSERT_TRUE(Key);
  EXPECT_EQ(Key->ReadString("port"), "COM5");
  EXPECT_EQ(Key->ReadString("Name"), "Gr\xC3\xBCn \xE2\x82\xAC");
  EXPECT_EQ(Key->ReadString("Blank"), "  padded  ");
  EXPECT_EQ(Key->ReadInteger("Buffer.InputSize"), -2);
  EXPECT_EQ(Key->ReadInteger("BaudRate"), 115200);
  EXPECT_EQ(Key->ReadString("Path"), "%TEMP%\\x");
  EXPECT_TRUE(Key->ValueExists("BYTES"));
  EXPECT_FALSE(Key->ValueExists("Missing"));
  EXPECT_EQ(Key->ReadString("Missing"), "");
}

TEST_F(RegistryStore, FailuresNameTheValue) {
  {
    auto Key = Open();
    ASSERT_TRUE(Key);
    Key->WriteString("Short", "1");   // fits in 4 bytes, but is text
    Key->WriteString("Long", "1234"); // does not fit
    Key->WriteBinaryData("Eight", {1, 2, 3, 4, 5, 6, 7, 8});
    Key->WriteInteger("Number", 5);
  }
  auto Key = Open(true);
  ASSERT_TRUE(Key);
  const std::pair<const char*, const char*> IntegerRows[] = {
      {"Missing", "Failed to get data for 'Missing'"},
      {"Long", "Failed to get data for 'Long'"},
      {"Eight", "Failed to get data for 'Eight'"},
      {"Short", "Invalid data type for 'Short'"},
  };
  for (const auto& [Name, Message] : IntegerRows)
    EXPECT_EXCEPTION_MESSAGE(Key->ReadInteger(Name), Message);
  EXPECT_EXCEPTION_MESSAGE(Key->ReadString("Number"), "Invalid data type for 'Number'");
  // A key opened for reading refuses writes, and keeps what it had.
  EXPECT_EXCEPTION_MESSAGE(Key->WriteString("Port", "COM1"), "Failed to set data for 'Port'");
  EXPECT_EXCEPTION_MESSAGE(Key->WriteInteger("Number", 6), "Failed to set data for 'Number'");
  EXPECT_EQ(Key->ReadInteger("Number"), 5);
  EXPECT_FALSE(Key->ValueExists("Port"));
}

TEST_F(RegistryStore, OnlyAnExistingKeyOpensForReading) {
  EXPECT_FALSE(OpenRegistryKey(TRegRoot::rrCurrentUser, FPath + "\\Never", true));
}
