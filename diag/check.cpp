// Check failures: the yes/no box and the process end, through the platform seam.
#include "diag/check.h"

#include <cstdio>

#include "platform/platform.h"

namespace kvp {

void CheckFailure(const char* file, int line, const char* expression) {
  char text[1024];
  std::snprintf(text, sizeof text, "File: %s\nLine: %d\nExpr: %s\nContinue?", file ? file : "",
                line, expression ? expression : "");
  const int answer = platform::ShowMessageBox(text, "Check Failure",
                                              platform::kMbYesNo | platform::kMbTaskModal);
  if (answer != platform::kIdYes) platform::ExitProcess(0);
}

void FatalStop() { platform::ExitProcess(0); }

}  // namespace kvp
