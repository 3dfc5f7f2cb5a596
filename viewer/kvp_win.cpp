// CKVPWin: construction, panorama hand-over, the message map, mouse navigation, the context
// menu's commands and hot-spot activation.
#include "viewer/kvp_win.h"

// Before <windowsx.h>, whose message-cracker macros would rewrite the seam's names.
#include "platform/platform.h"

#include <mmsystem.h>
#include <windowsx.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "controller/panorama_controller.h"
#include "plugin/plugin.h"

namespace kvp {

namespace {

constexpr DWORD kEmbeddedExStyle = WS_EX_CLIENTEDGE;
constexpr DWORD kEmbeddedStyle = WS_CHILD;
constexpr DWORD kExternalExStyle = WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE;
constexpr DWORD kExternalStyle = WS_POPUP | WS_OVERLAPPEDWINDOW;
constexpr const char* kTitle = "KVP Window";

constexpr int32_t kUnlimited = -1;
constexpr int32_t kStopped = 0;
constexpr int kLinkBufferSize = 512;
constexpr int16_t kKindSprite = 2;
constexpr int16_t kKindHotspot = 4;

platform::Window* AsWindow(HWND hwnd) { return reinterpret_cast<platform::Window*>(hwnd); }

InstanceData* Record(NPP instance) {
  return instance != nullptr ? static_cast<InstanceData*>(instance->pdata) : nullptr;
}

// The link of hot spot `index`, cut to 511 characters; empty when there is none.
void LinkOf(PanoramaController* controller, int32_t index, char (&link)[kLinkBufferSize]) {
  std::memset(link, 0, sizeof link);
  if (Hotspot* spot = controller->GetHotspot(index)) spot->GetLink(link, kLinkBufferSize - 1);
}

}  // namespace

// ---- Player --------------------------------------------------------------------------------------

namespace {

constexpr const char* kCloseCommand = "close %s";

// Formats one MCI command and sends it; the MCI error code, 0 on success.
uint32_t SendCommand(HWND callback, const char* pattern, ...)
    __attribute__((format(printf, 2, 3)));
uint32_t SendCommand(HWND callback, const char* pattern, ...) {
  char command[512];
  va_list arguments;
  va_start(arguments, pattern);
  std::vsnprintf(command, sizeof command, pattern, arguments);
  va_end(arguments);
  return platform::SendMciCommand(command, AsWindow(callback));
}

// The file's short path, which names its MCI device. False when the file has none that fits
// the device name: then no command names it, since an empty or cut name would address no
// device or the wrong one.
bool ShortPathOf(const char* fileName, char (&name)[256]) {
  name[0] = '\0';
  const uint32_t length = platform::GetShortPath(fileName, name, sizeof name);
  if (length == 0 || length >= sizeof name) {
    name[0] = '\0';
    return false;
  }
  return true;
}

// Closing a clip that still plays makes MCI post the clip's notification to the window. Handled
// after the next clip has started, it would close that one instead, so a clip that interrupts
// another drops the closed device's notifications first.
void DropNotifications(HWND window) {
  MSG message;
  while (window != nullptr &&
         PeekMessageA(&message, window, MM_MCINOTIFY, MM_MCINOTIFY, PM_REMOVE | PM_NOYIELD)) {
  }
}

}  // namespace

void MediaPlayer::CloseDevice() {
  if (!IsOpen()) return;
  SendCommand(nullptr, kCloseCommand, deviceName);
  deviceName[0] = '\0';
}

void MediaPlayer::StopSound() { platform::StopWaveSound(); }

void MediaPlayer::PlayWave(const char* fileName, HWND window) {
  if (IsOpen()) {
    CloseDevice();
    DropNotifications(window);
  }
  StopSound();
  char name[256];
  if (!ShortPathOf(fileName, name)) return;
  if (SendCommand(nullptr, "open %s", name) != 0) return;
  std::memcpy(deviceName, name, sizeof deviceName);
  if (SendCommand(nullptr, "play %s from %s", name, "0") != 0) CloseDevice();
}

int MediaPlayer::PlayVideo(const char* fileName, uint32_t flags, HWND window,
                           const RECT* rectangle) {
  if (flags & kPlayInterrupt) {
    if (IsOpen()) {
      CloseDevice();
      DropNotifications(window);
    }
    StopSound();
  } else if (IsOpen()) {
    return kPlayBusy;
  }

  POINT origin = {0, 0};
  int32_t width = 0, height = 0;
  if (rectangle != nullptr) {
    origin = {rectangle->left, rectangle->top};
    if (window != nullptr) ClientToScreen(window, &origin);
    width = rectangle->right - rectangle->left;
    height = rectangle->bottom - rectangle->top;
  } else if (window != nullptr) {
    if (placement.left == 0 && placement.top == 0 && placement.right == 0 &&
        placement.bottom == 0) {
      ::GetClientRect(window, &placement);
    }
    ClientToScreen(window, &origin);
    width = placement.right;
    height = placement.bottom;
  } else {
    width = GetSystemMetrics(SM_CXSCREEN);
    height = GetSystemMetrics(SM_CYSCREEN);
  }

  char name[256];
  if (!ShortPathOf(fileName, name)) return kPlayFailed;
  // MCI reads the parent as a decimal handle value.
  if (SendCommand(nullptr, "open %s parent %d style popup", name,
                  static_cast<int>(reinterpret_cast<intptr_t>(window))) != 0) {
    return kPlayFailed;
  }
  std::memcpy(deviceName, name, sizeof deviceName);
  if (SendCommand(nullptr, "put %s window at %d %d %d %d", name, static_cast<int>(origin.x),
                  static_cast<int>(origin.y), static_cast<int>(width),
                  static_cast<int>(height)) != 0) {
    CloseDevice();
    return kPlayFailed;
  }
  if (SendCommand(window, (flags & kPlayNotify) ? "play %s notify" : "play %s", name) != 0) {
    CloseDevice();
    return kPlayFailed;
  }
  return kPlayStarted;
}

// ---- Geometry ------------------------------------------------------------------------------------

Steering SteeringFor(int32_t x, int32_t y, int32_t width, int32_t height) {
  const int32_t cx = width / 2;
  const int32_t cy = height / 2;
  // An area under two pixels has no centre to steer from: no motion then.
  Steering s;
  s.a = cx != 0 ? static_cast<int32_t>((60.0 / cx) * (cx - x)) : 0;
  s.b = cy != 0 ? static_cast<int32_t>((60.0 / cy) * (cy - y)) : 0;
  return s;
}

RECT ThumbnailRectangle(int32_t width, int32_t height) {
  const int32_t hw = width / 2;
  const int32_t hh = height / 2;
  const int32_t w = hw - hw % 32 + 32;
  const int32_t h = hh - hh % 32 + 32;
  RECT r;
  r.left = (width - w) / 2;
  r.top = (height - h) / 2;
  r.right = r.left + w;
  r.bottom = r.top + h;
  return r;
}

// ---- Construction --------------------------------------------------------------------------------

void CKVPWin::LoadCursors() {
  cursorMove = LoadCursor(nullptr, IDC_SIZEALL);
  cursorArrow = LoadCursor(nullptr, IDC_ARROW);
  cursorWait = LoadCursor(nullptr, IDC_WAIT);
}

CKVPWin::CKVPWin(HWND parent, int32_t left, int32_t top, int32_t right, int32_t bottom,
                 NPP instance)
    : instance(instance) {
  SetThreadPriority(AfxGetApp() != nullptr ? AfxGetApp()->ThreadHandle() : GetCurrentThread(),
                    THREAD_PRIORITY_ABOVE_NORMAL);
  // NPP_SetWindow places and shows the window, or notices that there is none.
  CreateEx(kEmbeddedExStyle, kTitle, kEmbeddedStyle, left, top, right + left, bottom + top,
           parent, 0);
  LoadCursors();
}

CKVPWin::CKVPWin(HWND, int32_t left, int32_t top, int32_t right, int32_t bottom,
                 const char* fileName, NPP instance)
    : instance(instance) {
  LoadCursors();
  if (!CreateEx(kExternalExStyle, kTitle, kExternalStyle, left, top, right + left,
                bottom + top, nullptr, 0)) {
    AfxMessageBox("Failed to CreateEx().");
  }
  OpenController(fileName);
  pendingHotspot = -1;
  if (controller != nullptr) controller->RequestFrames(-1, 1);
}

CKVPWin::~CKVPWin() {
  if (externalViewer != nullptr) {
    externalViewer->DestroyWindow();
    delete externalViewer;
    externalViewer = nullptr;
  }
  player.CloseDevice();
  MediaPlayer::StopSound();
  // A window destroyed some other way than by its messages still leaves no render thread.
  if (m_hWnd != nullptr) DestroyWindow();
  Release();
}

bool CKVPWin::OpenController(const char* fileName) {
  SetCursor(cursorWait);
  auto* opened = new PanoramaController();
  try {
    opened->Open(fileName, AsWindow(m_hWnd), 0, 0, 5);
  } catch (const OpenFailure& failure) {
    delete opened;
    AfxMessageBox(failure.what());
    return false;
  }
  controller = opened;
  SetCursor(cursorMove);
  return true;
}

void CKVPWin::Release() {
  if (controller == nullptr) return;
  player.CloseDevice();
  MediaPlayer::StopSound();
  controller->Close();
  delete controller;
  controller = nullptr;
}

// ---- Panorama hand-over --------------------------------------------------------------------------

int CKVPWin::ResisterPanorama(const char* fileName, int thumbnail) {
  if (m_hWnd == nullptr) {
    AfxMessageBox("CKVPWin::ResisterPanorama(): Inavalid window handle.");
    return 1;
  }
  double heading = 0, pitch = 0, roll = 0, fov = 60.0;
  if (controller != nullptr) {
    controller->GetView(heading, pitch, roll, fov);
    controller->Close();
    delete controller;
    controller = nullptr;
  }
  if (!OpenController(fileName)) return 0;

  if (thumbnail != 0) {
    thumbnailMode = 1;
    HDC dc = GetDC(m_hWnd);
    SetTextAlign(dc, TA_CENTER);
    SetTextAlign(dc, TA_UPDATECP);
    const char* notice = "Downloading full panorama.";
    TextOutA(dc, 10, 10, notice, static_cast<int>(std::strlen(notice)));
    ReleaseDC(m_hWnd, dc);

    RECT client;
    GetClientRect(&client);
    const RECT r = ThumbnailRectangle(client.right, client.bottom);
    const int32_t rectangle[4] = {r.left, r.top, r.right, r.bottom};
    controller->SetViewLimits(1, rectangle);
    // The preview can only be panned sideways.
    const int32_t limits[8] = {-360, 360, 0, 0, 0, 0, 60, 60};
    controller->SetViewLimits(2, limits);
  } else {
    thumbnailMode = 0;
    controller->SetView(heading, pitch, roll, fov, 0);  // a thumbnail's view carries over
    const int32_t limits[8] = {-360, 360, -360, 360, -360, 360, 30, 120};
    controller->SetViewLimits(2, limits);
  }
  controller->RequestFrames(1, 1);
  return 1;
}

// ---- Message map ---------------------------------------------------------------------------------

const MessageMapEntry<CKVPWin> CKVPWin::kMessageMap[] = {
    {WM_PAINT, 0, &CKVPWin::OnPaint},
    {WM_LBUTTONDOWN, 0, &CKVPWin::OnLButtonDown},
    {WM_RBUTTONDOWN, 0, &CKVPWin::OnRButtonDown},
    {WM_LBUTTONUP, 0, &CKVPWin::OnLButtonUp},
    {WM_RBUTTONUP, 0, &CKVPWin::OnRButtonUp},
    {WM_MOUSEMOVE, 0, &CKVPWin::OnMouseMove},
    {WM_KEYDOWN, 0, &CKVPWin::OnKey},
    {WM_KEYUP, 0, &CKVPWin::OnKey},
    {WM_CLOSE, 0, &CKVPWin::OnClose},
    {WM_DESTROY, 0, &CKVPWin::OnDestroy},
    {WM_SETCURSOR, 0, &CKVPWin::OnSetCursor},
    {WM_COMMAND, kCommandHelp, &CKVPWin::OnHelp},
    {WM_COMMAND, kCommandSaveAs, &CKVPWin::OnSaveAs},
    {WM_COMMAND, kCommandResetPanorama, &CKVPWin::OnResetPanorama},
    {WM_COMMAND, kCommandAbout, &CKVPWin::OnAbout},
    {WM_COMMAND, kCommandLaunchExternalViewer, &CKVPWin::OnLaunchExternalViewer},
    {MM_MCINOTIFY, 0, &CKVPWin::OnMciNotify},
};
const size_t CKVPWin::kMessageMapSize = sizeof kMessageMap / sizeof kMessageMap[0];

bool CKVPWin::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  return DispatchMessageMap(this, kMessageMap, kMessageMapSize, message, wParam, lParam,
                            result);
}

LRESULT CKVPWin::OnPaint(WPARAM, LPARAM) {
  PAINTSTRUCT ps;
  BeginPaint(m_hWnd, &ps);
  EndPaint(m_hWnd, &ps);
  // The render thread draws the frame.
  if (controller != nullptr) controller->RequestFrames(1, 1);
  return 0;
}

void CKVPWin::Steer(const Steering& s, bool shift, double headingFactor) {
  if (shift) {
    controller->SetHeadingMotion(3.0 * s.a, kUnlimited, 0);
    controller->SetPitchMotion(0.0, kStopped, 0);
    controller->SetZoomMotion(-s.b, kUnlimited, 0);
  } else {
    controller->SetHeadingMotion(headingFactor * s.a, kUnlimited, 0);
    controller->SetPitchMotion(3.0 * s.b, kUnlimited, 0);
    controller->SetZoomMotion(0.0, kStopped, 0);
  }
}

void CKVPWin::StopMotion() {
  controller->SetHeadingMotion(0.0, kStopped, 0);
  controller->SetPitchMotion(0.0, kStopped, 0);
  controller->SetZoomMotion(0.0, kStopped, 0);
}

LRESULT CKVPWin::OnLButtonDown(WPARAM keys, LPARAM point) {
  SetActiveWindow(m_hWnd);
  if (controller == nullptr) return 0;
  const int32_t x = GET_X_LPARAM(point), y = GET_Y_LPARAM(point);
  if (ActivateHotspot(x, y) != 0) return 0;

  RECT client;
  GetClientRect(&client);
  POINT corners[2] = {{client.left, client.top}, {client.right, client.bottom}};
  MapWindowPoints(m_hWnd, nullptr, corners, 2);
  const RECT screen = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
  ClipCursor(&screen);
  if (GetCapture() != m_hWnd) SetCapture(m_hWnd);

  // The press turns at a third of the rate of a drag.
  Steer(SteeringFor(x, y, client.right, client.bottom), (keys & MK_SHIFT) != 0, 1.0);
  controller->RequestFrames(-1, 1);
  return 0;
}

LRESULT CKVPWin::OnMouseMove(WPARAM keys, LPARAM point) {
  if (controller == nullptr) return 0;
  const int32_t x = GET_X_LPARAM(point), y = GET_Y_LPARAM(point);
  RECT client;
  GetClientRect(&client);
  const Steering s = SteeringFor(x, y, client.right, client.bottom);

  int16_t kind = 0;
  const int32_t index = controller->Pick(x, y, kind);
  if (index >= 0) {
    SetCursor(cursorArrow);
    char link[kLinkBufferSize];
    LinkOf(controller, index, link);
    NPN_Status(instance, link);
  } else if (thumbnailMode != 1) {
    SetCursor(cursorMove);
    NPN_Status(instance, "");
  }

  if (keys & MK_LBUTTON) {
    Steer(s, (keys & MK_SHIFT) != 0, 3.0);
  } else {
    StopMotion();
  }
  return 0;
}

LRESULT CKVPWin::OnLButtonUp(WPARAM, LPARAM) {
  if (controller == nullptr) return 0;
  if (GetCapture() == m_hWnd) ReleaseCapture();
  ClipCursor(nullptr);
  StopMotion();
  controller->RequestFrames(1, 1);  // one more frame ends the continuous run
  return 0;
}

LRESULT CKVPWin::OnRButtonUp(WPARAM, LPARAM) {
  if (controller == nullptr) return 0;
  if (GetCapture() == m_hWnd) ReleaseCapture();
  ClipCursor(nullptr);
  return 0;
}

LRESULT CKVPWin::OnKey(WPARAM, LPARAM) { return 0; }

LRESULT CKVPWin::OnClose(WPARAM, LPARAM) {
  Release();
  return Default();
}

LRESULT CKVPWin::OnDestroy(WPARAM, LPARAM) {
  Release();
  return Default();
}

LRESULT CKVPWin::OnSetCursor(WPARAM, LPARAM lParam) {
  // A bit test, not HTCLIENT: every odd hit-test code keeps the cursor we set.
  if (LOWORD(lParam) & 1) return TRUE;
  return Default();
}

// ---- Context menu and commands -------------------------------------------------------------------

LRESULT CKVPWin::OnRButtonDown(WPARAM, LPARAM point) {
  if (controller == nullptr) return 0;
  HMENU menu = LoadMenuA(AfxGetApp()->ResourceHandle(), MAKEINTRESOURCEA(129));
  if (menu == nullptr) return 0;
  if (thumbnailMode == 1) {
    EnableMenuItem(menu, kCommandLaunchExternalViewer, MF_BYCOMMAND | MF_GRAYED);
  }
  POINT p = {GET_X_LPARAM(point), GET_Y_LPARAM(point)};
  ClientToScreen(m_hWnd, &p);
  TrackPopupMenu(GetSubMenu(menu, 0), TPM_RIGHTBUTTON, p.x, p.y, 0, m_hWnd, nullptr);
  DestroyMenu(menu);
  return 0;
}

LRESULT CKVPWin::OnHelp(WPARAM, LPARAM) {
  RunModalDialog(130, m_hWnd);
  return 0;
}

// The About box names no parent window.
LRESULT CKVPWin::OnAbout(WPARAM, LPARAM) {
  RunModalDialog(100, nullptr);
  return 0;
}

LRESULT CKVPWin::OnSaveAs(WPARAM, LPARAM) {
  // "Kestrelvue Panorama (*.pan)|*.pan|All Files (*.*)|*.*||" with its bars as NULs.
  static const char kFilter[] = "Kestrelvue Panorama (*.pan)\0*.pan\0All Files (*.*)\0*.*\0";
  char path[MAX_PATH] = "*.pan";
  platform::SaveDialogRequest request;
  request.owner = AsWindow(m_hWnd);
  request.filter = kFilter;
  request.defaultExtension = "pan";
  request.flags = platform::kOfnHideReadOnly | platform::kOfnOverwritePrompt;
  request.path = path;
  request.pathSize = sizeof path;
  if (!platform::ShowSaveDialog(request)) return 0;
  const InstanceData* data = Record(instance);
  if (data == nullptr) return 0;
  const char* source = thumbnailMode == 1 ? data->thumbnailFile : data->panoramaFile;
  // A failed copy (a read-only target, the file onto itself) is not reported.
  if (source != nullptr) CopyFileA(source, path, FALSE);
  return 0;
}

LRESULT CKVPWin::OnResetPanorama(WPARAM, LPARAM) {
  if (controller == nullptr) return 0;
  player.CloseDevice();
  MediaPlayer::StopSound();
  controller->RequestFrames(0, 1);
  double h = 0, p = 0, r = 0, f = 0;
  controller->GetView(h, p, r, f);
  controller->SetHeadingMotion(-h, -1, 0);
  controller->SetPitchMotion(-p, -1, 0);
  controller->SetRollMotion(-r, -1, 0);
  controller->SetZoomMotion(90.0 - f, -1, 0);
  controller->SetForwardMotion(0.0, -1, 0);
  int16_t frames = 0;
  controller->GetFrameRate(frames);
  // The speeds are per second and n frames last one second: a one-second return home.
  controller->RequestFrames(frames, 2);
  controller->SetHeadingMotion(0.0, -1, 0);
  controller->SetPitchMotion(0.0, -1, 0);
  controller->SetRollMotion(0.0, -1, 0);
  controller->SetZoomMotion(0.0, -1, 0);
  controller->GetView(h, p, r, f);
  controller->SetTravelDirection(h, p, 0);
  return 0;
}

LRESULT CKVPWin::OnLaunchExternalViewer(WPARAM, LPARAM) {
  if (externalViewer != nullptr) {
    externalViewer->DestroyWindow();
    delete externalViewer;
    externalViewer = nullptr;
  }
  const InstanceData* data = Record(instance);
  const char* file = data != nullptr ? data->panoramaFile : nullptr;
  externalViewer = new CKVPWin(nullptr, 100, 100, 200, 200, file != nullptr ? file : "",
                               instance);
  externalViewer->ShowWindow(SW_SHOWNORMAL);
  externalViewer->UpdateWindow();
  return 0;
}

// ---- Multimedia and hot spots --------------------------------------------------------------------

LRESULT CKVPWin::OnMciNotify(WPARAM, LPARAM) {
  player.CloseDevice();
  MediaPlayer::StopSound();
  return 0;
}

int CKVPWin::PlayMultiMedia(const char* fileName) {
  // Sound first: a name with both ".wav" and ".avi" in it plays as sound.
  if (std::strstr(fileName, ".wav") != nullptr || std::strstr(fileName, ".WAV") != nullptr) {
    player.PlayWave(fileName, m_hWnd);
    return 1;
  }
  if (std::strstr(fileName, ".avi") != nullptr || std::strstr(fileName, ".AVI") != nullptr) {
    RECT client;
    GetClientRect(&client);
    player.PlayVideo(fileName, kPlayInterrupt | kPlayNotify, m_hWnd, &client);
    return 1;
  }
  AfxMessageBox("CKVPWin::PlayMultiMedia(): Unknown multimedia type.");
  return 0;
}

// Every sprite file goes into sprite 0, standing still in the box of the hot spot whose link
// fetched it; the pending index stays for a later file of the same click.
int CKVPWin::PlaceSprite(const char* fileName) {
  if (controller == nullptr) return 0;
  Hotspot* spot = controller->GetHotspot(pendingHotspot);
  SpriteRecord* sprite = controller->GetSprite(0);
  if (spot == nullptr || sprite == nullptr) return 0;
  double cx = 0, cy = 0, cz = 0, sx = 0, sy = 0, sz = 0;
  spot->GetCentre(cx, cy, cz);
  spot->GetExtent(sx, sy, sz);
  sprite->LoadSpriteImage(fileName, cx, cy, cz, sx, sy, sz, 1);
  sprite->SetSpriteAnimation(0, 0);
  sprite->SetSpriteVelocity(0, 0, 0);
  sprite->SetSpriteGrowth(0, 0, 0);
  return 1;
}

int CKVPWin::ActivateHotspot(int32_t x, int32_t y) {
  if (controller == nullptr) return 0;
  int16_t kind = 0;
  const int32_t index = controller->Pick(x, y, kind);
  if (index < 0) {
    pendingHotspot = -1;
    return 0;
  }
  if (kind == kKindHotspot) {
    char link[kLinkBufferSize];
    LinkOf(controller, index, link);
    pendingHotspot = -1;
    if (std::strstr(link, ".avi") != nullptr || std::strstr(link, ".wav") != nullptr) {
      NPN_GetURL(instance, link, nullptr);  // the clip comes back as a stream
    } else if (std::strstr(link, ".avt") != nullptr) {
      pendingHotspot = static_cast<int16_t>(index);
      NPN_GetURL(instance, link, nullptr);
    } else {
      NPN_GetURL(instance, link, "_self");
    }
    return 1;
  }
  if (kind == kKindSprite) pendingHotspot = static_cast<int16_t>(index);
  return 1;
}

}  // namespace kvp
