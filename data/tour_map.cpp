// The tour map's geometry: six pixels per world unit around the capture points.
#include "data/tour_map.h"

namespace kvp {

namespace {

// Map pixels stay within +-2^30, so that offsets, the marker's +-2 and a window frame added
// to them still fit an int. Nodes far away (x = 1e300) or not numbers at all (nan) come from
// hostile descriptions: converting them unclamped is undefined behaviour.
constexpr double kMaxMapPixels = 1073741824.0;

int32_t ToPixels(double v) {
  if (!(v == v)) return 0;  // nan: no place on the map; the map origin stands in
  if (v > kMaxMapPixels) v = kMaxMapPixels;
  if (v < -kMaxMapPixels) v = -kMaxMapPixels;
  return int32_t(v);  // truncates toward zero
}

}  // namespace

MapGeometry ComputeMapGeometry(double minX, double maxX, double minY, double maxY,
                               double largestRadius) {
  const double scale = kMapPixelsPerUnit;
  MapGeometry g;
  g.originX = ToPixels(-scale * (minX - 2 * largestRadius));
  g.originY = ToPixels(-scale * (minY - 2 * largestRadius));
  g.clientWidth = ToPixels(scale * (maxX - minX + 4 * largestRadius));
  g.clientHeight = ToPixels(scale * (maxY - minY + 4 * largestRadius));
  return g;
}

MapRectangle MarkerRectangle(double x, double y, int32_t originX, int32_t originY,
                             int32_t clientHeight) {
  const double cx = kMapPixelsPerUnit * x + originX;
  const double cy = clientHeight - (kMapPixelsPerUnit * y + originY);
  return MapRectangle{ToPixels(cx - 2), ToPixels(cy - 2), ToPixels(cx + 2), ToPixels(cy + 2)};
}

}  // namespace kvp
