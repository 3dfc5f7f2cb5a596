// The portable trigonometry against the C library, and its special values.
#include "render/trig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace kvp::trig {
namespace {

// Distance in units of the last place, measured at the reference's magnitude.
double Ulps(double got, double want) {
  if (got == want) return 0;
  const double ulp = std::nextafter(std::fabs(want), INFINITY) - std::fabs(want);
  return std::fabs(got - want) / ulp;
}

TEST(Trig, AgreesWithTheLibraryToAFewUlps) {
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> angle(-20, 20), any(-1e3, 1e3), unit(-1, 1);
  double worstSin = 0, worstCos = 0, worstAtan2 = 0;
  for (int i = 0; i < 200000; ++i) {
    const double a = angle(rng);
    // Near zeros of sin and cos the absolute error is what matters.
    worstSin = std::max(worstSin, std::fabs(a) > 1e-3 && std::fabs(std::sin(a)) > 1e-3
                                      ? Ulps(Sin(a), std::sin(a)) : 0.0);
    worstCos = std::max(worstCos, std::fabs(std::cos(a)) > 1e-3 ? Ulps(Cos(a), std::cos(a)) : 0.0);
    EXPECT_NEAR(Sin(a), std::sin(a), 1e-15);
    EXPECT_NEAR(Cos(a), std::cos(a), 1e-15);
    const double y = i % 2 ? any(rng) : unit(rng), x = i % 3 ? any(rng) : unit(rng);
    worstAtan2 = std::max(worstAtan2, Ulps(Atan2(y, x), std::atan2(y, x)));
  }
  EXPECT_LE(worstSin, 2.0);
  EXPECT_LE(worstCos, 2.0);
  EXPECT_LE(worstAtan2, 2.0);
  EXPECT_NEAR(Tan(30 * 3.14159265359 / 180), std::tan(30 * 3.14159265359 / 180), 1e-15);
}

TEST(Trig, SpecialValuesFollowTheLibraryConventions) {
  const double pi = 3.141592653589793;
  EXPECT_EQ(Sin(0.0), 0.0);
  EXPECT_EQ(Cos(0.0), 1.0);
  EXPECT_TRUE(std::signbit(Sin(-0.0)));
  EXPECT_EQ(Atan2(0.0, 1.0), 0.0);
  EXPECT_TRUE(std::signbit(Atan2(-0.0, 1.0)));
  EXPECT_EQ(Atan2(0.0, -1.0), pi);
  EXPECT_EQ(Atan2(-0.0, -1.0), -pi);
  EXPECT_EQ(Atan2(0.0, -0.0), pi);
  EXPECT_EQ(Atan2(1.0, 0.0), pi / 2);
  EXPECT_EQ(Atan2(-5.0, 0.0), -pi / 2);
  EXPECT_EQ(Atan2(1.0, 1.0), pi / 4);
  EXPECT_EQ(Atan2(1.0, -1.0), 3 * pi / 4);
  EXPECT_EQ(Atan2(1e300, 1e-300), pi / 2);
  EXPECT_EQ(Atan2(INFINITY, -INFINITY), 3 * pi / 4);
  EXPECT_TRUE(std::isnan(Atan2(NAN, 1.0)));
  EXPECT_TRUE(std::isnan(Sin(INFINITY)));
  EXPECT_TRUE(std::isnan(Cos(NAN)));
  // Huge arguments stay defined (and bounded) even though their reduction is coarse.
  EXPECT_LE(std::fabs(Sin(1e300)), 1.0);
  EXPECT_LE(std::fabs(Cos(-3e22)), 1.0);
}

}  // namespace
}  // namespace kvp::trig
