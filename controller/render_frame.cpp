// One frame: size the buffers to the window, advance the view, fetch the image of the nearest
// node, warp it (or reuse the still view's cached warp), draw the sprites and blit.
// Render thread only, with the controller lock held for the whole frame.
#include "controller/panorama_controller.h"
#include "data/environment_set.h"
#include "data/packed_image.h"
#include "platform/platform.h"
#include "render/warp_engine.h"

namespace kvp {

int16_t PanoramaController::RenderFrame() {
  // What an image request that asks again undoes.
  const double savedX = x, savedY = y, savedZ = z;
  const double savedSpeed = forwardSpeed;
  const int32_t savedFrames = forwardFrames;

  int32_t left = 0, top = 0, right = 0, bottom = 0;
  if (frame.rectangleInForce != 0) {
    left = frame.left;
    top = frame.top;
    right = frame.right;
    bottom = frame.bottom;
  } else {
    platform::ClientSize(window, right, bottom);
  }
  if (right == 0 || bottom == 0) return kNoFrame;
  // An inside-out rectangle has nothing to draw either.
  if (right <= left || bottom <= top) return kNoFrame;
  if (!SizeFrameBuffers(frame, cache, RoundUpTo32(right - left), RoundUpTo32(bottom - top))) {
    return kNoFrame;
  }

  int movement = 0;
  const int16_t flags = MotionStep(movement);

  ViewPose pose = LivePose();
  ViewPose centre;
  const uint8_t* image = nullptr;
  int32_t environment = 1;
  const int result = environmentSet->RequestImage(pose, centre, image, environment, movement);
  BitmapInfoHeader header;
  if (image != nullptr) {
    header = ReadInfoHeader(image);
    frame.bitsPerPixel = int16_t(header.bitCount);
  }
  int32_t boxIndex = environment - 1;
  if (boxIndex < 0 || boxIndex > envCount) boxIndex = envCount;
  const EnvironmentBox box = boxes[size_t(boxIndex)];

  switch (result) {
    case kAskAgain:
    case kStillLoading:
      x = savedX;
      y = savedY;
      z = savedZ;
      forwardSpeed = savedSpeed;
      forwardFrames = savedFrames;
      return flags;
    case kNodeIsBlocked:
      x = savedX;
      y = savedY;
      z = savedZ;
      break;
    case kPoseClamped:
      x = pose.x;
      y = pose.y;
      z = pose.z;
      break;
    default:
      break;
  }
  if (image == nullptr) return flags;

  // The viewer always stands at the height of the panorama's capture point.
  const ViewPose renderPose{pose.x, pose.y, centre.z, pose.heading,
                            pose.pitch, pose.roll, pose.fieldOfView};
  z = centre.z;

  // The slot's header is the frame's header too; the warp may give an 8-bit image its
  // colour count, as the blit expects.
  WarpSource source;
  source.image = const_cast<uint8_t*>(image);
  WarpWithCache(*warper, frame, cache, box, renderPose, CapturePoint{centre.x, centre.y, centre.z},
                source);
  UpdateTickCounting();

  AnimateAndDrawSprites(spriteStates.data(), int32_t(spriteStates.size()), frameRate, x, y, z,
                        box, renderPose, frame.buffer.get(), frame.width, frame.height,
                        frame.bitsPerPixel);

  BlitFrameToWindow(window, source.image, frame);
  frame.paletteResetPending = 0;
  return flags;
}

}  // namespace kvp
