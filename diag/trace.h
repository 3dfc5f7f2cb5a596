// Trace forms: short diagnostic texts sent to the trace viewer program, fire and forget.
//
// Any thread may call any form; none takes a lock, none reports failure, and with no trace
// viewer the text is simply dropped (see platform::SendTrace). Pieces of one event are sent
// as separate calls in order, e.g. TraceValue("File I/O Error: %d ", code) then
// TraceLine(name), so that together they read as one line.
//
// Every form except TraceText builds its text in a buffer of kTraceLineBytes, so it holds at
// most kTraceLineBytes - 1 characters, an appended newline included; longer texts are cut so
// that the newline still fits.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kvp {

constexpr size_t kTraceLineBytes = 256;

// The text as it is, of any length. Null sends nothing.
void TraceText(const char* text);
// The text followed by "\n". Null counts as empty.
void TraceLine(const char* text);
// `format` (a printf format with one int conversion, a program constant) applied to `value`.
void TraceValue(const char* format, int32_t value);
// The same followed by "\n".
void TraceValueLine(const char* format, int32_t value);
// "%lg", "%s", "0%o" and "0x%X" applied to the value.
void TraceReal(double value);
void TraceString(const char* text);
void TraceOctal(int32_t value);
void TraceHex(int32_t value);

// The line a waiter sends when a lock wait times out (5000 ms) before it carries on: the BEL
// character and "*", as a line.
void TraceLockTimeout();

}  // namespace kvp
