#include "base/Registry.h"

#include <gtest/gtest.h>

#include "tests/TestUtil.h"

TEST(Registry, ValuesRoundTripAndNamesIgnoreCase) {
  TMemRegistryKey Key;
  Key.WriteString("Port", "COM3");
  Key.WriteInteger("Buffer.InputSize", -1);
  Key.WriteInteger("BUFFER.inputsize", INT32_MIN);
  Key.WriteExpandString("Path", "%TEMP%\\x");
  EXPECT_EQ(Key.ReadString("port"), "COM3");
  EXPECT_EQ(Key.ReadInteger("Buffer.InputSize"), INT32_MIN);
  EXPECT_EQ(Key.ReadString("Path"), "%TEMP%\\x");
  EXPECT_EQ(Key.ValueKind("Port"), rkString);
  EXPECT_EQ(Key.ValueKind("Buffer.InputSize"), rkInteger);
  EXPECT_EQ(Key.ValueNames(), (std::vector<std::string>{"Port", "Buffer.InputSize", "Path"}));
  EXPECT_TRUE(Key.ValueExists("PATH"));
  EXPECT_TRUE(Key.DeleteValue("path"));
  EXPECT_FALSE(Key.ValueExists("Path"));
}

TEST(Registry, TextReadsOfOddValues) {
  TMemRegistryKey Key;
  Key.WriteBinaryData("Empty", {});
  Key.WriteBinaryData("Bytes", {'a', 'b'});
  Key.WriteString("Zero", std::string_view("ab\0cd", 5));
  EXPECT_EQ(Key.ReadString("Missing"), "");
  EXPECT_EQ(Key.ReadString("Empty"), ""); // no data: no kind check either
  EXPECT_EQ(Key.ReadString("Zero"), "ab");
  EXPECT_EXCEPTION_MESSAGE(Key.ReadString("Bytes"), "Invalid data type for 'Bytes'");
  Key.WriteInteger("Number", 5);
  EXPECT_EXCEPTION_MESSAGE(Key.ReadString("Number"), "Invalid data type for 'Number'");
}

TEST(Registry, IntegerReadFailures) {
  TMemRegistryKey Key;
  Key.WriteString("Short", "1");   // 2 bytes with its zero: fits, wrong kind
  Key.WriteString("Long", "1234"); // 5 bytes: does not fit
  Key.WriteBinaryData("Eight", {1, 2, 3, 4, 5, 6, 7, 8});
  Key.WriteBinaryData("Four", {1, 0, 0, 0});
  const std::pair<const char*, const char*> Rows[] = {
      {"Missing", "Failed to get data for 'Missing'"}, {"Long", "Failed to get data for 'Long'"},
      {"Eight", "Failed to get data for 'Eight'"},     {"Short", "Invalid data type for 'Short'"},
      {"Four", "Invalid data type for 'Four'"},
  };
  for (const auto& [Name, Message] : Rows)
    EXPECT_EXCEPTION_MESSAGE(Key.ReadInteger(Name), Message);
}

TEST(Registry, ReadOnlyKeyRefusesWrites) {
  TMemRegistryKey Key;
  Key.WriteInteger("Kept", 7);
  Key.SetReadOnly(true);
  EXPECT_EXCEPTION_MESSAGE(Key.WriteString("Port", "COM1"), "Failed to set data for 'Port'");
  EXPECT_EXCEPTION_MESSAGE(Key.WriteInteger("Kept", 8), "Failed to set data for 'Kept'");
  EXPECT_FALSE(Key.ValueExists("Port"));
  EXPECT_EQ(Key.ReadInteger("Kept"), 7);
}
