// Projection mathematics: the transforms between screen, camera, picture and world.
#include "render/projection.h"

#include <cmath>
#include <cstdint>

#include "render/trig.h"  // same bits on every target, unlike the C library's functions

namespace kvp {

namespace {

// Axis components this small are treated as parallel to that pair of box faces, which keeps
// the face distance from being divided by (nearly) zero.
constexpr double kParallelTolerance = 1e-12;
// Face distance before any face is accepted, and the bound above which none was.
constexpr double kNoHit = 1e99;
constexpr double kNoHitLimit = 5e98;

double Dot(const double (&p)[3], const double (&q)[3]) {
  return p[0] * q[0] + p[1] * q[1] + p[2] * q[2];
}

double Length(double x, double y, double z) { return std::sqrt(x * x + y * y + z * z); }

}  // namespace

ViewRotation MakeViewRotation(double a, double b, double c) {
  const double ar = a * DEG2RAD, br = b * DEG2RAD, cr = c * DEG2RAD;
  return ViewRotation{trig::Cos(ar), trig::Sin(ar), trig::Cos(br),
                      trig::Sin(br), trig::Cos(cr), trig::Sin(cr)};
}

void ApplyViewRotation(const ViewRotation& r, double dX, double dY, double& X, double& Y,
                       double& Z) {
  X += dX;
  Y += dY;
  const double X1 = r.cosC * X + r.sinC * Y;
  const double Y1 = r.cosC * Y - r.sinC * X;
  const double Y2 = r.cosB * Y1 + r.sinB * Z;
  const double Z1 = r.cosB * Z - r.sinB * Y1;
  const double X2 = r.cosA * X1 - r.sinA * Z1;
  const double Z2 = r.cosA * Z1 + r.sinA * X1;
  X = X2;
  Y = Y2;
  Z = Z2;
}

void RotateView(double a, double b, double c, double dX, double dY, double& X, double& Y,
                double& Z) {
  ApplyViewRotation(MakeViewRotation(a, b, c), dX, dY, X, Y, Z);
}

double FocalLength(double width, double fov) {
  return width / (2.0 * trig::Tan(fov / 2.0 * DEG2RAD));
}

int DirectionToScreen(double a, double b, double c, double f, double xoff, double yoff, double g,
                      double h, double& x, double& y) {
  const double gr = g * DEG2RAD, hr = h * DEG2RAD;
  const double d[3] = {-trig::Sin(gr) * trig::Cos(hr), trig::Sin(hr), trig::Cos(gr) * trig::Cos(hr)};
  double ex[3] = {1, 0, 0}, ey[3] = {0, 1, 0}, ez[3] = {0, 0, 1};
  RotateView(a, b, c, 0, 0, ex[0], ex[1], ex[2]);
  RotateView(a, b, c, 0, 0, ey[0], ey[1], ey[2]);
  RotateView(a, b, c, 0, 0, ez[0], ez[1], ez[2]);
  const double depth = Dot(d, ez);
  // Negated form so that a NaN camera also counts as "not in front".
  if (!(depth > 0)) return 0;
  x = f * Dot(d, ex) / depth - xoff;
  y = f * Dot(d, ey) / depth - yoff;
  return 1;
}

Fixed16 TruncateToFixed(double value) {
  // A double outside the int32 range (or NaN) converted with a cast is undefined behaviour.
  if (std::isnan(value)) return 0;
  if (value >= 2147483648.0) return INT32_MAX;
  if (value <= -2147483649.0) return INT32_MIN;
  return static_cast<Fixed16>(value);
}

void MapToImage(double X, double Y, double Z, int32_t W, int32_t Hm, Fixed16& u, Fixed16& v) {
  const double theta = trig::Atan2(X, Z) * RAD2DEG;
  const double phi = trig::Atan2(Y, std::sqrt(X * X + Z * Z)) * RAD2DEG;
  // The order of operations fixes the last bit of the 16.16 result; keep it.
  u = TruncateToFixed(((theta + 180.0) * W / 360.0) * 65536.0);
  v = TruncateToFixed(((phi + 90.0) * Hm / 180.0) * 65536.0);
}

void ScreenToImage(const WarpCamera& cam, int32_t i, int32_t j, Fixed16& u, Fixed16& v) {
  double X = double(i) - double(cam.frameWidth / 2);
  double Y = double(j) - double(cam.frameHeight / 2);
  double Z = cam.focalLength;
  RotateView(cam.heading, cam.pitch, cam.roll, cam.xOffset, cam.yOffset, X, Y, Z);
  MapToImage(X, Y, Z, cam.pictureWidth, cam.pictureHm, u, v);
}

void XYZtoHP(const ViewPose& pose, double px, double py, double pz, double& heading,
             double& pitch) {
  const double toDegrees = 180.0 / (2.0 * std::acos(0.0));
  const double dx = px - pose.x, dy = py - pose.y, dz = pz - pose.z;
  const double d = std::sqrt(dx * dx + dy * dy);
  // Explicit zero: atan2 of signed zeros could give -0 or 180 for the viewer's own position.
  heading = (dx == 0 && dy == 0) ? 0.0 : trig::Atan2(-dx, dy) * toDegrees;
  pitch = (dz == 0 && d == 0) ? 0.0 : trig::Atan2(dz, d) * toDegrees;
}

bool CorrectParallax(const EnvironmentBox& box, const ViewPose& pose, const CapturePoint& capture,
                     double w, double& f, double& xoff, double& yoff) {
  const double focal = FocalLength(w, pose.fieldOfView);
  const double a0 = pose.heading * DEG2RAD, a1 = pose.pitch * DEG2RAD;
  const double o[3] = {pose.x, pose.y, pose.z};
  const double r[3] = {-trig::Sin(a0) * trig::Cos(a1), trig::Cos(a0) * trig::Cos(a1), trig::Sin(a1)};
  const double faces[3][2] = {{box.XMin, box.XMax}, {box.YMin, box.YMax}, {box.ZMin, box.ZMax}};

  // Nearest face ahead; on a tie the face tried first is kept (strict <).
  double best = kNoHit;
  double hit[3] = {0, 0, 0};
  for (int axis = 0; axis < 3; ++axis) {
    if (!(std::fabs(r[axis]) > kParallelTolerance)) continue;
    for (double face : faces[axis]) {
      const double t = (face - o[axis]) / r[axis];
      if (t > 0 && t < best) {
        for (int k = 0; k < 3; ++k) hit[k] = o[k] + t * r[k];
        best = t;
      }
    }
  }
  if (best > kNoHitLimit) return false;

  const double ratio = Length(capture.x - hit[0], capture.y - hit[1], capture.z - hit[2]) /
                       Length(o[0] - hit[0], o[1] - hit[1], o[2] - hit[2]);
  const double corrected = focal * ratio;

  // Direction from the capture point to the hit point. Its heading is measured with the
  // opposite sign to XYZtoHP, which mirrors the scene left to right. Mirroring the camera as
  // well (heading and roll negated) keeps the projection consistent: the mirrored camera sees
  // the hit point at (-x, y) where the true camera sees it at (x, y). So the offsets that put
  // the hit point under the screen centre are xoff = -x1 and yoff = +y1. (Negating y1 too, or
  // keeping the roll, would shift the view the wrong way whenever the viewer stands above,
  // below or beside the capture point with the view pitched or rolled.)
  const double ex = hit[0] - capture.x, ey = hit[1] - capture.y, ez = hit[2] - capture.z;
  const double g = trig::Atan2(ex, ey) * RAD2DEG;
  const double h = trig::Atan2(ez, std::sqrt(ex * ex + ey * ey)) * RAD2DEG;

  // A hit point behind this virtual camera has no screen position; the offsets then stay 0,
  // i.e. the plain camera of the pose with only the focal length corrected.
  double x1 = 0, y1 = 0;
  DirectionToScreen(-pose.heading, pose.pitch, -pose.roll, corrected, 0, 0, g, h, x1, y1);

  f = corrected;
  xoff = -x1;
  yoff = y1;
  return true;
}

int HPtoXY(const EnvironmentBox& box, const ViewPose& pose, const CapturePoint& capture, int32_t w,
           int32_t h, double g, double hp, double& x, double& y) {
  double f = 0, xoff = 0, yoff = 0;
  if (!CorrectParallax(box, pose, capture, w, f, xoff, yoff)) return 0;
  const int inFront =
      DirectionToScreen(pose.heading, pose.pitch, pose.roll, f, xoff, yoff, g, hp, x, y);
  x += w / 2;
  y += h / 2;
  return inFront;
}

}  // namespace kvp
