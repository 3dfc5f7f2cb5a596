// Trigonometry that gives the same bits on every target.
//
// The C libraries of the two builds (glibc natively, the MinGW runtime on Windows) round
// sin, cos, tan and atan2 differently in the last place, and a last-place difference at a
// block corner moves a picture coordinate by one 16.16 step, which can change a sampled
// pixel. These are plain IEEE double computations (no library calls, no fused multiply-adds),
// so with SSE2 arithmetic both builds produce identical results. Accuracy is within a couple
// of units in the last place of the correctly rounded value.
#pragma once

namespace kvp::trig {

double Sin(double x);
double Cos(double x);
double Tan(double x);
double Atan(double x);
double Atan2(double y, double x);

}  // namespace kvp::trig
