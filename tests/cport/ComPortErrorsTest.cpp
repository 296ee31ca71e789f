#include "cport/ComPortErrors.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "i18n/gnugettext.h"
#include "tests/TestUtil.h"
#include "tests/i18n/CatalogTestUtil.h"

namespace {

class ComPortErrors : public ::testing::Test {
protected:
  ComPortErrors() { InitComPortErrors(); }
  ~ComPortErrors() override { DoneComPortErrors(); }
};

// The translation started over a German "default" catalog written by the test.
class TranslatedComPortErrors : public ::testing::Test {
protected:
  void Start(const std::vector<TPoEntry>& Entries) {
    BuildCatalog(Dir.File("de/LC_MESSAGES/default.mo"), PoText(Entries));
    StartTranslation();
    Translator.load()->BindDomain("default", Dir.Path().string());
    InitComPortErrors();
  }
  void TearDown() override {
    DoneComPortErrors();
    StopTranslation();
  }

  TEnvVar Lang{"LANG", "de_DE.UTF-8"};
  TTempDir Dir;
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

TEST_F(TranslatedComPortErrors, TableAndSuffixComeFromTheCatalog) {
  Start({{"Unable to open com port", "COM-Port kann nicht ge\xc3\xb6"
                                     "ffnet werden"},
         {" (win error code: %d)", " (Systemfehler: %d)"}});
  EXPECT_EQ(EComPort(peOpenFailed, 2).Message(), "COM-Port kann nicht ge\xc3\xb6"
                                                 "ffnet werden (Systemfehler: 2)");
  EXPECT_EQ(EComPort(peOpenFailed).Message(), "COM-Port kann nicht ge\xc3\xb6"
                                              "ffnet werden");
  // A message without a translation stays English; the suffix is translated.
  EXPECT_EQ(EComPort(peReadFailed, 5).Message(), "ReadFile function failed (Systemfehler: 5)");
  // The component's own domain joins the resource-string domains.
  const std::vector<std::string> Domains = ResourceStringDomainList();
  EXPECT_EQ(std::count(Domains.begin(), Domains.end(), "cport"), 1);
}

TEST_F(TranslatedComPortErrors, PercentInTranslatedTextIsADirectiveOnlyWithSystemError) {
  Start({{"ReadFile function failed", "Lesen zu 100%% fehlgeschlagen"},
         {"SetupComm function failed", "Fehler %d"},
         {"SetCommState function failed", "Fehler %s"}});
  EXPECT_EQ(EComPort(peReadFailed, 4).Message(),
            "Lesen zu 100% fehlgeschlagen (win error code: 4)");
  // The code-only form takes the text literally.
  EXPECT_EQ(EComPort(peReadFailed).Message(), "Lesen zu 100%% fehlgeschlagen");
  // A translation that uses the number itself leaves the suffix without one:
  // the checked formatting refuses instead of reading a missing argument.
  EXPECT_EXCEPTION_MESSAGE(EComPort(peSetupCommFailed, 4),
                           "No argument for format 'Fehler %d (win error code: %d)'");
  EXPECT_EXCEPTION_MESSAGE(
      EComPort(peSetStateFailed, 4),
      "Format 'Fehler %s (win error code: %d)' invalid or incompatible with argument");
}

TEST_F(ComPortErrors, CodeOutsideTableHasNoText) {
  EXPECT_EQ(EComPort(0).Message(), "");
  EXPECT_EQ(EComPort(24, 1).Message(), " (win error code: 1)");
}

TEST(ComPortErrorsLifecycle, ShutdownReleasesTableAndErrorsStayReadable) {
  InitComPortErrors();
  EXPECT_EQ(PortErrorMessages[peRegistryError], u"Registry error");
  DoneComPortErrors();
  EXPECT_TRUE(PortErrorMessages[peRegistryError].empty());
  // A program that never started the component still gets a readable error.
  EXPECT_EQ(EComPort(peOpenFailed, 2).Message(), "Unable to open com port (win error code: 2)");
  EXPECT_EQ(EComPort(peConnectedProperty).Message(), "Cannot set property while connected");
}

// The client's start-up over a truncated German catalog (the client sets a
// failure handler): the component's start-up goes through, its messages stay
// English, and the catalog is told once.
TEST_F(TranslatedComPortErrors, DamagedCatalogAtStartUpLeavesTheMessagesInEnglish) {
  static int Told = 0;
  Told = 0;
  struct THandler {
    THandler() {
      SetCatalogFailureHandler([](const std::string&) { ++Told; });
    }
    ~THandler() { SetCatalogFailureHandler(nullptr); }
  } Handler;
  const std::string Catalog = Dir.File("de/LC_MESSAGES/default.mo");
  BuildCatalog(Catalog, PoText({{"Unable to open com port", "COM-Port kann nicht ge\xc3\xb6"
                                                            "ffnet werden"}}));
  std::filesystem::resize_file(Catalog, 100);
  StartTranslation();
  Translator.load()->BindDomain("default", Dir.Path().string());
  EXPECT_NO_THROW(InitComPortErrors());
  EXPECT_EQ(EComPort(peOpenFailed, 2).Message(), "Unable to open com port (win error code: 2)");
  EXPECT_EQ(Told, 1);
}
