#include "app/qt/AboutDlg.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include "app/VersionInfo.h"

namespace {

const TVersionString Stamped[] = {
    {"FileDescription", "HXT24"},      {"FileVersion", "1.1.1.78"}, {"InternalName", ""},
    {"OriginalFilename", "HXT24.exe"}, {"ProductName", "HXT24"},    {"ProductVersion", "1.0.0.0"},
};

class AboutDlgTest : public ::testing::Test {
protected:
  void TearDown() override { ClearVersionStrings(); }
};

} // namespace

TEST_F(AboutDlgTest, ControlsAndGeometry) {
  TAboutDialog Dialog;
  EXPECT_EQ(Dialog.windowTitle(), "About HXT24");
  EXPECT_EQ(Dialog.size(), QSize(177, 102));
  EXPECT_EQ(Dialog.minimumSize(), Dialog.maximumSize());
  EXPECT_EQ(Dialog.Label1->text(), "HXT24 Scope Software");
  EXPECT_TRUE(Dialog.Label1->font().bold());
  EXPECT_EQ(Dialog.Label1->pos(), QPoint(16, 16));
  EXPECT_FALSE(Dialog.lblVersionString->font().bold());
  EXPECT_EQ(Dialog.lblVersionString->pos(), QPoint(16, 32));
  EXPECT_EQ(Dialog.Bevel1->frameShape(), QFrame::HLine);
  EXPECT_EQ(Dialog.Bevel1->geometry().top(), 64);
  EXPECT_EQ(Dialog.Bevel1->width(), 177);
  EXPECT_EQ(Dialog.btnOK->geometry(), QRect(96, 72, 75, 25));
  EXPECT_EQ(Dialog.btnOK->text(), "OK");
}

TEST_F(AboutDlgTest, WithoutVersionStringsTheLabelReadsVersionAlone) {
  // This test program is built without the stamped strings.
  EXPECT_EQ(GetVersionValue("FileVersion"), "");
  TAboutDialog Dialog;
  EXPECT_EQ(Dialog.lblVersionString->text(), "Version: ");
}

TEST_F(AboutDlgTest, TheFileVersionOfTheUsEnglishTableIsShown) {
  RegisterVersionStrings("040904E4", Stamped, 6);
  TAboutDialog Dialog;
  EXPECT_EQ(Dialog.lblVersionString->text(), "Version: 1.1.1.78");
  EXPECT_EQ(GetVersionValue("ProductVersion"), "1.0.0.0");
  EXPECT_EQ(GetVersionValue("InternalName"), "");
  EXPECT_EQ(GetVersionValue("fileversion"), "");
  EXPECT_EQ(GetVersionValue("Missing"), "");
}

TEST_F(AboutDlgTest, TablesOfOtherLanguagesAreNotConsulted) {
  RegisterVersionStrings("040704E4", Stamped, 6); // German
  RegisterVersionStrings("040904B0", Stamped, 6); // US English, Unicode
  TAboutDialog Dialog;
  EXPECT_EQ(Dialog.lblVersionString->text(), "Version: ");
}

TEST_F(AboutDlgTest, TheTextIsWorkedOutOnceAtCreation) {
  TAboutDialog Dialog;
  RegisterVersionStrings("040904E4", Stamped, 6);
  EXPECT_EQ(Dialog.lblVersionString->text(), "Version: ");
}
