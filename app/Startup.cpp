#include "app/Startup.h"

#include "app/AboutDlg.h"
#include "app/Application.h"
#include "app/MainFrm.h"
#include "app/PortDlg.h"
#include "app/ResourceTranslator.h"
#include "base/ExePath.h"
#include "i18n/gnugettext.h"

int RunHxt24(int Argc, char** Argv) {
  // Translation starts before anything can raise or show a text and stops
  // only after the loop and every window are gone.
  TTranslationSession Translation;
  THxtApplication Application(Argc, Argv);
  TResourceTranslator QtTexts;
  QCoreApplication::installTranslator(&QtTexts);
  THxtApplication::SetTitle(QStringLiteral("HXT24"));

  // The main window first: closing it ends the program.
  TMainForm MainForm(ExecutableDir() + "config.ini");
  TPortDialog PortDialog(&MainForm);
  TAboutDialog AboutDialog(&MainForm);
  MainForm.UseDialogs(&PortDialog, &AboutDialog);

  MainForm.show();
  return THxtApplication::exec();
}
