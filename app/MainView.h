#pragma once

#include <string>

// The commands whose enabled state follows the connection.
enum class TMainCommand { mcConnect, mcDisconnect };

// The user's own folders a save dialog may start in (home: the last resort).
enum class TUserFolder { ufPictures, ufDocuments, ufHome };

// What a save dialog offers: the filter line ("Bitmap (*.bmp)") and its
// pattern ("*.BMP"; a front end whose dialog matches names case-sensitively
// may show the filter line's own pattern instead), the extension added to a
// name typed without one ("bmp"), the proposed name ("plot.bmp") and the
// folder it starts in.
struct TSaveRequest {
  std::string Filter;
  std::string Pattern;
  std::string DefaultExt;
  std::string FileName;
  std::string InitialDir;
};

// What the client core (TMainForm) needs of the windows a front end builds:
// the main window with its menu, status bar and scope area, and the two
// dialogs. The core calls these on the main thread only, from its commands,
// its start-up and the port's received-characters event; none of them may
// call back into the core except where said. A front end builds its windows,
// forwards their commands to the core and implements this; it keeps no state
// of the connection of its own. FakeMainView (tests) records every call.
class TMainView {
public:
  virtual ~TMainView() = default;

  // Enables or disables a command in the menu (and its shortcut with it).
  virtual void SetCommandEnabled(TMainCommand Command, bool Enabled) = 0;
  // Status bar panel Index (0 .. 9) shows Text, cut at the panel's edge.
  virtual void SetPanelText(int Index, const std::string& Text) = 0;
  // The scope area is drawn again now: before this returns, the front end has
  // put the core's picture on the screen. It may call back for it here and in
  // any paint of its own (an expose, a resize): TMainForm::ScopePaint()
  // composes it at ScopeWidth() x ScopeHeight(); a front end that composes
  // straight into its own pixels draws the same picture from the core's
  // Samples() and colours with a TScopeRenderer of its own.
  virtual void RepaintScope() = 0;
  // The scope area's size in logical pixels (0 before it has one).
  virtual int ScopeWidth() const = 0;
  virtual int ScopeHeight() const = 0;
  // The main window's size in pixels, frame included, as the settings file
  // gives it; the front end keeps it within the screen's free area.
  virtual int WindowWidth() const = 0;
  virtual int WindowHeight() const = 0;
  virtual void SetWindowSize(int Width, int Height) = 0;

  // Shows the port dialog modally with PortName as its text. On return
  // PortName holds the text as the user left it (picked or typed, unchanged),
  // after OK and after Cancel alike; the result is true for OK.
  virtual bool AskPortName(std::string& PortName) = 0;
  // Shows a save dialog modally; returns the chosen file's full name, or ""
  // after Cancel. An existing file is chosen without a question.
  virtual std::string AskSaveFileName(const TSaveRequest& Request) = 0;
  // The user's pictures, documents or home folder, "" when there is none.
  virtual std::string UserFolder(TUserFolder Folder) const = 0;
  // Shows the about dialog modally.
  virtual void ShowAbout() = 0;
  // Closes the main window, which ends the program once the loop sees it; the
  // core's destructor runs as the window goes.
  virtual void CloseMainWindow() = 0;
};
