// Check failures: the yes/no box for a failed internal consistency check, and the fatal stop.
#pragma once

namespace kvp {

// Shows "File: <file>\nLine: <line>\nExpr: <expression>\nContinue?" in a task-modal yes/no
// box captioned "Check Failure" (no owner window). Returns only when the answer is Yes;
// any other answer ends the process with exit code 0. Any thread; it blocks until answered.
void CheckFailure(const char* file, int line, const char* expression);

// Ends the process at once with exit code 0.
void FatalStop();

}  // namespace kvp
