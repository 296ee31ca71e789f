#include "app/CommandLine.h"

#include <gtest/gtest.h>

TEST(CommandLine, Options) {
  struct Row {
    std::vector<std::string> Args;
    bool Help, Version, Demo;
    const char* Port;
    bool Error;
  } const Rows[] = {
      {{"hxt24"}, false, false, false, "", false},
      {{"hxt24", "--port", "COM3"}, false, false, false, "COM3", false},
      {{"hxt24", "--port=/dev/pts/4"}, false, false, false, "/dev/pts/4", false},
      {{"hxt24", "--demo"}, false, false, true, "", false},
      {{"hxt24", "--help"}, true, false, false, "", false},
      {{"hxt24", "--version"}, false, true, false, "", false},
      {{"hxt24", "-platform", "offscreen"}, false, false, false, "", false},
      {{"hxt24", "--port"}, false, false, false, "", true},
      {{"hxt24", "--frobnicate"}, false, false, false, "", true},
      {{"hxt24", "--demo", "--port", "COM1"}, false, false, true, "COM1", true},
  };
  for (const auto& R : Rows) {
    const TCommandLine Line = ParseCommandLine(R.Args);
    const std::string Args = R.Args.size() > 1 ? R.Args[1] : "";
    EXPECT_EQ(Line.Help, R.Help) << Args;
    EXPECT_EQ(Line.Version, R.Version) << Args;
    EXPECT_EQ(Line.Demo, R.Demo) << Args;
    if (!R.Error) {
      EXPECT_EQ(Line.Port, R.Port) << Args;
    }
    EXPECT_EQ(!Line.Error.empty(), R.Error) << Args;
  }
}
