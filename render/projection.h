// Projection mathematics: screen rays, equirectangular picture coordinates, directions and
// 3-D points on screen, and the parallax correction for a viewer away from the capture point.
//
// Coordinate systems used throughout:
//   World      x, y horizontal, z up, in the units of the panorama description.
//   Direction  heading and pitch in degrees. Heading 0 looks along +y, heading 90 along -x
//              (counter-clockwise seen from above); pitch is the elevation, +90 straight up.
//   Camera     X to the screen's right, Y up, Z forward. A world direction (dx, dy, dz) has
//              camera components (dx, dz, dy) before the view rotation, so the direction
//              (g, h) is D(g, h) = (-sin g cos h, sin h, cos g cos h).
//   Screen     column i from the left, row j from the bottom (bottom-up frame); screen-relative
//              coordinates are (i - w/2, j - h/2).
//   Image      u across, v up, both 16.16 fixed point; row 0 is the picture's bottom row.
//
// Callers: the frame renderer (sprite placement through HPtoXY, the parallax-corrected camera
// through CorrectParallax), the warp engine (RotateView, MapToImage, ScreenToImage,
// DirectionToScreen for the poles) and the hot-spot lookup (HPtoXY, XYZtoHP).
// Every function here is a pure computation: no state, no allocation, no locks, so any thread
// may call any of them at any time.
#pragma once

#include <cstdint>

#include "data/types.h"

namespace kvp {

// Picture coordinate in 16.16 fixed point (value * 65536).
using Fixed16 = int32_t;

// Degree/radian factors built from pi written with eleven decimals (0.017453292519944444 and
// 57.29577951307855). Picture columns, the seam and the pole rows are defined by exactly these
// factors, so they must not be replaced by full-precision ones.
constexpr double DEG2RAD = 3.14159265359 / 180.0;
constexpr double RAD2DEG = 180.0 / 3.14159265359;

// Rotates a camera-space vector in place: first shifts it by the screen offsets (dX, dY),
// then rolls by c, pitches by b and turns to heading a (degrees). The warp engine builds its
// corner rays and block steps with it. Cannot fail.
void RotateView(double a, double b, double c, double dX, double dY, double& X, double& Y,
                double& Z);

// The sines and cosines of one camera's heading a, pitch b and roll c, for callers that
// rotate many vectors with the same camera. ApplyViewRotation gives exactly RotateView's bits.
struct ViewRotation {
  double cosA, sinA, cosB, sinB, cosC, sinC;
};
ViewRotation MakeViewRotation(double a, double b, double c);
void ApplyViewRotation(const ViewRotation& r, double dX, double dY, double& X, double& Y,
                       double& Z);

// Focal length in pixels of a frame `width` pixels wide whose horizontal field of view is
// `fov` degrees.
double FocalLength(double width, double fov);

// Where the direction (heading g, pitch h) appears on the screen of the camera (heading a,
// pitch b, roll c, focal length f, offsets xoff/yoff), in screen-relative pixels: the ray the
// warp draws at pixel (i, j) maps back to (i - w/2, j - h/2). Returns 1 on success and 0 when
// the direction is not strictly in front of the screen plane; x and y are then left as they
// were. Used by the warp engine's pole pass and by HPtoXY.
int DirectionToScreen(double a, double b, double c, double f, double xoff, double yoff, double g,
                      double h, double& x, double& y);

// Converts a 16.16 picture coordinate held as a double to Fixed16, truncating toward zero.
// Values outside the int32 range saturate and NaN gives 0, so the conversion is always
// defined; the warp engine refuses pictures large enough to reach the saturated range.
Fixed16 TruncateToFixed(double value);

// Maps a camera-space vector to 16.16 picture coordinates of an equirectangular picture whose
// width spans 360 degrees in W pixels (W already rounded up to a multiple of 4) and whose
// height minus one is Hm. u runs over [0, W * 65536] (both ends are the seam behind heading
// 180), v over [0, Hm * 65536]. With W or Hm of 32768 or more the top of the range does not
// fit 16.16 and saturates (see TruncateToFixed). Used by the warp's block corners.
void MapToImage(double X, double Y, double Z, int32_t W, int32_t Hm, Fixed16& u, Fixed16& v);

// A camera as the warp takes it: where it looks, its focal length, and the screen offsets
// of the parallax correction.
struct ViewCamera {
  double heading = 0, pitch = 0, roll = 0;  // degrees
  double focalLength = 0;                   // pixels
  double xOffset = 0, yOffset = 0;
};

// The camera the warp engine sets up for one frame; ScreenToImage reads it.
struct WarpCamera {
  double heading = 0, pitch = 0, roll = 0;  // degrees
  double focalLength = 0;                   // pixels
  double xOffset = 0, yOffset = 0;          // screen offsets from the parallax correction
  int32_t frameWidth = 0, frameHeight = 0;
  int32_t pictureWidth = 0;  // W: already rounded up to a multiple of 4
  int32_t pictureHm = 0;     // picture height - 1
};

// 16.16 picture coordinates shown at frame pixel (i, j). The frame size is halved with
// integer division here (unlike the exact halves of the block rays), which is what the
// warp's pole pass expects of its subdivision points.
void ScreenToImage(const WarpCamera& cam, int32_t i, int32_t j, Fixed16& u, Fixed16& v);

// Heading and pitch (degrees) under which the viewer at `pose` sees the world point
// (px, py, pz). The viewer's own position gives 0, 0. Cannot fail. Used by the hot-spot
// lookup.
void XYZtoHP(const ViewPose& pose, double px, double py, double pz, double& heading, double& pitch);

// Parallax correction: follows the view ray of `pose` to the first face of `box` ahead of the
// viewer, and returns the focal length f and screen offsets that make the panorama taken at
// `capture` show that point at the screen centre with the right scale, for a frame `w` pixels
// wide. Returns false, writing nothing, when no face lies ahead (viewer outside the box looking
// away, or a degenerate box). Called by the warp engine's set-up and by HPtoXY.
bool CorrectParallax(const EnvironmentBox& box, const ViewPose& pose, const CapturePoint& capture,
                     double w, double& f, double& xoff, double& yoff);

// Frame pixel position (x, y) of the direction (g, hp) for a w x h frame under the
// parallax-corrected camera of `pose`. Returns 0 without writing x and y when the parallax
// correction fails. Otherwise returns DirectionToScreen's flag, and x, y receive the integer
// halves w/2 and h/2 added even on failure (to whatever they held), which callers ignore since
// they skip the object. The frame renderer (sprites) and the hot-spot lookup pass the pose
// itself as the capture point, so only the box test can fail for them.
int HPtoXY(const EnvironmentBox& box, const ViewPose& pose, const CapturePoint& capture, int32_t w,
           int32_t h, double g, double hp, double& x, double& y);

}  // namespace kvp
