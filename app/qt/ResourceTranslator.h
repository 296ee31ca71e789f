#pragma once

#include <QTranslator>

// Brings Qt's own texts (standard buttons, the file dialog) to the same
// translation as the runtime's resource strings: a text that the resource
// domains translate comes back translated; for any other Qt keeps its own.
class TResourceTranslator : public QTranslator {
public:
  using QTranslator::QTranslator;

  QString translate(const char* Context, const char* SourceText,
                    const char* Disambiguation = nullptr, int N = -1) const override;
  bool isEmpty() const override { return false; }
};
