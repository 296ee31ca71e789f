#include "cport/ComPortErrors.h"

#include <gtest/gtest.h>

#include "tests/TestUtil.h"

namespace {

class ComPortErrors : public ::testing::Test {
protected:
  ComPortErrors() {
    SetComPortTranslator(nullptr);
    InitComPortErrors();
  }
  ~ComPortErrors() override {
    SetComPortTranslator(nullptr);
    DoneComPortErrors();
  }
};

struct TErrorRow {
  int Code;
  const char* Text;
};

const TErrorRow ErrorRows[] = {
    {1, "Unable to open com port"},
    {2, "WriteFile function failed"},
    {3, "ReadFile function failed"},
    {4, "Invalid Async parameter"},
    {5, "PurgeComm function failed"},
    {6, "Unable to get async status"},
    {7, "SetCommState function failed"},
    {8, "SetCommTimeouts failed"},
    {9, "SetupComm function failed"},
    {10, "ClearCommError function failed"},
    {11, "GetCommModemStatus function failed"},
    {12, "EscapeCommFunction function failed"},
    {13, "TransmitCommChar function failed"},
    {14, "Cannot set property while connected"},
    {15, "EnumPorts function failed"},
    {16, "Failed to store settings"},
    {17, "Failed to load settings"},
    {18, "Link (un)registration failed"},
    {19, "Cannot change led state if ComPort is selected"},
    {20, "Cannot wait for event if event thread is created"},
    {21, "WaitForEvent method failed"},
    {22, "A component is linked to OnRxBuf event"},
    {23, "Registry error"},
};

} // namespace

TEST_F(ComPortErrors, EveryCodeHasItsTextWithAndWithoutSystemError) {
  for (const TErrorRow& Row : ErrorRows) {
    SCOPED_TRACE(Row.Code);
    const EComPort Plain(Row.Code);
    EXPECT_EQ(Plain.Message(), Row.Text);
    EXPECT_EQ(Plain.ErrorCode(), Row.Code);
    EXPECT_EQ(Plain.SystemErrorCode(), -1);

    const EComPort WithSystem(Row.Code, 2);
    EXPECT_EQ(WithSystem.Message(), std::string(Row.Text) + " (win error code: 2)");
    EXPECT_EQ(WithSystem.ErrorCode(), Row.Code);
    EXPECT_EQ(WithSystem.SystemErrorCode(), 2);
  }
  EXPECT_EQ(EComPort(peOpenFailed, -5).Message(), "Unable to open com port (win error code: -5)");
}

TEST_F(ComPortErrors, TranslatesTableOnceAndSuffixOnEveryError) {
  int SuffixLookups = 0;
  SetComPortTranslator([&](const std::u16string& Text) -> std::u16string {
    if (Text == u" (win error code: %d)") {
      ++SuffixLookups;
      return u" (Systemfehler: %d)";
    }
    if (Text == u"Unable to open com port")
      return u"Kann Port nicht \u00f6ffnen";
    return Text;
  });
  // The table is filled at start-up only.
  EXPECT_EQ(EComPort(peOpenFailed).Message(), "Unable to open com port");
  InitComPortErrors();
  EXPECT_EQ(SuffixLookups, 0);
  EXPECT_EQ(EComPort(peOpenFailed, 2).Message(), "Kann Port nicht \xc3\xb6"
                                                 "ffnen (Systemfehler: 2)");
  // A message without a translation stays English while the suffix is translated.
  EXPECT_EQ(EComPort(peReadFailed, 5).Message(), "ReadFile function failed (Systemfehler: 5)");
  EXPECT_EQ(SuffixLookups, 2);
}

TEST_F(ComPortErrors, PercentInTranslatedTextIsADirectiveOnlyWithSystemError) {
  PortErrorMessages[peReadFailed] = u"Lesen zu 100%% fehlgeschlagen";
  EXPECT_EQ(EComPort(peReadFailed, 4).Message(),
            "Lesen zu 100% fehlgeschlagen (win error code: 4)");
  // The code-only form takes the text literally.
  EXPECT_EQ(EComPort(peReadFailed).Message(), "Lesen zu 100%% fehlgeschlagen");

  // A translation that uses the number itself leaves the suffix without one:
  // the checked formatting refuses instead of reading a missing argument.
  PortErrorMessages[peReadFailed] = u"Fehler %d";
  EXPECT_EXCEPTION_MESSAGE(EComPort(peReadFailed, 4),
                           "No argument for format 'Fehler %d (win error code: %d)'");
  PortErrorMessages[peReadFailed] = u"Fehler %s";
  EXPECT_EXCEPTION_MESSAGE(
      EComPort(peReadFailed, 4),
      "Format 'Fehler %s (win error code: %d)' invalid or incompatible with argument");
}

TEST_F(ComPortErrors, CodeOutsideTableHasNoText) {
  EXPECT_EQ(EComPort(0).Message(), "");
  EXPECT_EQ(EComPort(24, 1).Message(), " (win error code: 1)");
}

TEST(ComPortNarrow, ConvertsUtf16ToUtf8) {
  EXPECT_EQ(ComPortNarrow(u"abc"), "abc");
  EXPECT_EQ(ComPortNarrow(u"\u00e4\u20ac"), "\xc3\xa4\xe2\x82\xac");
  EXPECT_EQ(ComPortNarrow(u"\U0001F600"), "\xf0\x9f\x98\x80");
  // A lone surrogate cannot be encoded and becomes the replacement character.
  EXPECT_EQ(ComPortNarrow(std::u16string(1, char16_t(0xD800)) + u"x"), "\xef\xbf\xbdx");
}

TEST(ComPortErrorsLifecycle, ShutdownReleasesTable) {
  InitComPortErrors();
  EXPECT_EQ(PortErrorMessages[peRegistryError], u"Registry error");
  DoneComPortErrors();
  EXPECT_TRUE(PortErrorMessages[peRegistryError].empty());
}
