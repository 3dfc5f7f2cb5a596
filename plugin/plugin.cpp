// The plug-in's entry points, instance lifecycle, stream dispatch and browser services.
#include "plugin/plugin.h"

#include <cstring>
#include <initializer_list>
#include <new>

#include "plugin/jri.h"
#include "viewer/framework.h"
#include "viewer/kvp_win.h"

namespace {

// The module's one application object: the framework's defaults serve it.
class CPluginApp : public kvp::CWinApp {};
CPluginApp theApp;

// The browser's table (NP_Initialize to NP_Shutdown) and the table we filled for it.
NPNetscapeFuncs* gBrowser = nullptr;
NPPluginFuncs* gPluginFuncs = nullptr;

TraceHookObserver gObserver = nullptr;
void* gObserverUser = nullptr;

constexpr const char* kInvalidInstance = "NPP_SetWindow(): Invalid instance.";

void Trace(NPP instance, const char* text) { TraceHook(instance, text, -1); }

InstanceData* Record(NPP instance) { return static_cast<InstanceData*>(instance->pdata); }

char* CopyString(const char* text) {
  if (text == nullptr) return nullptr;
  const size_t length = std::strlen(text);
  char* copy = static_cast<char*>(NPN_MemAlloc(static_cast<uint32_t>(length + 1)));
  if (copy != nullptr) std::memcpy(copy, text, length + 1);
  return copy;
}

void Replace(char*& field, char* value) {
  if (field != nullptr) NPN_MemFree(field);
  field = value;
}

void ClientRectangle(HWND hwnd, RECT& r) {
  if (!GetClientRect(hwnd, &r)) SetRectEmpty(&r);
}

}  // namespace


using kvp::CKVPWin;

// ---- Trace hook --------------------------------------------------------------------------------

void TraceHook(NPP instance, const char* text, int level) {
  if (gObserver != nullptr) gObserver(instance, text, level, gObserverUser);
}

void SetTraceHookObserver(TraceHookObserver observer, void* user) {
  gObserver = observer;
  gObserverUser = user;
}

// ---- Browser services --------------------------------------------------------------------------

NPError NPN_GetURL(NPP instance, const char* url, const char* target) {
  if (gBrowser == nullptr || gBrowser->geturl == nullptr) return NPERR_GENERIC_ERROR;
  return gBrowser->geturl(instance, url, target);
}

void NPN_Status(NPP instance, const char* message) {
  if (gBrowser != nullptr && gBrowser->status != nullptr) gBrowser->status(instance, message);
}

void* NPN_MemAlloc(uint32_t size) {
  if (gBrowser == nullptr || gBrowser->memalloc == nullptr) return nullptr;
  return gBrowser->memalloc(size);
}

void NPN_MemFree(void* ptr) {
  if (gBrowser != nullptr && gBrowser->memfree != nullptr) gBrowser->memfree(ptr);
}

JRIEnv* NPN_GetJavaEnv() {
  // A 0.8 browser's table ends before the Java slots.
  if (gBrowser == nullptr || (gBrowser->version & 0xFF) < NPVERS_HAS_LIVECONNECT ||
      gBrowser->getJavaEnv == nullptr) {
    return nullptr;
  }
  return gBrowser->getJavaEnv();
}

// ---- Entry points ------------------------------------------------------------------------------

extern "C" NPError WINAPI NP_GetEntryPoints(NPPluginFuncs* pFuncs) {
  if (pFuncs == nullptr) return NPERR_INVALID_FUNCTABLE_ERROR;
  // `size` is the browser's to set.
  pFuncs->version = (NP_VERSION_MAJOR << 8) | NP_VERSION_MINOR;
  pFuncs->newp = NPP_New;
  pFuncs->destroy = NPP_Destroy;
  pFuncs->setwindow = NPP_SetWindow;
  pFuncs->newstream = NPP_NewStream;
  pFuncs->destroystream = NPP_DestroyStream;
  pFuncs->asfile = NPP_StreamAsFile;
  pFuncs->writeready = NPP_WriteReady;
  pFuncs->write = NPP_Write;
  pFuncs->print = NPP_Print;
  pFuncs->event = nullptr;
  gPluginFuncs = pFuncs;
  return NPERR_NO_ERROR;
}

extern "C" NPError WINAPI NP_Initialize(NPNetscapeFuncs* pFuncs) {
  if (pFuncs == nullptr) return NPERR_INVALID_FUNCTABLE_ERROR;
  gBrowser = pFuncs;
  if ((pFuncs->version >> 8) > NP_VERSION_MAJOR) return NPERR_INCOMPATIBLE_VERSION_ERROR;
  // Only a 0.9 browser reads these slots of our table.
  if ((pFuncs->version & 0xFF) >= NPVERS_HAS_NOTIFICATION && gPluginFuncs != nullptr) {
    gPluginFuncs->urlNotify = NPP_URLNotify;
    gPluginFuncs->javaClass = NPP_GetJavaClass();
  }
  return NPERR_NO_ERROR;  // the plug-in has no global state to set up
}

extern "C" NPError WINAPI NP_Shutdown(void) {
  gBrowser = nullptr;
  return NPERR_NO_ERROR;
}

namespace {

// The plug-in's own Java class: it offers none.
java_lang_Class* PluginJavaClass() { return nullptr; }

}  // namespace

JRIGlobalRef NPP_GetJavaClass() {
  // The browser's Java environment is only fetched for a class to hand over.
  java_lang_Class* clazz = PluginJavaClass();
  if (clazz == nullptr) return nullptr;
  JRIEnv* env = NPN_GetJavaEnv();
  if (env == nullptr) return nullptr;
  return reinterpret_cast<JriNewGlobalRef>(env->functions[kJriNewGlobalRef])(
      env, kJriNewGlobalRef, clazz);
}

// ---- Instance lifecycle ------------------------------------------------------------------------

NPError NPP_New(NPMIMEType, NPP instance, uint16_t mode, int16_t, char*[], char*[],
                NPSavedData*) {
  if (instance == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
  auto* data = static_cast<InstanceData*>(NPN_MemAlloc(sizeof(InstanceData)));
  instance->pdata = data;
  if (data == nullptr) return NPERR_OUT_OF_MEMORY_ERROR;
  std::memset(data, 0, sizeof(InstanceData));
  data->mode = mode;
  return NPERR_NO_ERROR;
}

NPError NPP_Destroy(NPP instance, NPSavedData**) {
  Trace(instance, "Calling NPP_Destroy.");
  if (instance == nullptr) {
    Trace(instance, kInvalidInstance);
    kvp::AfxMessageBox(kInvalidInstance);
    return NPERR_INVALID_INSTANCE_ERROR;
  }
  if (InstanceData* data = Record(instance)) {
    if (data->kvpWindow != nullptr) {
      // Destroying the native window releases the controller and the media device.
      data->kvpWindow->DestroyWindow();
      delete data->kvpWindow;
    }
    for (char* text : {data->panoramaFile, data->panoramaURL, data->hotspotFile,
                       data->hotspotURL, data->thumbnailFile}) {
      if (text != nullptr) NPN_MemFree(text);
    }
    NPN_MemFree(data);
    instance->pdata = nullptr;
  }
  return NPERR_NO_ERROR;
}

RECT FullModePlacement(int32_t width, int32_t height) {
  // The thresholds are not the sizes: an area 257 to 298 wide gets a negative left edge.
  RECT r;
  const int32_t w = width > 256 ? 300 : width;
  const int32_t h = height > 128 ? 200 : height;
  r.left = width > 256 ? (width - 300) / 2 : 0;
  r.top = height > 128 ? (height - 200) / 2 : 0;
  r.right = r.left + w;
  r.bottom = r.top + h;
  return r;
}

namespace {

void PlaceInFullMode(CKVPWin* window, HWND browserWindow) {
  RECT client;
  ClientRectangle(browserWindow, client);
  const RECT r = FullModePlacement(client.right - client.left, client.bottom - client.top);
  window->MoveWindow(r.left, r.top, r.right - r.left, r.bottom - r.top, true);
}

}  // namespace

NPError NPP_SetWindow(NPP instance, NPWindow* npWindow) {
  Trace(instance, "Entering NPP_SetWindow()");
  if (instance == nullptr) {
    Trace(instance, kInvalidInstance);
    kvp::AfxMessageBox(kInvalidInstance);
    return NPERR_INVALID_INSTANCE_ERROR;
  }
  InstanceData* data = Record(instance);
  if (data == nullptr) return NPERR_INVALID_INSTANCE_ERROR;  // NPP_New failed
  // A missing record counts as a null handle.
  HWND handle = npWindow != nullptr ? static_cast<HWND>(npWindow->window) : nullptr;

  if (handle == nullptr) {
    if (data->hWindow != nullptr) {
      Trace(instance, "NPP_SetWindow(): Error: npWindow == NULL but This->hWindow != NULL.");
    } else {
      Trace(instance, "NPP_SetWindow gave me NULL for window handle!");
      InvalidateRect(nullptr, nullptr, TRUE);
      UpdateWindow(nullptr);
    }
  } else if (data->hWindow != nullptr) {
    Trace(instance, "NPP_SetWindow(): Both handles are OK.");
    if (data->mode == NP_FULL && data->kvpWindow != nullptr) {
      PlaceInFullMode(data->kvpWindow, handle);
    }
  } else {
    Trace(instance, "NPP_SetWindow(): Creating CKVPWin.");
    data->hWindow = handle;
    RECT client;
    ClientRectangle(handle, client);
    if (data->mode == NP_FULL || data->mode == NP_EMBED) {
      Trace(instance, data->mode == NP_FULL ? "NPP_SetWindow(): Full mode."
                                            : "NPP_SetWindow(): Embeded mode.");
      data->kvpWindow = new (std::nothrow)
          CKVPWin(handle, client.left, client.top, client.right, client.bottom, instance);
      if (data->kvpWindow == nullptr) {
        Trace(instance, "NPP_SetWindow(): Failed to create CKVPWin.");
      } else {
        if (data->mode == NP_FULL) PlaceInFullMode(data->kvpWindow, handle);
        data->kvpWindow->ShowWindow(SW_SHOWNORMAL);
        data->kvpWindow->UpdateWindow();
      }
    } else {
      kvp::AfxMessageBox("NPP_SetWindow: Unknown plugin mode.");
    }
  }
  data->lastNpWindow = npWindow;
  return NPERR_NO_ERROR;
}

// ---- Streams -----------------------------------------------------------------------------------

NPError NPP_NewStream(NPP instance, NPMIMEType, NPStream*, NPBool, uint16_t* stype) {
  Trace(instance, "Calling NPP_NewStream.");
  if (instance == nullptr) {
    Trace(instance, kInvalidInstance);
    kvp::AfxMessageBox(kInvalidInstance);
    return NPERR_INVALID_INSTANCE_ERROR;
  }
  // Everything is read from the saved file in NPP_StreamAsFile.
  if (stype != nullptr) *stype = NP_ASFILE;
  return NPERR_NO_ERROR;
}

int32_t NPP_WriteReady(NPP instance, NPStream*) {
  Trace(instance, "Calling NPP_WriteReady.");
  return 0x0FFFFFFF;
}

int32_t NPP_Write(NPP instance, NPStream*, int32_t, int32_t len, void*) {
  Trace(instance, "Calling NPP_Write.");
  return len;  // the browser saves the file; the bytes are not needed here
}

NPError NPP_DestroyStream(NPP instance, NPStream*, NPReason) {
  Trace(instance, "Calling NPP_DestroyStream.");
  return instance == nullptr ? NPERR_INVALID_INSTANCE_ERROR : NPERR_NO_ERROR;
}

char* FullPanoramaURL(const char* thumbnailURL) {
  if (thumbnailURL == nullptr) return nullptr;
  const char* mark = std::strstr(thumbnailURL, "/_");
  if (mark == nullptr) return CopyString(thumbnailURL);
  const size_t n = std::strlen(thumbnailURL);
  const size_t p = static_cast<size_t>(mark - thumbnailURL);
  char* full = static_cast<char*>(NPN_MemAlloc(static_cast<uint32_t>(n)));  // one shorter + NUL
  if (full == nullptr) return nullptr;
  std::memcpy(full, thumbnailURL, p + 1);
  std::memcpy(full + p + 1, thumbnailURL + p + 2, n - p - 2);
  full[n - 1] = '\0';
  return full;
}

char* HotspotName(const char* path) {
  if (path == nullptr) return nullptr;
  const char* dot = std::strrchr(path, '.');
  const size_t keep = dot != nullptr ? static_cast<size_t>(dot - path) : 0;
  char* name = static_cast<char*>(NPN_MemAlloc(static_cast<uint32_t>(keep + 5)));
  if (name == nullptr) return nullptr;
  std::memcpy(name, path, keep);
  std::memcpy(name + keep, ".hsp", 5);
  return name;
}

void NPP_StreamAsFile(NPP instance, NPStream* stream, const char* fname) {
  Trace(instance, "Entering NPP_StreamAsFile()");
  if (instance == nullptr) {
    Trace(instance, "NPP_StreamAsFile(): Invalid instance.");
    kvp::AfxMessageBox("NPP_StreamAsFile(): Invalid instance.");
    return;
  }
  InstanceData* data = Record(instance);
  if (data == nullptr) return;
  const char* url = stream != nullptr ? stream->url : nullptr;
  if (fname == nullptr) {
    Trace(instance, "NPP_StreamAsFile(): fname == NULL");
  } else {
    Trace(instance, fname);
    Trace(instance, url != nullptr ? url : "");
  }

  if (data->state == kPanoramaReceived) {
    Trace(instance, "NPP_StreamAsFile(): Received a hotspot.");
    if (fname == nullptr) {
      Trace(instance, "ERROR NPP_StreamAsFile(): hotspot fname == NULL");
    } else if (data->kvpWindow != nullptr) {
      if (std::strstr(fname, ".avt") != nullptr) {
        data->kvpWindow->PlaceSprite(fname);
      } else {
        data->kvpWindow->PlayMultiMedia(fname);
      }
    }
  } else if (data->state == kNoPanoramaYet && fname == nullptr) {
    Trace(instance, "NPP_StreamAsFile(): Error: panoramaFile fname == NULL");
    // A stream without a URL cannot be asked for again.
    if (url != nullptr) NPN_GetURL(instance, url, nullptr);
  } else if (data->state == kNoPanoramaYet &&
             (url == nullptr || std::strstr(url, "/_") == nullptr)) {
    Trace(instance, "NPP_StreamAsFile(): Received panorama.");
    Replace(data->panoramaFile, CopyString(fname));
    Replace(data->panoramaURL, CopyString(url));
    Replace(data->hotspotFile, HotspotName(fname));
    Replace(data->hotspotURL, HotspotName(url));
    data->state = kPanoramaReceived;
    if (data->kvpWindow != nullptr) {
      data->kvpWindow->ResisterPanorama(
          data->panoramaFile != nullptr ? data->panoramaFile : fname, 0);
    } else {
      kvp::AfxMessageBox("ARGHHHH");
    }
  } else if (data->state == kNoPanoramaYet) {
    Replace(data->thumbnailFile, CopyString(fname));
    Trace(instance, "NPP_StreamAsFile(): Received thumbnail.");
    char* fullURL = FullPanoramaURL(url);
    if (data->kvpWindow != nullptr) {
      data->kvpWindow->ResisterPanorama(fname, 1);
    } else {
      Trace(instance, "NPP_StreamAsFile(): Error: Thumbnial arrived but kvpWindow == NULL");
    }
    if (fullURL != nullptr) {
      NPN_GetURL(instance, fullURL, nullptr);
      NPN_MemFree(fullURL);
    }
  } else {
    Trace(instance, "NPP_StreamAsFile(): Received unknown type.");
  }
  Trace(instance, "Leaving NPP_StreamAsFile()");
}

void NPP_Print(NPP instance, NPPrint* printInfo) {
  Trace(instance, "Calling NPP_Print.");
  if (instance != nullptr && printInfo != nullptr && printInfo->mode == NP_FULL) {
    printInfo->print.fullPrint.pluginPrinted = false;  // the browser prints the page
  }
}

void NPP_URLNotify(NPP instance, const char*, NPReason, void*) {
  Trace(instance, "Calling NPP_URLNotify.");
  if (instance == nullptr) {
    Trace(instance, kInvalidInstance);
    kvp::AfxMessageBox(kInvalidInstance);
  }
}
