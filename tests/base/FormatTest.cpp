#include "base/Format.h"

#include <gtest/gtest.h>

#include "tests/TestUtil.h"

TEST(Format, SubstitutesDirectivesInOrder) {
  EXPECT_EQ(Format("%s (win error code: %d)", {"Unable to open com port", 2}),
            "Unable to open com port (win error code: 2)");
  EXPECT_EQ(Format("100%% of %d", {-7}), "100% of -7");
  EXPECT_EQ(Format("no directives", {}), "no directives");
  EXPECT_EQ(Format("%s", {std::string()}), "");
  EXPECT_EQ(Format("%d", {2147483647}), "2147483647");
  // Surplus arguments are ignored, as the runtime does.
  EXPECT_EQ(Format("%d", {1, 2}), "1");
}

TEST(Format, RejectsDirectivesThatDoNotFitTheirArgument) {
  // A catalog may turn "%d" into "%s" or add a directive; none of that may
  // read a wrong or missing argument.
  EXPECT_EXCEPTION_MESSAGE(Format("code %s", {5}),
                           "Format 'code %s' invalid or incompatible with argument");
  EXPECT_EXCEPTION_MESSAGE(Format("%d", {"five"}),
                           "Format '%d' invalid or incompatible with argument");
  EXPECT_EXCEPTION_MESSAGE(Format("%d and %d", {1}), "No argument for format '%d and %d'");
  EXPECT_EXCEPTION_MESSAGE(Format("%x", {1}), "Format '%x' invalid or incompatible with argument");
  EXPECT_EXCEPTION_MESSAGE(Format("trailing %", {}),
                           "Format 'trailing %' invalid or incompatible with argument");
  EXPECT_EXCEPTION_MESSAGE(Format("%n", {1}), "Format '%n' invalid or incompatible with argument");
}
