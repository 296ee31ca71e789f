#include "app/Startup.h"

#include "app/AboutDlg.h"
#include "app/Application.h"
#include "app/MainFrm.h"
#include "app/PortDlg.h"
#include "base/ExePath.h"

int RunHxt24(int Argc, char** Argv) {
  THxtApplication Application(Argc, Argv);
  THxtApplication::SetTitle(QStringLiteral("HXT24"));

  // The main window first: closing it ends the program.
  TMainForm MainForm(ExecutableDir() + "config.ini");
  TPortDialog PortDialog(&MainForm);
  TAboutDialog AboutDialog(&MainForm);
  MainForm.UseDialogs(&PortDialog, &AboutDialog);

  MainForm.show();
  return THxtApplication::exec();
}
