// Trace forms: formatting into the 256-byte line and handing it to the platform's send.
#include "diag/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace kvp {

namespace {

struct LineBuffer {
  char text[kTraceLineBytes];
};

// Formats into the line buffer, cut to fit, leaving room for a newline when `newline` is set,
// then sends. snprintf cuts at the buffer rather than overrunning it, which is the rule.
void SendFormatted(bool newline, const char* format, ...) {
  LineBuffer line;
  const size_t room = newline ? kTraceLineBytes - 1 : kTraceLineBytes;
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(line.text, room, format, args);
  va_end(args);
  if (n < 0) return;  // an encoding error leaves nothing worth sending
  size_t length = std::strlen(line.text);
  if (newline) {
    line.text[length++] = '\n';
    line.text[length] = '\0';
  }
  platform::SendTrace(line.text);
}

}  // namespace

void TraceText(const char* text) { platform::SendTrace(text); }

void TraceLine(const char* text) { SendFormatted(true, "%s", text ? text : ""); }

void TraceValue(const char* format, int32_t value) {
  if (format == nullptr) return;
  SendFormatted(false, format, value);
}

void TraceValueLine(const char* format, int32_t value) {
  if (format == nullptr) return;
  SendFormatted(true, format, value);
}

void TraceReal(double value) { SendFormatted(false, "%lg", value); }

void TraceString(const char* text) { SendFormatted(false, "%s", text ? text : ""); }

void TraceOctal(int32_t value) { SendFormatted(false, "0%o", static_cast<unsigned>(value)); }

void TraceHex(int32_t value) { SendFormatted(false, "0x%X", static_cast<unsigned>(value)); }

void TraceLockTimeout() { TraceLine("\a*"); }

}  // namespace kvp
