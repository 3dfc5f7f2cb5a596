// The stand-in browser: one frame window (page area above, status bar below), the plug-in's
// instances in child windows, the NPN_* functions, stream delivery and navigation.
//
// Everything runs on the window thread. Browser functions the plug-in calls only record what
// to do and post a message: streams and navigation happen later from the message loop, as in
// the browsers the plug-in was written for (it calls NPN_GetURL from inside NPP_StreamAsFile
// and expects the new stream to arrive after it returns).
#include "host/browser.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "host/page.h"
#include "host/plugin_library.h"
#include "host/site.h"

#include <commctrl.h>  // after windows.h, which npapi.h brings

namespace kvp::host {

namespace {

constexpr UINT kDeliverMessage = WM_APP + 1;   // deliver the next step of the next stream
constexpr UINT kNavigateMessage = WM_APP + 2;  // load the page set by NPN_GetURL "_self"
constexpr UINT_PTR kRetryTimer = 1;            // a step postponed while a plug-in call runs
constexpr UINT_PTR kCloseTimer = 2;            // --close-after
constexpr uint32_t kChunk = 16384;             // bytes offered per NPP_Write
constexpr const char* kFrameClass = "KvpFrame";
constexpr const char* kPortClass = "KvpPluginPort";

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool EndsWith(const std::string& s, const char* suffix) {
  const size_t n = std::strlen(suffix);
  return s.size() >= n && Lower(s.substr(s.size() - n)) == suffix;
}

std::string PathOnly(const std::string& url) { return url.substr(0, url.find_first_of("?#")); }

bool IsPageUrl(const std::string& url) {
  const std::string p = PathOnly(url);
  return EndsWith(p, ".html") || EndsWith(p, ".htm");
}

bool IsPanoramaUrl(const std::string& url) {
  const std::string p = PathOnly(url);
  return EndsWith(p, ".pan") || EndsWith(p, ".ini");
}

std::string ProgramFolder() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, n);
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

std::string FullPath(const std::string& path) {
  char full[MAX_PATH];
  const DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  return n == 0 || n >= MAX_PATH ? path : std::string(full, n);
}

bool ReadWholeFile(const std::string& path, std::vector<char>& bytes) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// One embedded object: its window, the NPP handle and the NPWindow the plug-in keeps a
// pointer to (so both live as long as the instance).
struct Instance {
  NPP_t npp = {};
  int id = 0;
  HWND port = nullptr;
  NPWindow window = {};
  std::string url;
  uint16_t mode = NP_EMBED;
  bool fillsPage = false;
  bool created = false;  // NPP_New succeeded; NPP_Destroy is owed
  std::vector<std::string> names, values;
};

struct Request {
  int instance = 0;
  std::string url;
  bool notify = false;
  void* notifyData = nullptr;
};

// The stream being delivered: one at a time, in the order the requests came.
struct Delivery {
  Request request;
  Instance* instance = nullptr;
  std::string url;  // the NPStream's url points into this
  NPStream stream = {};
  uint16_t type = NP_NORMAL;
  std::vector<char> bytes;
  uint32_t offset = 0;
  std::string cachedFile;
};

class Browser;
Browser* gBrowser = nullptr;

class Browser {
 public:
  explicit Browser(const Options& options) : options_(options) {}

  int Run();

  // --- the browser functions, reached through the table ------------------------------------
  NPError GetUrl(NPP npp, const char* url, const char* target, bool notify, void* data);
  void Status(NPP npp, const char* text);
  NPError DestroyStream(NPP npp, NPStream* stream, NPReason reason);
  void Log(const std::string& line);

  LRESULT FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  bool Fail(const std::string& message);
  bool CreateWindows();
  bool OpenDocument(const std::string& url);
  Instance* CreateInstance(const std::string& url, const PageObject& object, uint16_t mode,
                           const Placement& at, bool fillsPage);
  void DestroyInstances();
  Instance* Find(NPP npp);
  Instance* FindId(int id);
  void SetStatusText(const std::string& text);
  std::string StatusText();
  void PageArea(RECT& area);
  void Layout();
  void DeliverStep();
  void FinishDelivery(NPReason reason);
  void Navigate();
  bool Postpone();
  std::string Cache(const std::string& url, const std::string& localPath,
                    const std::vector<char>& bytes);

  Options options_;
  Site site_{""};
  std::string pageUrl_;
  NPNetscapeFuncs funcs_ = {};
  PluginLibrary library_;
  HWND frame_ = nullptr;
  HWND status_ = nullptr;
  std::vector<std::unique_ptr<Instance>> instances_;
  int nextId_ = 1;
  std::deque<Request> requests_;
  std::unique_ptr<Delivery> delivery_;
  std::string navigation_;
  int pluginCalls_ = 0;  // depth of calls into the plug-in under way (modal loops re-enter)
  std::FILE* log_ = nullptr;
  std::string cacheFolder_;
  std::string loadingText_;  // our own status text while a stream comes in
};

// A call into the plug-in: counted so that messages arriving in its modal loops (a message
// box inside a handler) wait for it to return.
struct PluginCall {
  explicit PluginCall(int& depth) : depth_(depth) { ++depth_; }
  ~PluginCall() { --depth_; }
  int& depth_;
};

// --- NPN_* entry points: plain C calls from the plug-in -------------------------------------

NPError NpnGetUrl(NPP npp, const char* url, const char* target) {
  return gBrowser->GetUrl(npp, url, target, false, nullptr);
}
NPError NpnGetUrlNotify(NPP npp, const char* url, const char* target, void* data) {
  return gBrowser->GetUrl(npp, url, target, true, data);
}
NPError NpnPostUrl(NPP, const char* url, const char*, uint32_t, const char*, NPBool) {
  gBrowser->Log(std::string("PostURL ") + (url ? url : "null") + " -> refused");
  return NPERR_GENERIC_ERROR;
}
NPError NpnPostUrlNotify(NPP npp, const char* url, const char* target, uint32_t len,
                         const char* buf, NPBool file, void*) {
  return NpnPostUrl(npp, url, target, len, buf, file);
}
NPError NpnRequestRead(NPStream*, NPByteRange*) { return NPERR_STREAM_NOT_SEEKABLE; }
NPError NpnNewStream(NPP, NPMIMEType, const char*, NPStream**) { return NPERR_GENERIC_ERROR; }
int32_t NpnWrite(NPP, NPStream*, int32_t, void*) { return -1; }
NPError NpnDestroyStream(NPP npp, NPStream* stream, NPReason reason) {
  return gBrowser->DestroyStream(npp, stream, reason);
}
void NpnStatus(NPP npp, const char* text) { gBrowser->Status(npp, text); }
const char* NpnUserAgent(NPP) { return "kvpview/1.0 (Win32)"; }
void* NpnMemAlloc(uint32_t size) { return std::malloc(size == 0 ? 1 : size); }
void NpnMemFree(void* p) { std::free(p); }
uint32_t NpnMemFlush(uint32_t) { return 0; }
void NpnReloadPlugins(NPBool) {}
JRIEnv* NpnGetJavaEnv() {
  gBrowser->Log("GetJavaEnv -> null");
  return nullptr;
}
void* NpnGetJavaPeer(NPP) { return nullptr; }

LRESULT CALLBACK FrameProcThunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (gBrowser != nullptr) return gBrowser->FrameProc(hwnd, message, wParam, lParam);
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

// --- the browser ------------------------------------------------------------------------------

void Browser::Log(const std::string& line) {
  if (log_ == nullptr) return;
  std::fprintf(log_, "%s\n", line.c_str());
  std::fflush(log_);
}

bool Browser::Fail(const std::string& message) {
  Log("error " + message);
  std::fprintf(stderr, "kvpview: %s\n", message.c_str());
  if (!options_.quiet) MessageBoxA(frame_, message.c_str(), "kvpview", MB_OK | MB_ICONERROR);
  return false;
}

void Browser::SetStatusText(const std::string& text) {
  if (status_ != nullptr) SendMessageA(status_, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::string Browser::StatusText() {
  if (status_ == nullptr) return "";
  char text[512] = {};
  SendMessageA(status_, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
  return text;
}

Instance* Browser::Find(NPP npp) {
  for (auto& instance : instances_)
    if (&instance->npp == npp && instance->created) return instance.get();
  return nullptr;
}

Instance* Browser::FindId(int id) {
  for (auto& instance : instances_)
    if (instance->id == id && instance->created) return instance.get();
  return nullptr;
}

NPError Browser::GetUrl(NPP npp, const char* url, const char* target, bool notify, void* data) {
  Instance* instance = Find(npp);
  const std::string targetText = target == nullptr ? "null" : target;
  const std::string resolved = url == nullptr ? "" : ResolveUrl(pageUrl_, url);
  NPError result = NPERR_NO_ERROR;
  if (instance == nullptr) {
    result = NPERR_INVALID_INSTANCE_ERROR;
  } else if (resolved.empty()) {
    result = NPERR_INVALID_URL;
  } else if (targetText == "_self" || targetText == "_top" || targetText == "_parent") {
    // The page has no frames, so its parent and top are the page itself.
    navigation_ = resolved;
    PostMessageA(frame_, kNavigateMessage, 0, 0);
  } else {
    requests_.push_back({instance->id, resolved, notify, data});
    PostMessageA(frame_, kDeliverMessage, 0, 0);
  }
  Log(std::string(notify ? "GetURLNotify " : "GetURL ") +
      std::to_string(instance ? instance->id : 0) + " " + (url ? url : "null") + " (" +
      resolved + ") target=" + targetText + " -> " + std::to_string(result));
  return result;
}

void Browser::Status(NPP npp, const char* text) {
  Instance* instance = Find(npp);
  const std::string message = text == nullptr ? "" : text;
  Log("Status " + std::to_string(instance ? instance->id : 0) + " " + message);
  if (instance != nullptr) SetStatusText(message);
}

NPError Browser::DestroyStream(NPP npp, NPStream* stream, NPReason reason) {
  Instance* instance = Find(npp);
  if (instance == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
  if (!delivery_ || &delivery_->stream != stream) return NPERR_INVALID_PARAM;
  Log("plug-in ends stream " + delivery_->url + " reason=" + std::to_string(reason));
  delivery_->offset = uint32_t(delivery_->bytes.size());
  delivery_->type = NP_NORMAL;  // no file is owed for a stream the plug-in cut short
  PostMessageA(frame_, kDeliverMessage, 0, 0);
  return NPERR_NO_ERROR;
}

bool Browser::Postpone() {
  if (pluginCalls_ == 0) return false;
  SetTimer(frame_, kRetryTimer, 20, nullptr);
  return true;
}

// Where a delivered file is kept: the cache folder mirrors the site, so a tour description
// finds the files it names beside it.
std::string Browser::Cache(const std::string& url, const std::string& localPath,
                           const std::vector<char>& bytes) {
  namespace fs = std::filesystem;
  const std::string relative = localPath.substr(site_.Folder().size());
  fs::path target = fs::u8path(cacheFolder_) / fs::u8path(relative);
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  // The same URL can come twice (two objects on one page) while the first copy is still open
  // in the plug-in: then the next copy gets a name of its own.
  bool written = false;
  for (int attempt = 0; attempt < 10 && !written; ++attempt) {
    if (attempt > 0) {
      target.replace_filename(fs::u8path(relative).stem().string() + "(" +
                              std::to_string(attempt) + ")" +
                              fs::u8path(relative).extension().string());
    }
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    written = bool(out);
  }
  if (!written) return "";
  // A description (a tour) names its panoramas by paths relative to itself; the plug-in
  // opens them from its copy's folder, so the folder's files come along.
  if (EndsWith(PathOnly(url), ".ini")) {
    const fs::path source = fs::u8path(localPath).parent_path();
    for (const auto& entry : fs::directory_iterator(source, ec)) {
      if (!entry.is_regular_file(ec)) continue;
      const fs::path copy = target.parent_path() / entry.path().filename();
      if (!fs::exists(copy, ec)) fs::copy_file(entry.path(), copy, ec);
    }
  }
  return target.string();
}

void Browser::DeliverStep() {
  if (Postpone()) return;
  const NPPluginFuncs& p = library_.Funcs();
  if (!delivery_) {
    if (requests_.empty()) return;
    Request request = requests_.front();
    requests_.pop_front();
    Instance* instance = FindId(request.instance);
    if (instance == nullptr) {
      PostMessageA(frame_, kDeliverMessage, 0, 0);
      return;
    }
    const std::string local = site_.LocalPath(request.url);
    auto d = std::make_unique<Delivery>();
    if (local.empty() || !ReadWholeFile(local, d->bytes)) {
      Log("missing " + std::to_string(instance->id) + " " + request.url);
      SetStatusText("File not found: " + request.url);
      if (request.notify && p.urlNotify != nullptr) {
        PluginCall call(pluginCalls_);
        p.urlNotify(&instance->npp, request.url.c_str(), NPRES_NETWORK_ERR, request.notifyData);
      }
      PostMessageA(frame_, kDeliverMessage, 0, 0);
      return;
    }
    d->request = request;
    d->instance = instance;
    d->url = request.url;
    d->cachedFile = Cache(request.url, local, d->bytes);
    d->stream.ndata = instance;
    d->stream.url = d->url.c_str();
    d->stream.end = uint32_t(d->bytes.size());
    d->stream.notifyData = request.notifyData;
    std::string mime = MimeTypeOf(d->url);
    NPError result = NPERR_GENERIC_ERROR;
    if (p.newstream != nullptr) {
      PluginCall call(pluginCalls_);
      result = p.newstream(&instance->npp, &mime[0], &d->stream, false, &d->type);
    }
    Log("NewStream " + std::to_string(instance->id) + " " + d->url + " " + mime + " -> " +
        std::to_string(result) + " stype=" + std::to_string(d->type));
    if (result != NPERR_NO_ERROR) {
      PostMessageA(frame_, kDeliverMessage, 0, 0);
      return;
    }
    if (d->type == NP_ASFILEONLY) d->offset = d->stream.end;
    delivery_ = std::move(d);
    loadingText_ = "Loading " + delivery_->url;
    SetStatusText(loadingText_);
    PostMessageA(frame_, kDeliverMessage, 0, 0);
    return;
  }

  Delivery& d = *delivery_;
  NPP npp = &d.instance->npp;
  if (d.offset < d.stream.end) {
    int32_t ready = 0;
    {
      PluginCall call(pluginCalls_);
      ready = p.writeready ? p.writeready(npp, &d.stream) : 0;
    }
    Log("WriteReady " + std::to_string(d.instance->id) + " " + d.url + " -> " +
        std::to_string(ready));
    if (ready <= 0) {
      // The plug-in wants a pause: offer the data again shortly.
      SetTimer(frame_, kRetryTimer, 20, nullptr);
      return;
    }
    const uint32_t length = std::min<uint32_t>({uint32_t(ready), kChunk, d.stream.end - d.offset});
    int32_t taken = -1;
    {
      PluginCall call(pluginCalls_);
      if (p.write)
        taken = p.write(npp, &d.stream, int32_t(d.offset), int32_t(length), &d.bytes[d.offset]);
    }
    Log("Write " + std::to_string(d.instance->id) + " " + d.url + " offset=" +
        std::to_string(d.offset) + " length=" + std::to_string(length) + " -> " +
        std::to_string(taken));
    if (taken < 0) {
      FinishDelivery(NPRES_NETWORK_ERR);
      return;
    }
    d.offset += std::min<uint32_t>(uint32_t(taken), length);
    PostMessageA(frame_, kDeliverMessage, 0, 0);
    return;
  }
  FinishDelivery(NPRES_DONE);
}

void Browser::FinishDelivery(NPReason reason) {
  std::unique_ptr<Delivery> d = std::move(delivery_);
  const NPPluginFuncs& p = library_.Funcs();
  NPP npp = &d->instance->npp;
  const std::string id = std::to_string(d->instance->id);
  if (reason == NPRES_DONE && (d->type == NP_ASFILE || d->type == NP_ASFILEONLY)) {
    Log("StreamAsFile " + id + " " + d->url + " " + d->cachedFile);
    PluginCall call(pluginCalls_);
    if (p.asfile) p.asfile(npp, &d->stream, d->cachedFile.empty() ? nullptr : d->cachedFile.c_str());
  }
  // The plug-in may have navigated away inside StreamAsFile only through a posted message, so
  // the instance is still alive here.
  Log("DestroyStream " + id + " " + d->url + " reason=" + std::to_string(reason));
  {
    PluginCall call(pluginCalls_);
    if (p.destroystream) p.destroystream(npp, &d->stream, reason);
    if (d->request.notify && p.urlNotify)
      p.urlNotify(npp, d->url.c_str(), reason, d->request.notifyData);
  }
  // What the plug-in put in the status line while it took the file stays there.
  if (reason != NPRES_DONE) {
    SetStatusText("Transfer interrupted: " + d->url);
  } else if (StatusText() == loadingText_) {
    SetStatusText("Done");
  }
  if (!requests_.empty()) PostMessageA(frame_, kDeliverMessage, 0, 0);
}

Instance* Browser::CreateInstance(const std::string& url, const PageObject& object,
                                  uint16_t mode, const Placement& at, bool fillsPage) {
  auto instance = std::make_unique<Instance>();
  instance->id = nextId_++;
  instance->npp.ndata = instance.get();
  instance->url = url;
  instance->mode = mode;
  instance->fillsPage = fillsPage;
  instance->port = CreateWindowExA(0, kPortClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                                   at.x, at.y, at.width, at.height, frame_, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
  for (const auto& [name, value] : object.attributes) {
    instance->names.push_back(name);
    instance->values.push_back(value);
  }
  std::vector<char*> argn, argv;
  for (size_t i = 0; i < instance->names.size(); ++i) {
    argn.push_back(&instance->names[i][0]);
    argv.push_back(&instance->values[i][0]);
  }
  std::string mime = kPanoramaMimeType;
  NPError result;
  {
    PluginCall call(pluginCalls_);
    result = library_.Funcs().newp(&mime[0], &instance->npp, mode, int16_t(argn.size()),
                                   argn.data(), argv.data(), nullptr);
  }
  Log("NPP_New " + std::to_string(instance->id) + " " + url + " mode=" + std::to_string(mode) +
      " -> " + std::to_string(result));
  instance->created = result == NPERR_NO_ERROR;
  Instance* raw = instance.get();
  instances_.push_back(std::move(instance));
  if (!raw->created) {
    SetStatusText("The plug-in refused the object " + url);
    return raw;
  }
  raw->window.window = raw->port;
  raw->window.x = uint32_t(at.x);
  raw->window.y = uint32_t(at.y);
  raw->window.width = uint32_t(at.width);
  raw->window.height = uint32_t(at.height);
  raw->window.clipRect = {0, 0, uint16_t(at.height), uint16_t(at.width)};
  {
    PluginCall call(pluginCalls_);
    library_.Funcs().setwindow(&raw->npp, &raw->window);
  }
  Log("SetWindow " + std::to_string(raw->id) + " " + std::to_string(at.width) + "x" +
      std::to_string(at.height));
  requests_.push_back({raw->id, url, false, nullptr});
  PostMessageA(frame_, kDeliverMessage, 0, 0);
  return raw;
}

void Browser::DestroyInstances() {
  const NPPluginFuncs& p = library_.Funcs();
  if (delivery_) FinishDelivery(NPRES_USER_BREAK);
  requests_.clear();
  for (auto& instance : instances_) {
    if (instance->created) {
      Log("NPP_Destroy " + std::to_string(instance->id));
      NPSavedData* saved = nullptr;
      PluginCall call(pluginCalls_);
      p.destroy(&instance->npp, &saved);
      // Saved data would come back to a later instance of the same page; nothing reloads one.
      if (saved != nullptr) {
        NpnMemFree(saved->buf);
        NpnMemFree(saved);
      }
    }
    if (instance->port != nullptr) DestroyWindow(instance->port);
  }
  instances_.clear();
}

void Browser::PageArea(RECT& area) {
  area = {};
  GetClientRect(frame_, &area);
  RECT bar = {};
  if (status_ != nullptr && GetWindowRect(status_, &bar)) area.bottom -= bar.bottom - bar.top;
  if (area.bottom < area.top) area.bottom = area.top;
}

void Browser::Layout() {
  if (status_ != nullptr) SendMessageA(status_, WM_SIZE, 0, 0);
  RECT area;
  PageArea(area);
  for (auto& instance : instances_) {
    if (!instance->fillsPage) continue;
    MoveWindow(instance->port, 0, 0, area.right, area.bottom, TRUE);
    if (!instance->created) continue;
    instance->window.width = uint32_t(area.right);
    instance->window.height = uint32_t(area.bottom);
    instance->window.clipRect = {0, 0, uint16_t(area.bottom), uint16_t(area.right)};
    PluginCall call(pluginCalls_);
    library_.Funcs().setwindow(&instance->npp, &instance->window);
  }
}

// Loads a page or a panorama into the window. False (with the status text set) when there is
// nothing at that URL.
bool Browser::OpenDocument(const std::string& url) {
  const std::string local = site_.LocalPath(url);
  std::vector<char> bytes;
  if (local.empty() || !ReadWholeFile(local, bytes)) {
    Log("missing page " + url);
    SetStatusText("Page not found: " + url);
    return false;
  }
  DestroyInstances();
  pageUrl_ = url;
  Log("navigate " + url);
  RECT area;
  PageArea(area);
  if (IsPanoramaUrl(url)) {
    SetWindowTextA(frame_, (url.substr(url.rfind('/') + 1) + " - kvpview").c_str());
    PageObject object;
    object.source = url;
    object.attributes = {{"src", url}, {"type", kPanoramaMimeType}};
    CreateInstance(url, object, options_.full ? NP_FULL : NP_EMBED,
                   {0, 0, int(area.right), int(area.bottom)}, true);
    return true;
  }
  const Page page = ReadPage(std::string(bytes.begin(), bytes.end()));
  const std::string caption = page.title.empty() ? url.substr(url.rfind('/') + 1) : page.title;
  SetWindowTextA(frame_, caption.c_str());
  Log("page " + url + " objects=" + std::to_string(page.objects.size()) + " title=" + page.title);
  const std::vector<Placement> placements = LayOut(page.objects);
  for (size_t i = 0; i < page.objects.size(); ++i)
    CreateInstance(ResolveUrl(url, page.objects[i].source), page.objects[i], NP_EMBED,
                   placements[i], false);
  if (page.objects.empty()) SetStatusText("This page embeds no panorama.");
  InvalidateRect(frame_, nullptr, TRUE);
  return true;
}

void Browser::Navigate() {
  if (Postpone()) return;
  const std::string url = std::move(navigation_);
  navigation_.clear();
  if (url.empty()) return;
  if (!IsPageUrl(url) && !IsPanoramaUrl(url)) {
    Log("not shown " + url);
    SetStatusText("kvpview shows only pages and panoramas: " + url);
    return;
  }
  OpenDocument(url);
}

LRESULT Browser::FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kDeliverMessage:
      DeliverStep();
      return 0;
    case kNavigateMessage:
      Navigate();
      return 0;
    case WM_TIMER:
      if (wParam == kRetryTimer) {
        KillTimer(hwnd, kRetryTimer);
        if (!navigation_.empty()) PostMessageA(hwnd, kNavigateMessage, 0, 0);
        PostMessageA(hwnd, kDeliverMessage, 0, 0);
      } else if (wParam == kCloseTimer) {
        KillTimer(hwnd, kCloseTimer);
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
      }
      return 0;
    case WM_SIZE:
      Layout();
      return 0;
    case WM_CLOSE:
      // The plug-in's windows are children of ours: its instances end before they go.
      if (pluginCalls_ > 0) {
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
        return 0;
      }
      DestroyInstances();
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      DestroyInstances();
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

bool Browser::CreateWindows() {
  const HINSTANCE module = GetModuleHandleA(nullptr);
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);

  WNDCLASSA frame = {};
  frame.lpfnWndProc = FrameProcThunk;
  frame.hInstance = module;
  frame.hCursor = LoadCursor(nullptr, IDC_ARROW);
  frame.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  frame.lpszClassName = kFrameClass;
  WNDCLASSA port = frame;
  port.lpfnWndProc = DefWindowProcA;
  port.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
  port.lpszClassName = kPortClass;
  // Tours show their map in a popup of this class, which the browser process provides; the
  // plug-in creates it with its own module handle, so the class is global to the process.
  WNDCLASSA map = {};
  map.style = CS_GLOBALCLASS;
  map.lpfnWndProc = DefWindowProcA;
  map.hInstance = module;
  map.hCursor = LoadCursor(nullptr, IDC_ARROW);
  map.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  map.lpszClassName = "Map Class";
  if (!RegisterClassA(&frame) || !RegisterClassA(&port) || !RegisterClassA(&map))
    return Fail("The window classes could not be registered.");

  constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  RECT r = {0, 0, options_.width, options_.height};
  AdjustWindowRect(&r, kStyle, FALSE);
  frame_ = CreateWindowExA(0, kFrameClass, "kvpview", kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                           r.right - r.left, r.bottom - r.top, nullptr, nullptr, module, nullptr);
  if (frame_ == nullptr) return Fail("The window could not be created.");
  status_ = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, frame_,
                            nullptr, module, nullptr);
  // The page area keeps the size asked for: the status bar comes on top of it.
  RECT bar = {};
  if (status_ != nullptr && GetWindowRect(status_, &bar))
    SetWindowPos(frame_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top + bar.bottom - bar.top,
                 SWP_NOMOVE | SWP_NOZORDER);
  ShowWindow(frame_, SW_SHOWNORMAL);
  UpdateWindow(frame_);
  return true;
}

int Browser::Run() {
  if (!options_.logPath.empty()) {
    log_ = std::fopen(options_.logPath.c_str(), "w");
    if (log_ == nullptr) {
      Fail("The log " + options_.logPath + " cannot be written.");
      return 2;
    }
  }
  const std::string document = FullPath(options_.target);
  const DWORD attributes = GetFileAttributesA(document.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    Fail("The page " + options_.target + " was not found.");
    return 2;
  }
  const size_t slash = document.find_last_of("\\/");
  site_ = Site(document.substr(0, slash + 1));
  const std::string url = site_.UrlOf(document.substr(slash + 1));
  if (!IsPageUrl(url) && !IsPanoramaUrl(url)) {
    Fail("kvpview opens pages (.html, .htm) and panoramas (.pan, .ini), not " +
         options_.target + ".");
    return 2;
  }

  char temp[MAX_PATH];
  const DWORD n = GetTempPathA(MAX_PATH, temp);
  cacheFolder_ = std::string(temp, n) + "kvpview-" + std::to_string(GetCurrentProcessId());

  funcs_.version = uint16_t((NP_VERSION_MAJOR << 8) | options_.npapiMinor);
  funcs_.size = options_.npapiMinor >= 9 ? sizeof(funcs_) : offsetof(NPNetscapeFuncs, getJavaEnv);
  funcs_.geturl = NpnGetUrl;
  funcs_.posturl = NpnPostUrl;
  funcs_.requestread = NpnRequestRead;
  funcs_.newstream = NpnNewStream;
  funcs_.write = NpnWrite;
  funcs_.destroystream = NpnDestroyStream;
  funcs_.status = NpnStatus;
  funcs_.uagent = NpnUserAgent;
  funcs_.memalloc = NpnMemAlloc;
  funcs_.memfree = NpnMemFree;
  funcs_.memflush = NpnMemFlush;
  funcs_.reloadplugins = NpnReloadPlugins;
  if (options_.npapiMinor >= 9) {
    funcs_.getJavaEnv = NpnGetJavaEnv;
    funcs_.getJavaPeer = NpnGetJavaPeer;
    funcs_.geturlnotify = NpnGetUrlNotify;
    funcs_.posturlnotify = NpnPostUrlNotify;
  }

  const std::string plugin = options_.pluginPath.empty() ? ProgramFolder() + "Qorvane.DLL"
                                                         : FullPath(options_.pluginPath);
  std::string error;
  if (!library_.Load(plugin, &funcs_, error)) {
    Fail(error);
    return 2;
  }
  Log("plugin " + plugin + " npapi=0." + std::to_string(options_.npapiMinor));
  if (!CreateWindows()) return 2;
  OpenDocument(url);
  if (options_.closeAfter > 0) SetTimer(frame_, kCloseTimer, UINT(options_.closeAfter) * 1000, nullptr);

  // The plug-in's render thread draws into its window from another thread. Under Wine such
  // drawing reaches the screen only when the window's own thread passes through a message wait,
  // so a loop asleep in GetMessage would hold a finished frame back until the next input. A
  // browser's UI thread wakes many times a second; this loop wakes at least every 15 ms.
  MSG msg;
  for (bool running = true; running;) {
    while (running && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        running = false;
        break;
      }
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (running) MsgWaitForMultipleObjects(0, nullptr, FALSE, 15, QS_ALLINPUT);
  }
  library_.Unload();
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::u8path(cacheFolder_), ignored);
  Log("closed");
  return 0;
}

}  // namespace

bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    auto value = [&]() { return std::string(argv[++i]); };
    if (arg == "--full") {
      options.full = true;
    } else if (arg == "--quiet") {
      options.quiet = true;
    } else if (arg == "--size" && hasValue) {
      const std::string v = value();
      int w = 0, h = 0;
      char x = 0, extra = 0;
      if (std::sscanf(v.c_str(), "%d%c%d%c", &w, &x, &h, &extra) != 3 || (x != 'x' && x != 'X') ||
          w < 64 || h < 64 || w > 8192 || h > 8192) {
        error = "--size wants WIDTHxHEIGHT between 64 and 8192, not " + v;
        return false;
      }
      options.width = w;
      options.height = h;
    } else if (arg == "--close-after" && hasValue) {
      const std::string v = value();
      char* end = nullptr;
      const long seconds = std::strtol(v.c_str(), &end, 10);
      if (end == v.c_str() || *end != '\0' || seconds < 1 || seconds > 86400) {
        error = "--close-after wants a number of seconds, not " + v;
        return false;
      }
      options.closeAfter = int(seconds);
    } else if (arg == "--plugin" && hasValue) {
      options.pluginPath = value();
    } else if (arg == "--log" && hasValue) {
      options.logPath = value();
    } else if (arg == "--npapi-minor" && hasValue) {
      const std::string v = value();
      if (v != "8" && v != "9") {
        error = "--npapi-minor is 8 or 9, not " + v;
        return false;
      }
      options.npapiMinor = v[0] - '0';
    } else if (arg.rfind("--", 0) == 0) {
      const bool wantsValue = arg == "--size" || arg == "--plugin" || arg == "--log" ||
                              arg == "--npapi-minor" || arg == "--close-after";
      error = wantsValue ? arg + " wants a value" : "unknown option " + arg;
      return false;
    } else if (options.target.empty()) {
      options.target = arg;
    } else {
      error = "one page at a time: " + arg;
      return false;
    }
  }
  if (options.target.empty()) {
    error = "no page or panorama given";
    return false;
  }
  return true;
}

int RunBrowser(const Options& options) {
  Browser browser(options);
  gBrowser = &browser;
  const int status = browser.Run();
  gBrowser = nullptr;
  return status;
}

}  // namespace kvp::host
