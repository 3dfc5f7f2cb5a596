// Records shared by the loader, the renderer and the controller: poses, boxes, capture points.
#pragma once

namespace kvp {

// Where the viewer stands and looks. Angles in degrees: heading 0 looks along +y, heading 90
// along -x; pitch +90 looks straight up; fieldOfView spans the width of the screen.
struct ViewPose {
  double x = 0, y = 0, z = 0;
  double heading = 0, pitch = 0, roll = 0;
  double fieldOfView = 0;
};

// The bounds of one environment in world units; also the surface onto which its panorama is
// taken to be projected by the parallax correction.
struct EnvironmentBox {
  double XMin = 0, XMax = 0, YMin = 0, YMax = 0, ZMin = 0, ZMax = 0;
};

// Where a node's panorama was taken, in world units.
struct CapturePoint {
  double x = 0, y = 0, z = 0;
};

}  // namespace kvp
