#pragma once

// The start-up of a program's translation and of the serial component's
// messages, and their shutdown, for the life of the object: what the client
// and every tool that shows the port's messages (hxt24-dump) create first in
// main. Texts then follow LANG (or the user's locale) with the catalogs beside
// the executable, carried inside it, or installed.
//
// Nothing here stops the program: a catalog that cannot be used is told once
// on stderr, "<Program>: <message> (texts stay in English)", naming the file,
// and its texts stay in English; a start-up that fails is told the same way.
// One object per process.
class TProgramTranslation {
public:
  explicit TProgramTranslation(const char* Program);
  ~TProgramTranslation();
  TProgramTranslation(const TProgramTranslation&) = delete;
  TProgramTranslation& operator=(const TProgramTranslation&) = delete;
};
