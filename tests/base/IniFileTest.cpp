#include "base/IniFile.h"

#include <gtest/gtest.h>

#include "tests/TestUtil.h"

TEST(IniFile, IntegerFormsAndFallbacks) {
  struct Row {
    const char* Text;
    std::optional<std::int32_t> Value;
  } const Rows[] = {
      {"625", 625},
      {"-12", -12},
      {"+3", 3},
      {"$0000FF", 0xFF},
      {"0x00FF00", 0xFF00},
      {"0X808080", 0x808080},
      {"$FFFFFFFF", -1},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"2147483648", {}},
      {"$100000000", {}},
      {"wide", {}},
      {"", {}},
      {"$", {}},
      {"0x", {}},
      {"12px", {}},
      {"1 2", {}},
  };
  for (const auto& R : Rows)
    EXPECT_EQ(TryStrToInt(R.Text), R.Value) << R.Text;
}

TEST(IniFile, ReadsSectionsAndKeysWithoutRegardToCase) {
  TTempDir Dir;
  const auto Name = Dir.File("config.ini");
  WriteTextFile(Name, "; scope client\r\n"
                      "[Other]\r\nWidth=1\r\n"
                      "[ settings ]\r\n"
                      "  WIDTH = 800 \r\n"
                      "TraceColor=$0000FF\r\n"
                      "GridColor=0x00C0C0C0\r\n"
                      "Height=tall\r\n"
                      "Name=\"quoted value\"\r\n"
                      "width=900\r\n");
  TIniFile Ini(Name);
  EXPECT_EQ(Ini.ReadInteger("Settings", "Width", 625), 800); // first of two entries wins
  EXPECT_EQ(Ini.ReadInteger("SETTINGS", "tracecolor", 0), 0xFF);
  EXPECT_EQ(Ini.ReadInteger("Settings", "GridColor", 0), 0xC0C0C0);
  EXPECT_EQ(Ini.ReadInteger("Settings", "Height", 375), 375);
  EXPECT_EQ(Ini.ReadInteger("Settings", "BackColor", 8421376), 8421376);
  EXPECT_EQ(Ini.ReadString("Settings", "Name", ""), "quoted value");
  EXPECT_EQ(Ini.ReadInteger("Other", "Width", 0), 1);
  EXPECT_FALSE(Ini.ValueExists("Missing", "Width"));
}

TEST(IniFile, MissingFileGivesDefaults) {
  TTempDir Dir;
  TIniFile Ini(Dir.File("absent.ini"));
  EXPECT_EQ(Ini.ReadInteger("Settings", "Width", 625), 625);
  EXPECT_EQ(Ini.ReadString("Settings", "Port", "COM1"), "COM1");
}
