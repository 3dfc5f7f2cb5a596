// The page's calls into the core: viewers on offscreen windows, the fetched files, the
// controller's operations, and the queue of requests the page answers.
#include "web/core_exports.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "controller/panorama_controller.h"
#include "data/environment_set.h"
#include "platform/common/url_paths.h"
#include "platform/platform.h"
#include "platform/web/file_store.h"
#include "platform/web/web_side.h"

namespace {

using kvp::PanoramaController;

// The plug-in's message boxes carry its module's name.
constexpr const char* kCaption = "Qorvane";
// Sprite slots of a viewer's controller, as the plug-in's window opens it.
constexpr int16_t kSpriteSlots = 5;

struct Viewer {
  platform::Window* window = nullptr;
  int32_t width = 0, height = 0;
  std::unique_ptr<PanoramaController> controller;
  std::deque<std::string> requests;
  std::string answer;  // the last string handed out
  std::vector<uint8_t> rgba;
  std::vector<uint8_t> bgr;
  bool changed = true;
  uint32_t framesSeen = 0;
  bool running = false;  // the frame timer ran at the last look
  // A description waiting for its node files.
  std::string waitingPath;
  int16_t waitingRate = 0;
  std::set<std::string> missing;
};

std::map<int, std::unique_ptr<Viewer>>& Viewers() {
  static std::map<int, std::unique_ptr<Viewer>> viewers;
  return viewers;
}

// Where the fetched files live: the root of the page's memory file system; when these calls
// run natively under test, the folder KVP_WEB_STORE names, so that they never write to /url.
const std::string& StoreFolder() {
  static const std::string folder = [] {
    const char* named = std::getenv("KVP_WEB_STORE");
    return std::string(named != nullptr ? named : "");
  }();
  return folder;
}

std::string StoredPath(const std::string& url) {
  const std::string path = platform::common::PathForUrl(url);
  return path.empty() ? path : StoreFolder() + path;
}

std::string UrlOfStored(const std::string& path) {
  const std::string& folder = StoreFolder();
  if (path.compare(0, folder.size(), folder) != 0) return "";
  return platform::common::UrlForPath(path.substr(folder.size()));
}

platform::web::FileArrivals& Arrivals() {
  static platform::web::FileArrivals arrivals(StoreFolder());
  return arrivals;
}

Viewer* Find(int id) {
  auto it = Viewers().find(id);
  return it == Viewers().end() ? nullptr : it->second.get();
}

PanoramaController* Open(int id) {
  Viewer* v = Find(id);
  return v != nullptr && v->controller != nullptr && v->controller->IsOpen()
             ? v->controller.get()
             : nullptr;
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (b < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", b);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

void Message(Viewer& v, const char* text, const char* caption) {
  v.requests.push_back(std::string("{\"type\":\"message\",\"text\":") + Quoted(text) +
                       ",\"caption\":" + Quoted(caption) + "}");
}

void ToViewer(const char* text, const char* caption, void* user) {
  Message(*static_cast<Viewer*>(user), text, caption);
}

// Message boxes raised while the core works for a viewer go to that viewer's page element.
class Sink {
 public:
  explicit Sink(Viewer* v) {
    platform::web::SetMessageSink(v != nullptr ? &ToViewer : nullptr, v);
  }
  ~Sink() { platform::web::SetMessageSink(nullptr, nullptr); }
};

// A controller operation on an open viewer, its message boxes going to that viewer; "not open"
// otherwise.
template <typename Call>
int WithController(int id, Call call) {
  PanoramaController* c = Open(id);
  if (c == nullptr) return kvp::kStatusNotOpen;
  Sink sink(Find(id));
  return call(*c);
}

// What a failed open would show, as the plug-in shows it; 1 for the page.
int OpenNow(Viewer& v, const std::string& path, int16_t rate) {
  v.changed = true;
  if (v.controller == nullptr) v.controller = std::make_unique<PanoramaController>();
  try {
    v.controller->Open(path.c_str(), v.window, 0, rate, kSpriteSlots);
  } catch (const kvp::OpenFailure& failure) {
    Message(v, failure.what(), kCaption);
    return 1;
  }
  v.framesSeen = v.controller->framesDrawn;
  return 0;
}

// A description's node files that are not stored yet; each becomes a fetch request.
std::set<std::string> MissingNodeFiles(const std::string& path) {
  std::set<std::string> missing;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return missing;
  char magic[4] = {0, 0, 0, 0};
  const size_t got = std::fread(magic, 1, sizeof magic, file);
  std::fclose(file);
  // Image files are panoramas of their own: only a description names other files.
  if (got == 4 && ((magic[0] == 'B' && magic[1] == 'M') || std::memcmp(magic, "KVPF", 4) == 0)) {
    return missing;
  }
  // A description that lets a moving viewer see the fast images needs those files too: the
  // loader reads them while the view moves, and a node whose file is missing is blocked.
  const bool fastImages =
      platform::ProfileFile(path.c_str()).ReadInt("Kestrelvue", "Fleetglider", 0) != 0;
  auto need = [&missing](const std::string& file) {
    if (!file.empty() && !platform::web::FileExists(file) && !UrlOfStored(file).empty()) {
      missing.insert(file);
    }
  };
  for (const kvp::PanoramaNode& node : kvp::EnvironmentSet::DescriptionNodes(path.c_str())) {
    need(node.path);
    // The fast image's name: the last character of the node's file name becomes '_'.
    if (fastImages && !node.path.empty()) need(node.path.substr(0, node.path.size() - 1) + "_");
  }
  return missing;
}

// A file has arrived (or failed): a waiting open that needs nothing more runs now.
void Arrived(const std::string& path) {
  for (auto& entry : Viewers()) {
    Viewer& v = *entry.second;
    if (v.waitingPath.empty() || v.missing.erase(path) == 0 || !v.missing.empty()) continue;
    const std::string waiting = v.waitingPath;
    v.waitingPath.clear();
    Sink sink(&v);
    const int code = OpenNow(v, waiting, v.waitingRate);
    v.requests.push_back("{\"type\":\"open\",\"code\":" + std::to_string(code) + "}");
  }
}

}  // namespace

extern "C" {

int kv_create(int width, int height) {
  if (width <= 0 || height <= 0) return 0;
  auto v = std::make_unique<Viewer>();
  v->window = platform::CreateOffscreenWindow(width, height);
  if (v->window == nullptr) return 0;
  v->width = width;
  v->height = height;
  static int lastId = 0;
  const int id = ++lastId;
  Viewers()[id] = std::move(v);
  return id;
}

void kv_destroy(int id) {
  Viewer* v = Find(id);
  if (v == nullptr) return;
  {
    Sink sink(v);
    v->controller.reset();  // closes it
  }
  platform::DestroyOffscreenWindow(v->window);
  Viewers().erase(id);
}

int kv_resize(int id, int width, int height) {
  Viewer* v = Find(id);
  if (v == nullptr || width <= 0 || height <= 0) return 1;
  platform::Window* window = platform::CreateOffscreenWindow(width, height);
  if (window == nullptr) return 1;
  platform::Window* old = v->window;
  PanoramaController* c = Open(id);
  if (c != nullptr) {
    // The render step reads the window under the lock.
    const bool held = c->TakeLock();
    c->window = window;
    if (c->notifyWindow == old) c->notifyWindow = window;
    if (held) c->ReleaseLock();
  }
  v->window = window;
  v->width = width;
  v->height = height;
  platform::DestroyOffscreenWindow(old);
  v->changed = true;
  if (c != nullptr) {
    Sink sink(v);
    c->RequestFrames(1, kvp::kFramesRequested);
  }
  return 0;
}

int kv_width(int id) {
  Viewer* v = Find(id);
  return v != nullptr ? v->width : 0;
}

int kv_height(int id) {
  Viewer* v = Find(id);
  return v != nullptr ? v->height : 0;
}

int kv_frame(int id, double nowMs) {
  Viewer* v = Find(id);
  if (v == nullptr) return 0;
  {
    Sink sink(v);
    platform::web::FireTimers(nowMs);
    platform::web::RunSteps();
  }
  PanoramaController* c = Open(id);
  if (c != nullptr) {
    if (c->framesDrawn != v->framesSeen) {
      v->framesSeen = c->framesDrawn;
      v->changed = true;
    }
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    while (platform::TakePostedMessage(v->window, message, wParam, lParam)) {
      v->requests.push_back("{\"type\":\"notify\",\"what\":\"limit\",\"message\":" +
                            std::to_string(message) + ",\"wParam\":" + std::to_string(wParam) +
                            ",\"lParam\":" + std::to_string(lParam) + "}");
    }
    const bool running = c->timerId != 0;
    if (v->running && !running) v->requests.push_back("{\"type\":\"notify\",\"what\":\"idle\"}");
    v->running = running;
  }
  return v->changed ? 1 : 0;
}

const uint8_t* kv_pixels(int id) {
  Viewer* v = Find(id);
  if (v == nullptr) return nullptr;
  const size_t pixels = size_t(v->width) * size_t(v->height);
  v->bgr.resize(pixels * 3);
  v->rgba.resize(pixels * 4);
  if (!platform::ReadWindowPixels(v->window, v->bgr.data())) return nullptr;
  // Bottom-up blue, green, red rows become top-down red, green, blue, opaque: one 32-bit store
  // per pixel (WebAssembly is little-endian, so red lands first).
  for (int32_t y = 0; y < v->height; ++y) {
    const uint8_t* from = v->bgr.data() + size_t(v->height - 1 - y) * size_t(v->width) * 3;
    uint8_t* to = v->rgba.data() + size_t(y) * size_t(v->width) * 4;
    for (int32_t x = 0; x < v->width; ++x, from += 3, to += 4) {
      const uint32_t pixel = uint32_t(from[2]) | uint32_t(from[1]) << 8 |
                             uint32_t(from[0]) << 16 | 0xFF000000u;
      std::memcpy(to, &pixel, sizeof pixel);
    }
  }
  v->changed = false;
  return v->rgba.data();
}

int kv_file_begin(const char* url) { return url != nullptr ? Arrivals().Begin(url) : 0; }

int kv_file_write(int handle, const uint8_t* bytes, int length) {
  if (length < 0) return 1;
  return Arrivals().Write(handle, bytes, size_t(length)) ? 0 : 1;
}

int kv_file_end(int handle, int ok) {
  std::string path;
  const int result = Arrivals().End(handle, ok != 0, &path);
  if (!path.empty()) Arrived(path);
  return result;
}

void* kv_malloc(int size) { return size > 0 ? std::malloc(size_t(size)) : nullptr; }

void kv_free(void* pointer) { std::free(pointer); }

int kv_open(int id, const char* url, int rate) {
  Viewer* v = Find(id);
  if (v == nullptr) return 1;
  Sink sink(v);
  if (v->controller != nullptr) v->controller->Close();
  v->waitingPath.clear();
  v->missing.clear();
  const std::string path = url != nullptr ? StoredPath(url) : "";
  // A URL with no path opens like a name that does not fit: no file at all.
  if (path.empty()) return OpenNow(*v, "", int16_t(rate));
  std::set<std::string> missing = MissingNodeFiles(path);
  if (missing.empty()) return OpenNow(*v, path, int16_t(rate));
  v->waitingPath = path;
  v->waitingRate = int16_t(rate);
  v->missing = missing;
  for (const std::string& node : missing) {
    v->requests.push_back("{\"type\":\"fetch\",\"url\":" +
                          Quoted(UrlOfStored(node)) + "}");
  }
  return -1;
}

void kv_close(int id) {
  Viewer* v = Find(id);
  if (v == nullptr || v->controller == nullptr) return;
  Sink sink(v);
  v->controller->Close();
  v->waitingPath.clear();
  v->missing.clear();
}

int kv_is_open(int id) { return Open(id) != nullptr ? 1 : 0; }

int kv_is_settled(int id) {
  PanoramaController* c = Open(id);
  if (c == nullptr || !c->TakeLock()) return 0;
  const bool settled = c->cache.valid != 0;
  c->ReleaseLock();
  return settled ? 1 : 0;
}

int kv_request_frames(int id, int count, int mode) {
  return WithController(id, [&](PanoramaController& c) { return c.RequestFrames(count, mode); });
}

int kv_set_frame_rate(int id, int rate) {
  return WithController(id, [&](PanoramaController& c) { return c.SetFrameRate(int16_t(rate)); });
}

int kv_get_frame_rate(int id) {
  PanoramaController* c = Open(id);
  if (c == nullptr) return -kvp::kStatusNotOpen;
  int16_t rate = 0;
  const int status = c->GetFrameRate(rate);
  return status == kvp::kStatusDone ? rate : -status;
}

int kv_set_view(int id, double heading, double pitch, double roll, double fov, int mode) {
  return WithController(
      id, [&](PanoramaController& c) { return c.SetView(heading, pitch, roll, fov, mode); });
}

int kv_get_view(int id, double* out4) {
  if (out4 == nullptr) return kvp::kStatusRefused;
  return WithController(
      id, [&](PanoramaController& c) { return c.GetView(out4[0], out4[1], out4[2], out4[3]); });
}

int kv_set_heading_motion(int id, double speed, int frames, int mode) {
  return WithController(
      id, [&](PanoramaController& c) { return c.SetHeadingMotion(speed, frames, mode); });
}

int kv_set_pitch_motion(int id, double speed, int frames, int mode) {
  return WithController(
      id, [&](PanoramaController& c) { return c.SetPitchMotion(speed, frames, mode); });
}

int kv_set_roll_motion(int id, double speed, int frames, int mode) {
  return WithController(
      id, [&](PanoramaController& c) { return c.SetRollMotion(speed, frames, mode); });
}

int kv_set_zoom_motion(int id, double speed, int frames, int mode) {
  return WithController(
      id, [&](PanoramaController& c) { return c.SetZoomMotion(speed, frames, mode); });
}

int kv_set_forward_motion(int id, double speed, int frames, int mode) {
  return WithController(
      id, [&](PanoramaController& c) { return c.SetForwardMotion(speed, frames, mode); });
}

int kv_set_travel_direction(int id, double heading, double pitch, int mode) {
  return WithController(
      id, [&](PanoramaController& c) { return c.SetTravelDirection(heading, pitch, mode); });
}

int kv_set_position(int id, double x, double y, double z, int mode) {
  return WithController(id, [&](PanoramaController& c) { return c.SetPosition(x, y, z, mode); });
}

int kv_set_view_limits(int id, int kind, const int32_t* data) {
  return WithController(
      id, [&](PanoramaController& c) { return c.SetViewLimits(int16_t(kind), data); });
}

int kv_pick(int id, int x, int y, int* kindOut) {
  PanoramaController* c = Open(id);
  if (c == nullptr) return -1;
  Sink sink(Find(id));
  int16_t kind = 0;
  const int32_t index = c->Pick(x, y, kind);
  if (kindOut != nullptr) *kindOut = kind;
  return index;
}

const char* kv_hotspot_link(int id, int index) {
  Viewer* v = Find(id);
  if (v == nullptr) return "";
  v->answer.clear();
  PanoramaController* c = Open(id);
  kvp::Hotspot* spot = c != nullptr ? c->GetHotspot(index) : nullptr;
  if (spot != nullptr) {
    // The viewer window reads links into a buffer of this size.
    char link[512] = {};
    spot->GetLink(link, int32_t(sizeof link) - 1);
    v->answer = link;
  }
  return v->answer.c_str();
}

int kv_place_sprite(int id, const char* url, int hotspot) {
  PanoramaController* c = Open(id);
  if (c == nullptr || url == nullptr) return 0;
  Sink sink(Find(id));
  kvp::Hotspot* spot = c->GetHotspot(hotspot);
  kvp::SpriteRecord* sprite = c->GetSprite(0);
  if (spot == nullptr || sprite == nullptr) return 0;
  double cx = 0, cy = 0, cz = 0, sx = 0, sy = 0, sz = 0;
  spot->GetCentre(cx, cy, cz);
  spot->GetExtent(sx, sy, sz);
  const std::string path = StoredPath(url);
  sprite->LoadSpriteImage(path.c_str(), cx, cy, cz, sx, sy, sz, 1);
  sprite->SetSpriteAnimation(0, 0);
  sprite->SetSpriteVelocity(0, 0, 0);
  sprite->SetSpriteGrowth(0, 0, 0);
  c->RequestFrames(1, kvp::kFramesRequested);
  return 1;
}

const char* kv_poll(int id) {
  Viewer* v = Find(id);
  if (v == nullptr || v->requests.empty()) return nullptr;
  v->answer = v->requests.front();
  v->requests.pop_front();
  return v->answer.c_str();
}

}  // extern "C"
