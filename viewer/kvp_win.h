// CKVPWin: the window in which a plug-in instance shows its panorama (embedded in the page, or
// free-standing as the external viewer), its mouse navigation and hot-spot activation.
//
// Everything here runs on the thread that created the window (the browser's user-interface
// thread); the controller's render thread draws into the window on its own.
#pragma once

#include <cstdint>
#include <memory>

#include "plugin/npapi.h"
#include "viewer/framework.h"

namespace kvp {

class PanoramaController;

// Flags of the play-video operation.
constexpr uint32_t kPlayInterrupt = 1;  // close a device that is still open first
constexpr uint32_t kPlayNotify = 8;     // MM_MCINOTIFY to the window when the clip ends
// Results of the play-video operation.
constexpr int kPlayStarted = 0;
constexpr int kPlayBusy = 1;
constexpr int kPlayFailed = 2;

// The window's multimedia device: the short path of the file whose MCI device is open (also
// its device name), empty when none is open, and a remembered video placement. MCI failures
// are not reported to the user: a failed open leaves no device, a failed later command closes
// it again. Window thread only.
struct MediaPlayer {
  char deviceName[256] = {};
  RECT placement = {0, 0, 0, 0};

  bool IsOpen() const { return deviceName[0] != '\0'; }
  // "close <name>" when a device is open; the name is emptied whatever the result.
  void CloseDevice();
  // Stops whatever PlaySound is playing.
  static void StopSound();

  // Plays a sound file from its start on a device of its own, which stays open after the
  // sound ends (until the next clip, a reset or the window's release). `window` is the one
  // whose clips' notifications a closed device leaves behind.
  void PlayWave(const char* fileName, HWND window);

  // Plays a video file in a popup owned by `window`, laid over `rectangle` (client
  // coordinates of `window`); without a rectangle over the window's client area as first
  // seen, without a window too over the whole screen. kPlayBusy (nothing done) when a device
  // is open and `flags` lacks kPlayInterrupt; kPlayFailed when MCI refuses the clip.
  int PlayVideo(const char* fileName, uint32_t flags, HWND window, const RECT* rectangle);
};

// Steering values for a pointer at (x, y) in a client area of width x height: a runs from
// about +60 at the left edge to -60 at the right, b from +60 at the top to -60 at the bottom.
struct Steering {
  int32_t a;
  int32_t b;
};
Steering SteeringFor(int32_t x, int32_t y, int32_t width, int32_t height);

// The drawing rectangle of a thumbnail in a client area of width x height: half the area,
// each side rounded up to the next multiple of 32, centred.
RECT ThumbnailRectangle(int32_t width, int32_t height);

class CKVPWin : public CWnd {
 public:
  // The embedded window: a hidden child covering the parent's client rectangle.
  CKVPWin(HWND parent, int32_t left, int32_t top, int32_t right, int32_t bottom, NPP instance);
  // The external viewer: a top-level window with its own controller on `fileName`.
  CKVPWin(HWND parent, int32_t left, int32_t top, int32_t right, int32_t bottom,
          const char* fileName, NPP instance);
  ~CKVPWin() override;

  // Shows the panorama file: thumbnail 1 for a preview, 0 for the full panorama. Returns 0
  // when the open failed, 1 otherwise.
  int ResisterPanorama(const char* fileName, int thumbnail);

  // Hot-spot targets that arrived as streams.
  int PlayMultiMedia(const char* fileName);
  int PlaceSprite(const char* fileName);

  // A press at the client point (x, y) offered to the hot spots: 1 when it was used here.
  int ActivateHotspot(int32_t x, int32_t y);

  PanoramaController* controller = nullptr;  // owned
  CKVPWin* externalViewer = nullptr;          // owned
  MediaPlayer player;
  NPP instance = nullptr;
  int16_t pendingHotspot = -1;
  HCURSOR cursorMove = nullptr;
  HCURSOR cursorArrow = nullptr;
  HCURSOR cursorWait = nullptr;
  int32_t thumbnailMode = 0;

 protected:
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  void LoadCursors();
  // Close and free the controller; with it goes the player's device and any sound.
  void Release();
  // Opens a controller on the file for this window; on failure shows the reason and keeps
  // none. The wait cursor is up while the file loads.
  bool OpenController(const char* fileName);
  void Steer(const Steering& s, bool shift, double headingFactor);
  void StopMotion();

  LRESULT OnPaint(WPARAM, LPARAM);
  LRESULT OnLButtonDown(WPARAM, LPARAM);
  LRESULT OnRButtonDown(WPARAM, LPARAM);
  LRESULT OnLButtonUp(WPARAM, LPARAM);
  LRESULT OnRButtonUp(WPARAM, LPARAM);
  LRESULT OnMouseMove(WPARAM, LPARAM);
  LRESULT OnKey(WPARAM, LPARAM);
  LRESULT OnClose(WPARAM, LPARAM);
  LRESULT OnDestroy(WPARAM, LPARAM);
  LRESULT OnSetCursor(WPARAM, LPARAM);
  LRESULT OnHelp(WPARAM, LPARAM);
  LRESULT OnSaveAs(WPARAM, LPARAM);
  LRESULT OnResetPanorama(WPARAM, LPARAM);
  LRESULT OnAbout(WPARAM, LPARAM);
  LRESULT OnLaunchExternalViewer(WPARAM, LPARAM);
  LRESULT OnMciNotify(WPARAM, LPARAM);

  static const MessageMapEntry<CKVPWin> kMessageMap[];
  static const size_t kMessageMapSize;
};

// Command identifiers of menu 129.
constexpr UINT kCommandSaveAs = 32771;
constexpr UINT kCommandAbout = 32773;
constexpr UINT kCommandResetPanorama = 32774;
constexpr UINT kCommandHelp = 32775;
constexpr UINT kCommandLaunchExternalViewer = 32777;

}  // namespace kvp
