#include "scope/ScopeLink.h"

TScopeLink::TScopeLink(TByteSource* Source) : Decoder(State), Receiver(Source) {
  Receiver.OnFrame = [this](std::string_view Tag, int L, const std::uint8_t* Frame) {
    Decoder.DispatchFrame(Tag, L, Frame);
    if (OnFrameDone)
      OnFrameDone(Tag, L);
  };
}
