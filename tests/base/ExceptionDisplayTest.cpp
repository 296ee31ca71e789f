#include "base/ExceptionDisplay.h"

#include <gtest/gtest.h>

#include "base/Exception.h"

TEST(ExceptionDisplay, AppendsFullStopOnlyAfterCharactersSortingAfterIt) {
  struct Row {
    const char* Message;
    const char* Shown;
  } const Rows[] = {
      {"Unable to open com port (win error code: 2)",
       "Unable to open com port (win error code: 2)"},
      {"Cannot create file", "Cannot create file."},
      {"Already ends.", "Already ends."},
      {"Ends in digit 7", "Ends in digit 7."}, // '7' sorts after '.'
      {"Ends in slash/", "Ends in slash/."},   // '/' is the next character after '.'
      {"Ends in dash-", "Ends in dash-"},      // '-' sorts before '.'
      {"", ""},
  };
  for (const auto& R : Rows)
    EXPECT_EQ(ExceptionDisplayText(R.Message), R.Shown) << R.Message;
}

TEST(ExceptionDisplay, RoutesToTheInstalledHandler) {
  std::string Seen;
  SetExceptionHandler([&](const std::exception& E) { Seen = E.what(); });
  ShowException(Exception("port gone"));
  SetExceptionHandler(nullptr);
  EXPECT_EQ(Seen, "port gone");
}
