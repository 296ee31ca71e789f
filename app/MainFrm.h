#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "app/MainView.h"
#include "scope/ByteSource.h"
#include "scope/ScopeLink.h"

class TComPort;
class TIniFile;
class TPixelImage;
class TScopeRenderer;

// The one main window's behaviour, without any toolkit: all state of the link
// to the scope (the port with the scope's line settings, the receiver, the
// samples and panel texts, the picture), the menu state that follows the
// connection, config.ini, Connect and Disconnect, and the two exports. It
// reaches its windows only through the TMainView it is given; a front end
// builds the windows, forwards their commands here and shows what it is told.
//
// Everything runs on the main thread. A command's failure (a port that does
// not open, a file that cannot be written) leaves the command as an
// exception; the front end shows it with the default exception display.
class TMainForm {
public:
  static constexpr int DesignedWidth = 625;
  static constexpr int DesignedHeight = 375;
  static constexpr int MinWidth = 200;
  static constexpr int MinHeight = 150;
  static constexpr int MaxSize = 16384;
  static constexpr int PanelCount = 10;
  // The status bar's panels, left to right, in pixels.
  static constexpr std::array<int, PanelCount> PanelWidths = {45, 75, 75, 50, 50,
                                                              50, 50, 50, 50, 50};
  // The port dialog's text at the first Connect of a run.
  static constexpr const char* FirstPortName = "COM1";

  // Runs FormCreate: the port and its line settings, the receiver, the flat
  // trace, config.ini (IniFileName; the program passes ConfigFilePath()) with
  // the window's size set through View, the colours, the renderer, and the
  // port's received-characters handler. View must outlive the form; its
  // windows exist already (the core sets the window's size through it).
  TMainForm(TMainView& View, const std::string& IniFileName);
  // Runs FormDestroy: the port is closed first (a failure is shown, not
  // raised), then the port, the settings file and the picture are freed.
  ~TMainForm();
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  // The commands. A command whose menu item is disabled does nothing (it may
  // still arrive, queued before the state changed).
  void itConnectClick();
  void itDisconnectClick();
  void itExitClick();
  void itAboutClick();
  void tbbCaptureClick();
  void tbSavePlotClick();

  // The second half of Connect, as after OK in the port dialog: PortName
  // becomes the dialog's text, the port is named and opened (start-up's
  // --port and --demo use it).
  void ConnectTo(const std::string& PortName);

  // Whether the menu offers Command now (the core keeps the menu's state; the
  // view's items follow it).
  bool CommandEnabled(TMainCommand Command) const;
  // The text the port dialog shows at the next Connect.
  const std::string& PortName() const { return FPortName; }

  // The picture of the scope area, composed now from the samples at the
  // view's scope size (ScopeWidth x ScopeHeight): what the screen shows and
  // what the picture export saves. Valid until the next call.
  const TPixelImage& ScopePaint();

  TComPort& ComPort() { return *FComPort; }
  TScopeLink& ScopeLink() { return FLink; }
  const TScopeSamples& Samples() const { return FLink.State.Samples(); }
  // Panel Index (0 .. 9) as the status bar shows it.
  const std::string& PanelText(int Index) const;
  std::uint32_t TraceColor() const { return FTraceColor; }
  std::uint32_t GridColor() const { return FGridColor; }
  std::uint32_t BackColor() const { return FBackColor; }

private:
  // The receiver reads straight from the port.
  class TPortByteSource : public TByteSource {
  public:
    explicit TPortByteSource(TMainForm& Form) : FForm(Form) {}
    int ReadBytes(void* Buffer, int Count) override;

  private:
    TMainForm& FForm;
  };

  void FormCreate();
  void FormDestroy();
  void ResetTrace();
  void UpdateMenuState();
  void SetMenuState(bool Connected);
  void ComPortRxChar(std::int32_t Count);
  // The folder a save dialog starts in.
  std::string SaveFolder(TUserFolder Folder) const;

  TMainView& FView;
  std::unique_ptr<TComPort> FComPort;
  TPortByteSource FPortSource{*this};
  // Receiver state, FSamples and the panel texts.
  TScopeLink FLink;
  // Holds FBitmap, the off-screen picture.
  std::unique_ptr<TScopeRenderer> FRenderer;
  std::unique_ptr<TIniFile> FIniFile;
  std::uint32_t FTraceColor = 0;
  std::uint32_t FGridColor = 0;
  std::uint32_t FBackColor = 0;

  std::string FIniFileName;
  std::string FPortName = FirstPortName;
  bool FConnectEnabled = true;
  bool FDisconnectEnabled = false;
};

// A window size from config.ini, or the designed size when it lies outside
// [Min, TMainForm::MaxSize].
int CheckedWindowSize(std::int32_t Value, int Min, int Designed);
