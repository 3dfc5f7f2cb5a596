// The controller without a window: opening images and descriptions, the description keys,
// failures, the view setters and the per-frame motion.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "controller/panorama_controller.h"
#include "data/environment_set.h"
#include "tests/data/tour_files.h"
#include "tests/diag/capture.h"
#include "tests/test_files.h"

namespace kvp {
namespace {

using test::TempDir;

class Controller : public ::testing::Test {
 protected:
  // A container of a flat 8-bit image, optionally carrying an initial view.
  std::string Image(const std::string& name, int32_t width, int32_t height,
                    const ViewFields& view = {}) {
    std::vector<uint8_t> table(kColourTableSize, 0);
    std::vector<uint8_t> pixels(size_t(width) * size_t(height), 7);
    const PackedImage image = authoring::MakePackedImage(width, height, 8, pixels, table, view);
    return dir_.Write(name, test::Container(image));
  }

  // A description of one node; `keys` go on the end of the product section.
  std::string Description(const std::string& keys) {
    Image("a.pan", 64, 32);
    return dir_.Write("tour.ini", "[Directory]\na.pan=0,0,0,0\n[Kestrelvue]\nVERSION=Release 2.0\n" + keys);
  }

  std::string OpenFailureText(const char* file) {
    test::Capture capture;  // a codec that is missing shows a box; nobody is there to answer
    PanoramaController c;
    try {
      c.Open(file, nullptr, 0, 0, 5);
    } catch (const OpenFailure& failure) {
      EXPECT_FALSE(c.IsOpen());
      return failure.what();
    }
    return "opened";
  }

  TempDir dir_;
};

TEST_F(Controller, FieldOfViewFollowsTheImageHeight) {
  const struct {
    int32_t height;
    double fov;
  } cases[] = {{1024, 90}, {512, 120}, {2048, 60}, {4096, 60}, {768, 112.5}};
  for (const auto& one : cases) {
    PanoramaController c;
    c.Open(Image("h.pan", one.height * 2, one.height).c_str(), nullptr, 0, 0, 5);
    double h, p, r, fov;
    ASSERT_EQ(c.GetView(h, p, r, fov), kStatusDone);
    EXPECT_EQ(fov, one.fov) << one.height;
    EXPECT_EQ(h, 0);
  }
}

TEST_F(Controller, ViewFieldsOfTheHeaderGiveTheInitialView) {
  PanoramaController c;
  ViewFields view;
  view.fov = 45;
  view.heading = -30;
  view.pitch = 10;
  c.Open(Image("v.pan", 256, 128, view).c_str(), nullptr, 0, 0, 5);
  double h, p, r, fov;
  c.GetView(h, p, r, fov);
  EXPECT_EQ(fov, 45);
  EXPECT_EQ(h, -30);
  EXPECT_EQ(p, 10);
  EXPECT_EQ(r, 0);

  for (int16_t out : {0, 180}) {
    view.fov = out;
    PanoramaController d;
    d.Open(Image("w.pan", 256, 1024, view).c_str(), nullptr, 0, 0, 5);
    d.GetView(h, p, r, fov);
    EXPECT_EQ(fov, 90) << out;
    EXPECT_EQ(h, 0) << out;
    EXPECT_EQ(p, 0) << out;
  }
}

TEST_F(Controller, AnImageOpensWithItsRecordSetUp) {
  PanoramaController c;
  c.Open(Image("a.pan", 64, 32).c_str(), nullptr, 0, 0, 5);
  EXPECT_TRUE(c.IsOpen());
  EXPECT_EQ(c.renderThread, nullptr);
  EXPECT_EQ(c.adaptiveRate, 0);
  EXPECT_EQ(c.frameRate, 30);
  EXPECT_EQ(c.envCount, 0);
  ASSERT_EQ(c.boxes.size(), 1u);
  EXPECT_EQ(c.boxes[0].XMin, -1000);
  EXPECT_EQ(c.boxes[0].ZMax, 1000);
  EXPECT_EQ(c.frame.projection, 0);
  EXPECT_EQ(c.sprites.size(), 5u);
  EXPECT_EQ(c.sprites[4]->controller, &c);
  EXPECT_EQ(c.hotspotCount, 0);
  EXPECT_EQ(c.frame.paletteResetPending, 1);
  EXPECT_NE(c.warper, nullptr);

  // Without a window nothing can be animated, and the adaptive rate cannot be chosen.
  EXPECT_EQ(c.RequestFrames(1, 1), kStatusNotOpen);
  EXPECT_EQ(c.SetFrameRate(0), kStatusRefused);
  EXPECT_EQ(c.SetFrameRate(12), kStatusDone);
  EXPECT_EQ(c.frameRate, 12);

  c.Close();
  EXPECT_FALSE(c.IsOpen());
  EXPECT_EQ(c.SetView(0, 0, 0, 75, 0), kStatusNotOpen);
  c.Close();  // a second close does nothing
}

TEST_F(Controller, OpenFailuresCarryTheirTexts) {
  EXPECT_EQ(OpenFailureText(nullptr), "Invalid Path Name");
  EXPECT_EQ(OpenFailureText(dir_.Write("junk.pan", std::string("nothing here")).c_str()),
            "Invalid File");
  EXPECT_EQ(OpenFailureText(Description("").c_str()), "opened");
  for (const char* version : {"release 2.0", "Release 2.01", "", "Release 2.0.", "Release  2.0"}) {
    const std::string file = dir_.Write(
        "bad.ini", std::string("[Kestrelvue]\nVERSION=") + version +
                       "\n[Directory]\na.pan=0,0,0,0\n");
    EXPECT_EQ(OpenFailureText(file.c_str()), "Invalid File") << version;
  }
  // A container whose image no installed codec decodes.
  std::vector<uint8_t> frame = test::InfoHeaderBytes(64, 32, 24, FourCC("ZZZZ"), 100);
  frame.resize(frame.size() + 100, 0x33);
  EXPECT_EQ(OpenFailureText(dir_.Write("odd.pan", authoring::BuildContainer({{"BTMP", frame}}))
                                .c_str()),
            "File Not Readable");
}

TEST_F(Controller, ReopeningClosesTheFirstPanorama) {
  PanoramaController c;
  c.Open(Image("a.pan", 64, 32).c_str(), nullptr, 0, 0, 2);
  c.SetView(10, 0, 0, 50, 0);
  c.Open(Image("b.pan", 128, 1024).c_str(), nullptr, 0, 0, 3);
  double h, p, r, fov;
  c.GetView(h, p, r, fov);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(fov, 90);
  EXPECT_EQ(c.sprites.size(), 3u);
}

TEST_F(Controller, DescriptionBoxesAndProjection) {
  PanoramaController c;
  c.Open(Description("Environment Count=2\nProjection=5\n[Directory 1]\na.pan=0,0,0,0\n"
                     "[Directory 2]\na.pan=5,0,0,0\n[Environment 1]\nXMin=-1500\n"
                     "XMax=2500\nZMax=7\n[Environment]\nYMin=-20\n")
             .c_str(),
         nullptr, 0, 0, 5);
  EXPECT_EQ(c.envCount, 2);
  ASSERT_EQ(c.boxes.size(), 3u);
  EXPECT_EQ(c.boxes[0].XMin, -1.5);
  EXPECT_EQ(c.boxes[0].XMax, 2.5);
  EXPECT_EQ(c.boxes[0].YMin, -1000);
  EXPECT_EQ(c.boxes[0].ZMax, 0.007);
  // Environment 2 has no section: the defaults.
  EXPECT_EQ(c.boxes[1].XMin, -1000);
  EXPECT_EQ(c.boxes[1].YMax, 1000);
  EXPECT_EQ(c.boxes[2].YMin, -0.02);
  EXPECT_EQ(c.boxes[2].XMax, 1000);
  EXPECT_EQ(c.frame.projection, 5);

  PanoramaController plain;
  plain.Open(Description("").c_str(), nullptr, 0, 0, 5);
  EXPECT_EQ(plain.envCount, 0);
  ASSERT_EQ(plain.boxes.size(), 1u);
  EXPECT_EQ(plain.boxes[0].XMin, -1000);
  EXPECT_EQ(plain.frame.projection, 1);

  // A negative count means no numbered environments.
  PanoramaController negative;
  negative.Open(Description("Environment Count=-3\n[Environment]\nXMin=1\n").c_str(), nullptr,
                0, 0, 5);
  EXPECT_EQ(negative.envCount, 0);
  ASSERT_EQ(negative.boxes.size(), 1u);
  EXPECT_EQ(negative.boxes[0].XMin, 0.001);
}

TEST_F(Controller, DescriptionHotSpots) {
  PanoramaController c;
  c.Open(Description("[HOT SPOTS]\n3)target.avt=1.5 2 0 0.5 0.5 0.25\nplain=1 2 3 4 5 6\n"
                     "short)=1 2\nwords)a)b=\n")
             .c_str(),
         nullptr, 0, 0, 5);
  ASSERT_EQ(c.hotspotCount, 4);
  char link[32];
  double x, y, z;

  Hotspot* first = c.GetHotspot(0);
  ASSERT_NE(first, nullptr);
  first->GetCentre(x, y, z);
  EXPECT_EQ(x, 1.5);
  EXPECT_EQ(y, 2);
  EXPECT_EQ(z, 0);
  first->GetExtent(x, y, z);
  EXPECT_EQ(x, 0.5);
  EXPECT_EQ(z, 0.25);
  first->GetLink(link, sizeof link);
  EXPECT_STREQ(link, "target.avt");
  EXPECT_EQ(first->enabled, 1);
  EXPECT_EQ(first->controller, &c);

  c.GetHotspot(1)->GetLink(link, sizeof link);
  EXPECT_STREQ(link, "");
  c.GetHotspot(1)->GetExtent(x, y, z);
  EXPECT_EQ(z, 6);

  // Numbers a value leaves out are 0.
  c.GetHotspot(2)->GetCentre(x, y, z);
  EXPECT_EQ(x, 1);
  EXPECT_EQ(y, 2);
  EXPECT_EQ(z, 0);
  c.GetHotspot(2)->GetExtent(x, y, z);
  EXPECT_EQ(x, 0);

  // An empty value is the default "0.0 0.0 0.0 0.0"; the link starts after the first ")".
  c.GetHotspot(3)->GetLink(link, sizeof link);
  EXPECT_STREQ(link, "a)b");
  EXPECT_EQ(c.GetHotspot(4), nullptr);
  EXPECT_EQ(c.GetHotspot(-1), nullptr);
}

TEST_F(Controller, SetViewWrapsAnglesAndKeepsTheFieldOfView) {
  PanoramaController c;
  c.Open(Image("a.pan", 64, 32).c_str(), nullptr, 0, 0, 5);
  EXPECT_EQ(c.SetView(190, -190, 540, 75, 0), kStatusDone);
  double h, p, r, fov;
  c.GetView(h, p, r, fov);
  EXPECT_EQ(h, -170);
  EXPECT_EQ(p, 170);
  EXPECT_EQ(r, 180);
  EXPECT_EQ(fov, 75);
  EXPECT_EQ(WrapAngle(-180), 180);
  EXPECT_EQ(WrapAngle(180), 180);
  EXPECT_EQ(WrapAngle(-540), 180);

  // Beyond the limits until the next frame, which clamps it and says so.
  c.SetView(0, 0, 0, 200, 0);
  c.GetView(h, p, r, fov);
  EXPECT_EQ(fov, 200);
  int movement = -1;
  EXPECT_EQ(c.MotionStep(movement), kViewLimited);
  EXPECT_EQ(movement, 0);
  c.GetView(h, p, r, fov);
  EXPECT_EQ(fov, 170);
  EXPECT_EQ(c.MotionStep(movement), 0);  // a value at its limit is left alone
}

TEST_F(Controller, MotionStepTurnsZoomsAndMoves) {
  PanoramaController c;
  c.Open(Image("a.pan", 64, 32).c_str(), nullptr, 0, 0, 5);
  int movement;

  // 30 degrees a second at 30 frames: a degree a frame, wrapping from 180 to -179.
  c.SetView(178, 0, 0, 75, 0);
  c.SetHeadingMotion(30, -1, 0);
  for (double expected : {179.0, 180.0, -179.0, -178.0}) {
    c.MotionStep(movement);
    EXPECT_NEAR(c.heading, expected, 1e-9);
  }
  EXPECT_EQ(c.headingFrames, -1);

  // A counted motion stops by itself.
  c.SetZoomMotion(-30, 2, 0);
  c.MotionStep(movement);
  c.MotionStep(movement);
  c.MotionStep(movement);
  EXPECT_EQ(c.fieldOfView, 73);
  EXPECT_EQ(c.fovFrames, 0);

  // Forward at 1 unit a second, 10 frames a second, for three frames, heading 90 (along -x).
  c.SetHeadingMotion(0, 0, 0);
  c.SetFrameRate(10);
  c.SetTravelDirection(90, 0, 0);
  c.SetForwardMotion(1.0, 3, 0);
  const int expectedMovement[] = {1, 1, 0, 0};
  for (int frame = 0; frame < 4; ++frame) {
    c.MotionStep(movement);
    EXPECT_EQ(movement, expectedMovement[frame]) << frame;
  }
  EXPECT_NEAR(c.x, -0.3, 1e-12);
  EXPECT_NEAR(c.y, 0, 1e-12);
  EXPECT_EQ(c.forwardFrames, 0);

  // Negative zero counts as no speed.
  c.SetForwardMotion(-0.0, -1, 0);
  c.MotionStep(movement);
  EXPECT_EQ(movement, 0);
}

TEST_F(Controller, LimitsClampInOrderAndFlag) {
  PanoramaController c;
  c.Open(Image("a.pan", 64, 32).c_str(), nullptr, 0, 0, 5);
  const int32_t thumbnail[8] = {-360, 360, 0, 0, 0, 0, 60, 60};
  EXPECT_EQ(c.SetViewLimits(2, thumbnail), kStatusDone);
  c.SetView(40, 20, -10, 90, 0);
  int movement;
  EXPECT_EQ(c.MotionStep(movement), kViewLimited);
  double h, p, r, fov;
  c.GetView(h, p, r, fov);
  EXPECT_EQ(h, 40);
  EXPECT_EQ(p, 0);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(fov, 60);

  const int32_t inverted[8] = {-360, 360, -360, 360, -360, 360, 200, 5};
  c.SetViewLimits(2, inverted);
  EXPECT_EQ(c.fovMin, 170);
  EXPECT_EQ(c.fovMax, 10);
  c.SetViewLimits(2, nullptr);
  EXPECT_EQ(c.fovMin, 10);
  EXPECT_EQ(c.fovMax, 170);
  EXPECT_EQ(c.pitchMin, -360);

  const int32_t rectangle[4] = {10, 20, 110, 220};
  c.SetViewLimits(1, rectangle);
  EXPECT_EQ(c.frame.rectangleInForce, 1);
  EXPECT_EQ(c.frame.bottom, 220);
  c.SetViewLimits(1, nullptr);
  EXPECT_EQ(c.frame.rectangleInForce, 0);
  EXPECT_EQ(c.SetViewLimits(3, rectangle), kStatusRefused);
}

TEST_F(Controller, FrameRateRefusals) {
  PanoramaController c;
  c.Open(Image("a.pan", 64, 32).c_str(), nullptr, 0, 0, 5);
  EXPECT_EQ(c.SetFrameRate(31), kStatusRefused);
  EXPECT_EQ(c.SetFrameRate(-31), kStatusRefused);
  EXPECT_EQ(c.SetFrameRate(30), kStatusDone);
  int16_t rate = 0;
  EXPECT_EQ(c.GetFrameRate(rate), kStatusDone);
  EXPECT_EQ(rate, 30);
  PanoramaController closed;
  EXPECT_EQ(closed.SetFrameRate(10), kStatusNotOpen);
  EXPECT_EQ(closed.GetFrameRate(rate), kStatusNotOpen);
  EXPECT_EQ(closed.SetViewLimits(1, nullptr), kStatusNotOpen);
  EXPECT_EQ(closed.SetNotifyTarget(nullptr, 0), kStatusNotOpen);
}

}  // namespace
}  // namespace kvp
