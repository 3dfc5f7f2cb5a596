// The trace viewer's line assembly: raw received texts in, finished display lines out.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace trx {

// Turns the texts the viewer receives into display lines. Pieces without a newline join the
// line that is still open, so TraceValue("Error: %d ", 5) followed by TraceLine("a.pan")
// shows as one line. Control characters are shown as ^X so that the BEL of the lock
// time-out line stays visible. Window thread only.
class LineAssembler {
 public:
  struct Update {
    bool replaceLast = false;         // the last shown line is still open and changes
    std::vector<std::string> lines;   // lines to show (the first replaces the open one)
  };

  // `bytes` is what arrived: `count` bytes, normally ending in the terminating zero. Text
  // after a zero, or a missing zero, is tolerated: the text ends at the first zero or at
  // `count`, whichever comes first.
  Update Add(const char* bytes, size_t count);

  // Forgets the open line (the Clear command).
  void Reset();

 private:
  bool open_ = false;       // the last shown line has no newline yet
  std::string openText_;    // its text
};

}  // namespace trx
