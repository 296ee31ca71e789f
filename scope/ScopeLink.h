#pragma once

#include <functional>
#include <string_view>

#include "scope/ScopeDecoder.h"
#include "scope/ScopeReceiver.h"
#include "scope/ScopeState.h"

// The scope link as the main window owns it: the state it shows, the decoder
// writing that state, and the receiver feeding the decoder. Set the byte
// source (the port), hook State.OnPanelChange and State.OnRepaint, and call
// ComPortRxChar(Count) from the port's received-characters event.
class TScopeLink {
public:
  using TFrameDoneEvent = std::function<void(std::string_view Tag, int L)>;

  explicit TScopeLink(TByteSource* Source = nullptr);
  TScopeLink(const TScopeLink&) = delete;
  TScopeLink& operator=(const TScopeLink&) = delete;

  void ComPortRxChar(int Count) { Receiver.ComPortRxChar(Count); }

  TScopeState State;
  TScopeDecoder Decoder;
  TScopeReceiver Receiver;
  // Fired after each frame has been decoded (and the picture repainted).
  TFrameDoneEvent OnFrameDone;
};
