// Web side of the trace send, message boxes, process end and screen facts.
#include <cstdlib>

#include "platform/common/side.h"
#include "platform/platform.h"
#include "platform/web/web_side.h"

namespace platform {

namespace {

web::MessageSink gSink = nullptr;
void* gSinkUser = nullptr;

}  // namespace

namespace web {

void SetMessageSink(MessageSink sink, void* user) {
  gSink = sink;
  gSinkUser = user;
}

}  // namespace web

namespace side {

// There is no trace viewer to send to in a page.
void SendTrace(const char*) {}

// The page shows the box; nobody can answer it while the core waits, so the caller carries on
// as with OK (or Yes).
int ShowMessageBox(const char* text, const char* caption, uint32_t style) {
  if (gSink != nullptr) {
    gSink(text != nullptr ? text : "", caption != nullptr ? caption : "", gSinkUser);
  }
  return (style & 0xF) == kMbYesNo ? kIdYes : kIdOk;
}

void ExitProcess(uint32_t) { std::abort(); }

// The canvas holds 24-bit colour (its alpha is always opaque).
uint16_t ScreenBitsPerPixel() { return 24; }

}  // namespace side

bool IsWindowsNT() { return false; }

}  // namespace platform
