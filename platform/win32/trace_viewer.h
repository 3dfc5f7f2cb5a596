// Windows-only control over which program the trace send starts (for the Windows tests).
#pragma once

namespace platform {

// Replaces the program file the trace send starts when no trace viewer window exists
// ("TRX.EXE"); null restores it. Tests use a name that does not exist so that lines sent
// by code under test never start a viewer. `program` must stay valid while it is in use
// (a string literal). Any thread.
void SetTraceViewerProgram(const char* program);

}  // namespace platform
