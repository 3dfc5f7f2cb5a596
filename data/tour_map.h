// The tour map's geometry: where the map window puts the world, where a node's marker goes,
// and the marker colours. The environment set draws with it; nothing here draws.
#pragma once

#include <cstdint>

namespace kvp {

struct MarkerColour {
  uint8_t red, green, blue;
};
constexpr MarkerColour kMarkerPosition{255, 255, 0};  // yellow: where the viewer stands
constexpr MarkerColour kMarkerLoaded{0, 0, 255};      // blue: loaded in the background
constexpr MarkerColour kMarkerFailed{255, 255, 255};  // white: background load failed

constexpr int32_t kMapPixelsPerUnit = 6;

// Where the map puts the world: origin offsets and the client size, 6 pixels per unit with a
// margin of twice the largest roaming radius around the capture points. Every value is cut to
// +-2^30 pixels; one that is not a number (nan) becomes 0.
struct MapGeometry {
  int32_t originX = 0, originY = 0;
  int32_t clientWidth = 0, clientHeight = 0;
};
MapGeometry ComputeMapGeometry(double minX, double maxX, double minY, double maxY,
                               double largestRadius);

// The rectangle (Rectangle's coordinates) of the marker of world point x, y on a map of that
// origin and current client height.
struct MapRectangle {
  int32_t left, top, right, bottom;
};
MapRectangle MarkerRectangle(double x, double y, int32_t originX, int32_t originY,
                             int32_t clientHeight);

}  // namespace kvp
