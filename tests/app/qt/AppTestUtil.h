#pragma once

#include <QMessageBox>
#include <QObject>
#include <QRect>
#include <QString>

#include <string>
#include <vector>

// The test program's application object lives from before the first test to
// after the last (a global test environment); tests only use qApp.

// One error box as the user saw it.
struct TShownBox {
  QString Title;
  QString Text;
  QMessageBox::Icon Icon;
  Qt::TextFormat Format;
};

// Watches for message boxes while it lives: every box that shows is recorded
// and dismissed with OK as soon as its modal loop runs.
class TBoxWatcher : public QObject {
public:
  TBoxWatcher();
  ~TBoxWatcher() override;
  const std::vector<TShownBox>& Boxes() const { return FBoxes; }

protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
  std::vector<TShownBox> FBoxes;
};

// Answers every file dialog that shows while it lives: records what it
// proposed, then picks FileName (typed as is) and accepts, or cancels when
// FileName is empty. A dialog that stays open after the accept (it asked a
// question, which a TBoxWatcher answered with OK) is cancelled.
class TFileDialogAnswerer : public QObject {
public:
  explicit TFileDialogAnswerer(QString FileName);
  ~TFileDialogAnswerer() override;

  struct TShown {
    QString Directory;
    QStringList NameFilters;
    QString DefaultSuffix;
    QStringList Proposed;
    // Where it showed (its frame included) and the free area of its screen.
    QRect Frame;
    QRect FreeArea;
  };
  const std::vector<TShown>& Shown() const { return FShown; }

protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
  QString FFileName;
  std::vector<TShown> FShown;
};

// Runs queued calls and posted events until none are left.
void ProcessPendingEvents();
