// Portable sine, cosine, tangent and arc tangent from minimax polynomials.
#include "render/trig.h"

#include <cmath>

namespace kvp::trig {

namespace {

// pi/2 split for Cody-Waite reduction: the head has 33 significant bits, so k * head is
// exact for every quadrant count k below 2^20.
constexpr double kPio2Head = 1.57079632673412561417e+00;
constexpr double kPio2Tail = 6.07710050650619224932e-11;
constexpr double kTwoOverPi = 6.36619772367581382433e-01;

// Minimax coefficients of sin and cos on [-pi/4, pi/4].
constexpr double S1 = -1.66666666666666324348e-01, S2 = 8.33333333332248946124e-03,
                 S3 = -1.98412698298579493134e-04, S4 = 2.75573137070700676789e-06,
                 S5 = -2.50507602534068634195e-08, S6 = 1.58969099521155010221e-10;
constexpr double C1 = 4.16666666666666019037e-02, C2 = -1.38888888888741095749e-03,
                 C3 = 2.48015872894767294178e-05, C4 = -2.75573143513906633035e-07,
                 C5 = 2.08757232129817482790e-09, C6 = -1.13596475577881948265e-11;

double KernelSin(double x) {
  if (x == 0) return x;  // keeps the sign of zero
  const double z = x * x;
  const double v = z * x;
  const double r = S2 + z * (S3 + z * (S4 + z * (S5 + z * S6)));
  return x + v * (S1 + z * r);
}

double KernelCos(double x) {
  const double z = x * x;
  const double hz = 0.5 * z;
  const double w = 1.0 - hz;
  const double r = z * z * (C1 + z * (C2 + z * (C3 + z * (C4 + z * (C5 + z * C6)))));
  return w + (((1.0 - w) - hz) + r);
}

// Reduces x to y in [-pi/4, pi/4] with x = y + k * pi/2; returns k mod 4.
int Reduce(double x, double& y) {
  if (std::fabs(x) <= 7.85398163397448278999e-01) {
    y = x;
    return 0;
  }
  // Far beyond any angle the viewer uses: fold into one turn first (exact, so still the same
  // bits everywhere, though no longer an accurate sine of the original value).
  if (std::fabs(x) >= 1073741824.0) x = std::fmod(x, 6.28318530717958647692);
  const double k = std::nearbyint(x * kTwoOverPi);
  y = (x - k * kPio2Head) - k * kPio2Tail;
  const int quadrant = static_cast<int>(k) % 4;
  return quadrant < 0 ? quadrant + 4 : quadrant;
}

// Arc tangent: breakpoints and the values of atan there (head and tail).
constexpr double kAtanHi[4] = {4.63647609000806093515e-01, 7.85398163397448278999e-01,
                               9.82793723247329054082e-01, 1.57079632679489655800e+00};
constexpr double kAtanLo[4] = {2.26987774529616870924e-17, 3.06161699786838301793e-17,
                               1.39033110312309984516e-17, 6.12323399573676603587e-17};
constexpr double kAT[11] = {3.33333333333329318027e-01,  -1.99999999998764832476e-01,
                            1.42857142725034663711e-01,  -1.11111104054623557880e-01,
                            9.09088713343650656196e-02,  -7.69187620504482999495e-02,
                            6.66107313738753120669e-02,  -5.83357013379057348645e-02,
                            4.97687799461593236017e-02,  -3.65315727442169155270e-02,
                            1.62858201153657823623e-02};
constexpr double kPi = 3.1415926535897931160e+00;
constexpr double kPiLo = 1.2246467991473531772e-16;

// atan of a non-negative, non-NaN value.
double AtanPositive(double x) {
  if (x >= 7.3786976294838206464e19) return kAtanHi[3] + kAtanLo[3];  // 2^66: pi/2
  int id;
  if (x < 0.4375) {
    id = -1;
  } else if (x < 0.6875) {
    id = 0;
    x = (2.0 * x - 1.0) / (2.0 + x);
  } else if (x < 1.1875) {
    id = 1;
    x = (x - 1.0) / (x + 1.0);
  } else if (x < 2.4375) {
    id = 2;
    x = (x - 1.5) / (1.0 + 1.5 * x);
  } else {
    id = 3;
    x = -1.0 / x;
  }
  const double z = x * x;
  const double w = z * z;
  const double s1 =
      z * (kAT[0] + w * (kAT[2] + w * (kAT[4] + w * (kAT[6] + w * (kAT[8] + w * kAT[10])))));
  const double s2 = w * (kAT[1] + w * (kAT[3] + w * (kAT[5] + w * (kAT[7] + w * kAT[9]))));
  if (id < 0) return x - x * (s1 + s2);
  return kAtanHi[id] - ((x * (s1 + s2) - kAtanLo[id]) - x);
}

}  // namespace

double Sin(double x) {
  if (!std::isfinite(x)) return x - x;  // NaN
  double y;
  switch (Reduce(x, y)) {
    case 0: return KernelSin(y);
    case 1: return KernelCos(y);
    case 2: return -KernelSin(y);
    default: return -KernelCos(y);
  }
}

double Cos(double x) {
  if (!std::isfinite(x)) return x - x;
  double y;
  switch (Reduce(x, y)) {
    case 0: return KernelCos(y);
    case 1: return -KernelSin(y);
    case 2: return -KernelCos(y);
    default: return KernelSin(y);
  }
}

double Tan(double x) { return Sin(x) / Cos(x); }

double Atan(double x) {
  if (std::isnan(x)) return x;
  return std::signbit(x) ? -AtanPositive(-x) : AtanPositive(x);
}

double Atan2(double y, double x) {
  if (std::isnan(x) || std::isnan(y)) return x + y;
  const bool yNegative = std::signbit(y);
  double r;
  if (y == 0) {
    r = std::signbit(x) ? kPi : 0.0;
  } else if (x == 0) {
    r = kPi / 2;
  } else if (std::isinf(x) && std::isinf(y)) {
    r = x > 0 ? kPi / 4 : 3 * kPi / 4;
  } else {
    const double a = AtanPositive(std::fabs(y / x));
    r = x > 0 ? a : kPi - (a - kPiLo);
  }
  return yNegative ? -r : r;
}

}  // namespace kvp::trig
