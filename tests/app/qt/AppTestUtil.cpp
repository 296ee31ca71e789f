#include "AppTestUtil.h"

#include <QFileDialog>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

#include "app/qt/Application.h"

namespace {

class TQtEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    static int Argc = 1;
    static char Name[] = "app_tests";
    static char* Argv[] = {Name, nullptr};
    FApplication = new THxtApplication(Argc, Argv);
    THxtApplication::SetTitle(QStringLiteral("HXT24"));
  }
  void TearDown() override { delete FApplication; }

private:
  THxtApplication* FApplication = nullptr;
};

[[maybe_unused]] ::testing::Environment* const QtEnvironment =
    ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

} // namespace

TBoxWatcher::TBoxWatcher() {
  qApp->installEventFilter(this);
}

TBoxWatcher::~TBoxWatcher() {
  qApp->removeEventFilter(this);
}

bool TBoxWatcher::eventFilter(QObject* Watched, QEvent* Event) {
  if (Event->type() == QEvent::Show)
    if (auto* Box = qobject_cast<QMessageBox*>(Watched)) {
      FBoxes.push_back({Box->windowTitle(), Box->text(), Box->icon(), Box->textFormat()});
      QTimer::singleShot(0, Box, [Box] { Box->done(QMessageBox::Ok); });
    }
  return false;
}

TFileDialogAnswerer::TFileDialogAnswerer(QString FileName) : FFileName(std::move(FileName)) {
  qApp->installEventFilter(this);
}

TFileDialogAnswerer::~TFileDialogAnswerer() {
  qApp->removeEventFilter(this);
}

bool TFileDialogAnswerer::eventFilter(QObject* Watched, QEvent* Event) {
  if (Event->type() == QEvent::Show)
    if (auto* Dialog = qobject_cast<QFileDialog*>(Watched)) {
      FShown.push_back({Dialog->directory().absolutePath(), Dialog->nameFilters(),
                        Dialog->defaultSuffix(), Dialog->selectedFiles(), QRect(), QRect()});
      const std::size_t Index = FShown.size() - 1;
      QTimer::singleShot(0, Dialog, [this, Dialog, Index] {
        // Shown by now, in its place and with its frame.
        FShown[Index].Frame = Dialog->frameGeometry();
        if (const QScreen* Screen = Dialog->screen())
          FShown[Index].FreeArea = Screen->availableGeometry();
        if (FFileName.isEmpty()) {
          Dialog->reject();
          return;
        }
        Dialog->selectFile(FFileName);
        static_cast<QDialog*>(Dialog)->accept(); // QFileDialog::accept, as OK does
        if (Dialog->isVisible())
          Dialog->reject();
      });
    }
  return false;
}

void ProcessPendingEvents() {
  for (int i = 0; i < 10; ++i)
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}
