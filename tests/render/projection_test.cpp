// Tests for the projection mathematics: rotations, picture mapping, screen round trips,
// parallax correction and the direction/point helpers.
#include "render/projection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <random>
#include <utility>

namespace kvp {
namespace {

constexpr double kSentinel = -12345.0;

TEST(Projection, ConversionFactorsUseElevenDecimalPi) {
  EXPECT_EQ(DEG2RAD, 0.017453292519944444);
  EXPECT_EQ(RAD2DEG, 57.29577951307855);
}

TEST(Projection, RotateViewAxesFollowHeadingPitchRoll) {
  // The forward axis looks along D(a, b) whatever the roll.
  for (double a : {0.0, 37.0, 90.0, 180.0, 291.0})
    for (double b : {-60.0, 0.0, 25.0})
      for (double c : {0.0, 45.0, -120.0}) {
        SCOPED_TRACE(testing::Message() << a << " " << b << " " << c);
        double X = 0, Y = 0, Z = 1;
        RotateView(a, b, c, 0, 0, X, Y, Z);
        const double ar = a * DEG2RAD, br = b * DEG2RAD;
        EXPECT_NEAR(X, -std::sin(ar) * std::cos(br), 1e-12);
        EXPECT_NEAR(Y, std::sin(br), 1e-12);
        EXPECT_NEAR(Z, std::cos(ar) * std::cos(br), 1e-12);
      }
  // Roll 90 turns the screen's right into its down.
  double X = 1, Y = 0, Z = 0;
  RotateView(0, 0, 90, 0, 0, X, Y, Z);
  EXPECT_NEAR(X, 0, 1e-12);
  EXPECT_NEAR(Y, -1, 1e-12);
  // Offsets are added before rotating: at heading 90 the screen's right is world +y.
  X = Y = Z = 0;
  RotateView(90, 0, 0, 5, 0, X, Y, Z);
  EXPECT_NEAR(X, 0, 1e-9);
  EXPECT_NEAR(Z, 5, 1e-9);
}

TEST(Projection, TruncateToFixedIsDefinedEverywhere) {
  EXPECT_EQ(TruncateToFixed(1.9), 1);
  EXPECT_EQ(TruncateToFixed(-1.9), -1);
  EXPECT_EQ(TruncateToFixed(2147483647.9), INT32_MAX);
  EXPECT_EQ(TruncateToFixed(-2147483648.9), INT32_MIN);
  EXPECT_EQ(TruncateToFixed(-1e300), INT32_MIN);
  EXPECT_EQ(TruncateToFixed(std::numeric_limits<double>::quiet_NaN()), 0);
  // A picture too wide for 16.16 saturates instead of wrapping to a negative column.
  Fixed16 u = 0, v = 0;
  MapToImage(0, 0, -1, 40000, 19999, u, v);
  EXPECT_EQ(u, INT32_MAX);
}

TEST(Projection, ScreenCentreMapsToPictureLandmarks) {
  // Odd frame sizes: the centre pixel by integer halving is (320, 240).
  WarpCamera cam{0, 0, 0, 400, 0, 0, 641, 481, 1004, 501};
  const int32_t full = cam.pictureWidth * 65536;
  Fixed16 u = 0, v = 0;

  ScreenToImage(cam, 320, 240, u, v);
  EXPECT_EQ(u, cam.pictureWidth * 32768);
  EXPECT_EQ(v, cam.pictureHm * 32768);

  // Larger headings move left in the picture: heading 90 is a quarter of the way across.
  cam.heading = 90;
  ScreenToImage(cam, 320, 240, u, v);
  EXPECT_NEAR(u, full / 4, 1);

  // Heading 180 lands on the seam, at one end of the picture or the other.
  cam.heading = 180;
  ScreenToImage(cam, 320, 240, u, v);
  EXPECT_TRUE(u <= 1 || (u >= full - 1 && u <= full)) << u;

  // The poles reach the top and bottom rows and never go beyond them.
  cam.heading = 0;
  cam.pitch = 90;
  ScreenToImage(cam, 320, 240, u, v);
  EXPECT_GE(v, cam.pictureHm * 65536 - 1);
  EXPECT_LE(v, cam.pictureHm * 65536);
  cam.pitch = -90;
  ScreenToImage(cam, 320, 240, u, v);
  EXPECT_GE(v, 0);
  EXPECT_LE(v, 1);
}

TEST(Projection, DirectionToScreenFailsAtOrBehindTheScreenPlane) {
  for (double g : {90.0, -90.0, 180.0, 135.0}) {
    double x = kSentinel, y = kSentinel;
    EXPECT_EQ(DirectionToScreen(0, 0, 0, 500, 3, 4, g, 0, x, y), 0) << g;
    EXPECT_EQ(x, kSentinel);
    EXPECT_EQ(y, kSentinel);
  }
  double x = kSentinel, y = kSentinel;
  EXPECT_EQ(DirectionToScreen(0, 30, 0, 500, 0, 0, 0, -70, x, y), 0);  // below the plane
  EXPECT_EQ(DirectionToScreen(0, 0, 0, 500, 0, 0, std::nan(""), 0, x, y), 0);
  EXPECT_EQ(x, kSentinel);
  EXPECT_EQ(DirectionToScreen(0, 0, 0, 500, 0, 0, 89, 0, x, y), 1);
  EXPECT_LT(x, -500 * 50);  // far to the left, not mirrored
}

TEST(Projection, ScreenRaysRoundTripThroughDirectionToScreen) {
  std::mt19937 rng(1234);
  std::uniform_real_distribution<double> heading(-180, 360), pitch(-85, 85), roll(-180, 180),
      offset(-50, 50), focal(100, 2000), unit(0, 1);
  for (int n = 0; n < 500; ++n) {
    const double a = heading(rng), b = pitch(rng), c = roll(rng);
    const double f = focal(rng), xoff = offset(rng), yoff = offset(rng);
    const int w = 640, h = 480;
    const int i = int(unit(rng) * w), j = int(unit(rng) * h);
    double X = i - w / 2.0, Y = j - h / 2.0, Z = f;
    RotateView(a, b, c, xoff, yoff, X, Y, Z);
    // Heading and pitch of the ray: the inverse of D(g, h).
    const double g = std::atan2(-X, Z) * RAD2DEG;
    const double hp = std::atan2(Y, std::sqrt(X * X + Z * Z)) * RAD2DEG;
    double x = kSentinel, y = kSentinel;
    ASSERT_EQ(DirectionToScreen(a, b, c, f, xoff, yoff, g, hp, x, y), 1);
    EXPECT_NEAR(x, i - w / 2.0, 1e-6);
    EXPECT_NEAR(y, j - h / 2.0, 1e-6);
  }
}

TEST(Projection, ScreenToImageAgreesWithDirectionToScreen) {
  // Reading the picture coordinates back as a direction must land on the same pixel,
  // measured from the integer-halved centre of an odd-sized frame.
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> heading(0, 360), pitch(-80, 80), roll(-30, 30),
      offset(-40, 40), unit(0, 1);
  WarpCamera cam{0, 0, 0, 300, 0, 0, 333, 255, 4096, 2047};
  for (int n = 0; n < 300; ++n) {
    cam.heading = heading(rng);
    cam.pitch = pitch(rng);
    cam.roll = roll(rng);
    cam.xOffset = offset(rng);
    cam.yOffset = offset(rng);
    const int32_t i = int32_t(unit(rng) * cam.frameWidth);
    const int32_t j = int32_t(unit(rng) * cam.frameHeight);
    Fixed16 u = 0, v = 0;
    ScreenToImage(cam, i, j, u, v);
    const double g = 180.0 - u / 65536.0 * 360.0 / cam.pictureWidth;
    const double hp = v / 65536.0 * 180.0 / cam.pictureHm - 90.0;
    double x = 0, y = 0;
    ASSERT_EQ(DirectionToScreen(cam.heading, cam.pitch, cam.roll, cam.focalLength, cam.xOffset,
                                cam.yOffset, g, hp, x, y),
              1);
    EXPECT_NEAR(x, i - cam.frameWidth / 2, 1e-3);
    EXPECT_NEAR(y, j - cam.frameHeight / 2, 1e-3);
  }
}

const EnvironmentBox kBox{-10, 10, -10, 10, -10, 10};

ViewPose Pose(double x, double y, double z, double heading, double pitch, double roll = 0) {
  return ViewPose{x, y, z, heading, pitch, roll, 75};
}

TEST(Projection, ParallaxVanishesAtTheCapturePoint) {
  for (const ViewPose& p : {Pose(0, 0, 0, 0, 0), Pose(3, -2, 1, 123, 40, 17),
                            Pose(-9, 9, 0, 250, -70, -90), Pose(0, 0, 0, 10, 90)}) {
    double f = 0, xoff = kSentinel, yoff = kSentinel;
    ASSERT_TRUE(CorrectParallax(kBox, p, CapturePoint{p.x, p.y, p.z}, 640, f, xoff, yoff));
    EXPECT_EQ(f, FocalLength(640, p.fieldOfView));
    EXPECT_NEAR(xoff, 0, 1e-9);
    EXPECT_NEAR(yoff, 0, 1e-9);
  }
}

TEST(Projection, ParallaxScalesAndShiftsTowardTheHitPoint) {
  const double f0 = FocalLength(640, 75);
  double f = 0, xoff = 0, yoff = 0;
  // Twice as far from the wall as the capture point: half the focal length, no shift.
  ASSERT_TRUE(
      CorrectParallax(kBox, Pose(0, -10, 0, 0, 0), CapturePoint{0, 0, 0}, 640, f, xoff, yoff));
  EXPECT_NEAR(f, f0 / 2, 1e-9);
  EXPECT_NEAR(xoff, 0, 1e-9);

  // Capture point off the view ray: the centre ray, cast from the capture point, must pass
  // through the point the viewer looks at, (-10 tan 30, 10, 0).
  const CapturePoint c{2, -1, 0};
  const double hitX = -10 * std::tan(30 * DEG2RAD);
  ASSERT_TRUE(CorrectParallax(kBox, Pose(0, 0, 0, 30, 0), c, 640, f, xoff, yoff));
  EXPECT_NEAR(f, f0 * std::hypot(hitX - c.x, 10 - c.y) / std::hypot(hitX, 10), 1e-9);
  double X = 0, Y = 0, Z = f;
  RotateView(30, 0, 0, xoff, yoff, X, Y, Z);  // camera (X, Y, Z) is world (x, z, y)
  EXPECT_NEAR((hitX - c.x) * Z - (10 - c.y) * X, 0, 1e-9 * f);
  EXPECT_GT((hitX - c.x) * X + (10 - c.y) * Z, 0);

  // Capture point beyond the wall: the hit point is behind its camera, which has no screen
  // position for it, so only the focal length is corrected.
  xoff = yoff = kSentinel;
  ASSERT_TRUE(
      CorrectParallax(kBox, Pose(0, 0, 0, 30, 20), CapturePoint{-10, 25, 8}, 640, f, xoff, yoff));
  EXPECT_EQ(xoff, 0);
  EXPECT_EQ(yoff, 0);
}

TEST(Projection, ParallaxCentreRayFromTheCaptureHitsWhatTheViewerLooksAt) {
  // For any viewer pose inside the box, the corrected camera's centre ray, cast from the
  // capture point, must pass through the point where the viewer's own view ray meets the box.
  // This catches a sign slip in either offset and a roll that is not mirrored.
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> pos(-6, 6), head(-180, 180), pitch(-70, 70),
      roll(-60, 60);
  int checked = 0;
  for (int n = 0; n < 500; ++n) {
    const ViewPose p = Pose(pos(rng), pos(rng), pos(rng) / 3, head(rng), pitch(rng), roll(rng));
    const CapturePoint c{pos(rng) / 2, pos(rng) / 2, pos(rng) / 6};
    double f = 0, xoff = 0, yoff = 0;
    ASSERT_TRUE(CorrectParallax(kBox, p, c, 640, f, xoff, yoff));
    // The viewer's hit point, found independently by marching along the view ray.
    const double r[3] = {-std::sin(p.heading * DEG2RAD) * std::cos(p.pitch * DEG2RAD),
                         std::cos(p.heading * DEG2RAD) * std::cos(p.pitch * DEG2RAD),
                         std::sin(p.pitch * DEG2RAD)};
    double t = 1e99;
    const double o[3] = {p.x, p.y, p.z};
    const double lo[3] = {kBox.XMin, kBox.YMin, kBox.ZMin}, hi[3] = {kBox.XMax, kBox.YMax, kBox.ZMax};
    for (int k = 0; k < 3; ++k) {
      if (r[k] > 1e-12) t = std::min(t, (hi[k] - o[k]) / r[k]);
      if (r[k] < -1e-12) t = std::min(t, (lo[k] - o[k]) / r[k]);
    }
    const double e[3] = {o[0] + t * r[0] - c.x, o[1] + t * r[1] - c.y, o[2] + t * r[2] - c.z};
    // Skip hit points behind the capture point's camera: there the offsets are 0 by choice.
    double X = 0, Y = 0, Z = f;
    RotateView(p.heading, p.pitch, p.roll, xoff, yoff, X, Y, Z);  // camera (X,Y,Z) = world (x,z,y)
    const double ray[3] = {X, Z, Y};
    const double dot = ray[0] * e[0] + ray[1] * e[1] + ray[2] * e[2];
    if (xoff == 0 && yoff == 0) continue;
    const double cross[3] = {ray[1] * e[2] - ray[2] * e[1], ray[2] * e[0] - ray[0] * e[2],
                             ray[0] * e[1] - ray[1] * e[0]};
    const auto norm = [](const double* v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); };
    EXPECT_GT(dot, 0);
    EXPECT_NEAR(norm(cross) / (norm(ray) * norm(e)), 0, 1e-9)  // sine of the angle between
        << "pose " << p.x << "," << p.y << "," << p.z << " " << p.heading << "/" << p.pitch
        << "/" << p.roll;
    ++checked;
  }
  EXPECT_GT(checked, 400);
}

TEST(Projection, ParallaxIgnoresNearlyParallelFaces) {
  // The viewer stands a hair inside the YMin face. Looking along -x, or straight up, the view
  // ray's y component is about -1e-13, which would hit that face almost at once; the
  // tolerance skips it, so the x face (or the ceiling) 10 units ahead is used, and a capture
  // point halfway there halves the focal length.
  const double y0 = -10 + 1e-13, f0 = FocalLength(640, 75);
  double f = 0, xoff = 0, yoff = 0;
  ASSERT_TRUE(
      CorrectParallax(kBox, Pose(0, y0, 0, 90, 0), CapturePoint{-5, y0, 0}, 640, f, xoff, yoff));
  EXPECT_NEAR(f, f0 / 2, 1e-6);
  ASSERT_TRUE(
      CorrectParallax(kBox, Pose(0, y0, 0, 0, 90), CapturePoint{0, y0, 5}, 640, f, xoff, yoff));
  EXPECT_NEAR(f, f0 / 2, 1e-6);
}

TEST(Projection, ParallaxFailsWithoutAFaceAheadAndWritesNothing) {
  const EnvironmentBox degenerate{};
  for (const auto& [box, pose] :
       {std::pair{kBox, Pose(0, 20, 0, 0, 0)}, std::pair{kBox, Pose(0, 20, 30, 0, 45)},
        std::pair{degenerate, Pose(0, 0, 0, 30, 10)},
        std::pair{kBox, Pose(0, 0, 0, std::nan(""), 0)}}) {
    double f = kSentinel, xoff = kSentinel, yoff = kSentinel;
    EXPECT_FALSE(CorrectParallax(box, pose, CapturePoint{}, 640, f, xoff, yoff));
    EXPECT_EQ(f, kSentinel);
    EXPECT_EQ(xoff, kSentinel);
    EXPECT_EQ(yoff, kSentinel);
    double x = kSentinel, y = kSentinel;
    EXPECT_EQ(HPtoXY(box, pose, CapturePoint{}, 640, 480, 0, 0, x, y), 0);
    EXPECT_EQ(x, kSentinel);
    EXPECT_EQ(y, kSentinel);
  }
}

TEST(Projection, HPtoXYPlacesDirectionsOnTheFrame) {
  const ViewPose p = Pose(1, 2, 3, 40, 20, 10);
  const CapturePoint self{p.x, p.y, p.z};
  double x = 0, y = 0;
  ASSERT_EQ(HPtoXY(kBox, p, self, 641, 481, 40, 20, x, y), 1);
  EXPECT_NEAR(x, 320, 1e-9);
  EXPECT_NEAR(y, 240, 1e-9);
  // 37.5 degrees to the left of the view centre is the left edge of a 75-degree view.
  ASSERT_EQ(HPtoXY(kBox, Pose(0, 0, 0, 0, 0), CapturePoint{}, 640, 480, 37.5, 0, x, y), 1);
  EXPECT_NEAR(x, 0, 1e-6);
  // Behind the viewer: failure, with the halves still added to the untouched outputs.
  x = y = kSentinel;
  EXPECT_EQ(HPtoXY(kBox, p, self, 641, 481, 220, 0, x, y), 0);
  EXPECT_EQ(x, kSentinel + 320);
  EXPECT_EQ(y, kSentinel + 240);
}

TEST(Projection, XYZtoHPMeasuresFromTheViewer) {
  const ViewPose p = Pose(5, -3, 2, 77, 11);
  double heading = kSentinel, pitch = kSentinel;
  XYZtoHP(p, 5, -3, 2, heading, pitch);
  EXPECT_EQ(heading, 0);
  EXPECT_EQ(pitch, 0);
  // Full-precision pi here: -x is heading 90 to the last bits.
  XYZtoHP(p, 1, -3, 2, heading, pitch);
  EXPECT_DOUBLE_EQ(heading, 90);
  EXPECT_EQ(pitch, 0);
  XYZtoHP(p, 9, -3, 2, heading, pitch);
  EXPECT_DOUBLE_EQ(heading, -90);
  XYZtoHP(p, 5, -4, 2, heading, pitch);
  EXPECT_DOUBLE_EQ(std::fabs(heading), 180);
  XYZtoHP(p, 5, -3, 9, heading, pitch);
  EXPECT_DOUBLE_EQ(pitch, 90);
  XYZtoHP(p, 6, -3, 1, heading, pitch);
  EXPECT_DOUBLE_EQ(pitch, -45);
}

}  // namespace
}  // namespace kvp
