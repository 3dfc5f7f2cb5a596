// The tour map's geometry: six pixels per world unit around the capture points.
#include "data/tour_map.h"

namespace kvp {

MapGeometry ComputeMapGeometry(double minX, double maxX, double minY, double maxY,
                               double largestRadius) {
  const double scale = kMapPixelsPerUnit;
  MapGeometry g;
  g.originX = int32_t(-scale * (minX - 2 * largestRadius));
  g.originY = int32_t(-scale * (minY - 2 * largestRadius));
  g.clientWidth = int32_t(scale * (maxX - minX + 4 * largestRadius));
  g.clientHeight = int32_t(scale * (maxY - minY + 4 * largestRadius));
  return g;
}

MapRectangle MarkerRectangle(double x, double y, int32_t originX, int32_t originY,
                             int32_t clientHeight) {
  const double cx = kMapPixelsPerUnit * x + originX;
  const double cy = clientHeight - (kMapPixelsPerUnit * y + originY);
  return MapRectangle{int32_t(cx - 2), int32_t(cy - 2), int32_t(cx + 2), int32_t(cy + 2)};
}

}  // namespace kvp
