// The Netscape plug-in interface as the browser and the plug-in share it on 32-bit Windows:
// the records, handler and browser tables of version 0.9, and the three library entry points.
//
// Calling conventions follow the published Win32 headers: the library entry points are
// WINAPI (__stdcall); the handlers in NPPluginFuncs and the browser functions in
// NPNetscapeFuncs are plain C (__cdecl), since NP_LOADDS is empty on Win32. Integer widths
// follow the Windows ABI of the time (int32 was a 32-bit long), pinned below for i686.
#ifndef KVP_PLUGIN_NPAPI_H
#define KVP_PLUGIN_NPAPI_H

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstddef>
#include <cstdint>

#define NP_VERSION_MAJOR 0
#define NP_VERSION_MINOR 9

// Minor versions that brought table slots this plug-in relies on.
#define NPVERS_HAS_STREAMOUTPUT 8
#define NPVERS_HAS_NOTIFICATION 9
#define NPVERS_HAS_LIVECONNECT 9

extern "C" {

typedef int16_t NPError;
typedef int16_t NPReason;
typedef unsigned char NPBool;
typedef char* NPMIMEType;

// The Java runtime's opaque handles (only passed through).
typedef void* JRIGlobalRef;
struct JRIEnv;

#define NPERR_BASE 0
#define NPERR_NO_ERROR (NPERR_BASE + 0)
#define NPERR_GENERIC_ERROR (NPERR_BASE + 1)
#define NPERR_INVALID_INSTANCE_ERROR (NPERR_BASE + 2)
#define NPERR_INVALID_FUNCTABLE_ERROR (NPERR_BASE + 3)
#define NPERR_MODULE_LOAD_FAILED_ERROR (NPERR_BASE + 4)
#define NPERR_OUT_OF_MEMORY_ERROR (NPERR_BASE + 5)
#define NPERR_INVALID_PLUGIN_ERROR (NPERR_BASE + 6)
#define NPERR_INVALID_PLUGIN_DIR_ERROR (NPERR_BASE + 7)
#define NPERR_INCOMPATIBLE_VERSION_ERROR (NPERR_BASE + 8)
#define NPERR_INVALID_PARAM (NPERR_BASE + 9)
#define NPERR_INVALID_URL (NPERR_BASE + 10)
#define NPERR_FILE_NOT_FOUND (NPERR_BASE + 11)
#define NPERR_NO_DATA (NPERR_BASE + 12)
#define NPERR_STREAM_NOT_SEEKABLE (NPERR_BASE + 13)

#define NPRES_BASE 0
#define NPRES_DONE (NPRES_BASE + 0)
#define NPRES_NETWORK_ERR (NPRES_BASE + 1)
#define NPRES_USER_BREAK (NPRES_BASE + 2)

// Instance modes (NPP_New) and print modes (NPPrint).
#define NP_EMBED 1
#define NP_FULL 2

// Stream types that NPP_NewStream may choose.
#define NP_NORMAL 1
#define NP_SEEK 2
#define NP_ASFILE 3
#define NP_ASFILEONLY 4

#define NP_MAXREADY (((unsigned)(~0) << 4) >> 4)

// One plug-in instance: pdata is the plug-in's, ndata the browser's.
typedef struct _NPP {
  void* pdata;
  void* ndata;
} NPP_t;
typedef NPP_t* NPP;

typedef struct _NPStream {
  void* pdata;
  void* ndata;
  const char* url;
  uint32_t end;
  uint32_t lastmodified;
  void* notifyData;  // since 0.9 (URL notification)
} NPStream;

typedef struct _NPByteRange {
  int32_t offset;  // negative: from the end
  uint32_t length;
  struct _NPByteRange* next;
} NPByteRange;

typedef struct _NPSavedData {
  int32_t len;
  void* buf;
} NPSavedData;

typedef struct _NPRect {
  uint16_t top;
  uint16_t left;
  uint16_t bottom;
  uint16_t right;
} NPRect;

// The 0.9 window record: no window type (that came with windowless plug-ins, 0.11), and the
// position is unsigned. On Win32 `window` is the HWND the plug-in draws into.
typedef struct _NPWindow {
  void* window;
  uint32_t x;
  uint32_t y;
  uint32_t width;
  uint32_t height;
  NPRect clipRect;  // used on the Macintosh only
} NPWindow;

typedef struct _NPFullPrint {
  NPBool pluginPrinted;  // false: the browser prints the page itself
  NPBool printOne;
  void* platformPrint;
} NPFullPrint;

typedef struct _NPEmbedPrint {
  NPWindow window;
  void* platformPrint;  // on Win32 the printer's HDC
} NPEmbedPrint;

typedef struct _NPPrint {
  uint16_t mode;  // NP_FULL or NP_EMBED
  union {
    NPFullPrint fullPrint;
    NPEmbedPrint embedPrint;
  } print;
} NPPrint;

// Win32 events reach a windowed plug-in as window messages; the record exists for the table.
typedef struct _NPEvent {
  uint16_t event;
  uint32_t wParam;
  uint32_t lParam;
} NPEvent;

// --- Plug-in handlers (the browser calls them through NPPluginFuncs) -----------------------
typedef NPError (*NPP_NewUPP)(NPMIMEType pluginType, NPP instance, uint16_t mode, int16_t argc,
                              char* argn[], char* argv[], NPSavedData* saved);
typedef NPError (*NPP_DestroyUPP)(NPP instance, NPSavedData** save);
typedef NPError (*NPP_SetWindowUPP)(NPP instance, NPWindow* window);
typedef NPError (*NPP_NewStreamUPP)(NPP instance, NPMIMEType type, NPStream* stream,
                                    NPBool seekable, uint16_t* stype);
typedef NPError (*NPP_DestroyStreamUPP)(NPP instance, NPStream* stream, NPReason reason);
typedef void (*NPP_StreamAsFileUPP)(NPP instance, NPStream* stream, const char* fname);
typedef int32_t (*NPP_WriteReadyUPP)(NPP instance, NPStream* stream);
typedef int32_t (*NPP_WriteUPP)(NPP instance, NPStream* stream, int32_t offset, int32_t len,
                                void* buffer);
typedef void (*NPP_PrintUPP)(NPP instance, NPPrint* platformPrint);
typedef int16_t (*NPP_HandleEventUPP)(NPP instance, void* event);
typedef void (*NPP_URLNotifyUPP)(NPP instance, const char* url, NPReason reason,
                                 void* notifyData);

typedef struct _NPPluginFuncs {
  uint16_t size;
  uint16_t version;  // major << 8 | minor
  NPP_NewUPP newp;
  NPP_DestroyUPP destroy;
  NPP_SetWindowUPP setwindow;
  NPP_NewStreamUPP newstream;
  NPP_DestroyStreamUPP destroystream;
  NPP_StreamAsFileUPP asfile;
  NPP_WriteReadyUPP writeready;
  NPP_WriteUPP write;
  NPP_PrintUPP print;
  NPP_HandleEventUPP event;
  NPP_URLNotifyUPP urlNotify;  // since 0.9
  JRIGlobalRef javaClass;      // since 0.9
} NPPluginFuncs;

// --- Browser functions (the plug-in calls them through NPNetscapeFuncs) --------------------
typedef NPError (*NPN_GetURLUPP)(NPP instance, const char* url, const char* window);
typedef NPError (*NPN_PostURLUPP)(NPP instance, const char* url, const char* window,
                                  uint32_t len, const char* buf, NPBool file);
typedef NPError (*NPN_RequestReadUPP)(NPStream* stream, NPByteRange* rangeList);
typedef NPError (*NPN_NewStreamUPP)(NPP instance, NPMIMEType type, const char* window,
                                    NPStream** stream);
typedef int32_t (*NPN_WriteUPP)(NPP instance, NPStream* stream, int32_t len, void* buffer);
typedef NPError (*NPN_DestroyStreamUPP)(NPP instance, NPStream* stream, NPReason reason);
typedef void (*NPN_StatusUPP)(NPP instance, const char* message);
typedef const char* (*NPN_UserAgentUPP)(NPP instance);
typedef void* (*NPN_MemAllocUPP)(uint32_t size);
typedef void (*NPN_MemFreeUPP)(void* ptr);
typedef uint32_t (*NPN_MemFlushUPP)(uint32_t size);
typedef void (*NPN_ReloadPluginsUPP)(NPBool reloadPages);
typedef JRIEnv* (*NPN_GetJavaEnvUPP)(void);
typedef void* (*NPN_GetJavaPeerUPP)(NPP instance);
typedef NPError (*NPN_GetURLNotifyUPP)(NPP instance, const char* url, const char* window,
                                       void* notifyData);
typedef NPError (*NPN_PostURLNotifyUPP)(NPP instance, const char* url, const char* window,
                                        uint32_t len, const char* buf, NPBool file,
                                        void* notifyData);

typedef struct _NPNetscapeFuncs {
  uint16_t size;
  uint16_t version;  // major << 8 | minor
  NPN_GetURLUPP geturl;
  NPN_PostURLUPP posturl;
  NPN_RequestReadUPP requestread;
  NPN_NewStreamUPP newstream;
  NPN_WriteUPP write;
  NPN_DestroyStreamUPP destroystream;
  NPN_StatusUPP status;
  NPN_UserAgentUPP uagent;
  NPN_MemAllocUPP memalloc;
  NPN_MemFreeUPP memfree;
  NPN_MemFlushUPP memflush;
  NPN_ReloadPluginsUPP reloadplugins;
  NPN_GetJavaEnvUPP getJavaEnv;          // since 0.9
  NPN_GetJavaPeerUPP getJavaPeer;        // since 0.9
  NPN_GetURLNotifyUPP geturlnotify;      // since 0.9
  NPN_PostURLNotifyUPP posturlnotify;    // since 0.9
} NPNetscapeFuncs;

// --- The library's exports -----------------------------------------------------------------
typedef NPError(WINAPI* NP_GetEntryPointsFunc)(NPPluginFuncs* pFuncs);
typedef NPError(WINAPI* NP_InitializeFunc)(NPNetscapeFuncs* pFuncs);
typedef NPError(WINAPI* NP_ShutdownFunc)(void);

NPError WINAPI NP_GetEntryPoints(NPPluginFuncs* pFuncs);
NPError WINAPI NP_Initialize(NPNetscapeFuncs* pFuncs);
NPError WINAPI NP_Shutdown(void);

}  // extern "C"

// The browser reads these records by offset: pin the i686 layout.
static_assert(sizeof(void*) == 4, "the plug-in is a 32-bit library");
static_assert(sizeof(NPP_t) == 8, "NPP_t");
static_assert(sizeof(NPStream) == 24 && offsetof(NPStream, url) == 8 &&
                  offsetof(NPStream, end) == 12 && offsetof(NPStream, notifyData) == 20,
              "NPStream (0.9)");
static_assert(sizeof(NPByteRange) == 12, "NPByteRange");
static_assert(sizeof(NPSavedData) == 8, "NPSavedData");
static_assert(sizeof(NPRect) == 8 && offsetof(NPRect, right) == 6, "NPRect");
static_assert(sizeof(NPWindow) == 28 && offsetof(NPWindow, x) == 4 &&
                  offsetof(NPWindow, height) == 16 && offsetof(NPWindow, clipRect) == 20,
              "NPWindow (0.9)");
static_assert(sizeof(NPFullPrint) == 8 && offsetof(NPFullPrint, printOne) == 1 &&
                  offsetof(NPFullPrint, platformPrint) == 4,
              "NPFullPrint");
static_assert(sizeof(NPEmbedPrint) == 32 && offsetof(NPEmbedPrint, platformPrint) == 28,
              "NPEmbedPrint");
static_assert(sizeof(NPPrint) == 36 && offsetof(NPPrint, print) == 4, "NPPrint");
static_assert(sizeof(NPEvent) == 12, "NPEvent");
static_assert(sizeof(NPPluginFuncs) == 52 && offsetof(NPPluginFuncs, newp) == 4 &&
                  offsetof(NPPluginFuncs, print) == 36 &&
                  offsetof(NPPluginFuncs, urlNotify) == 44 &&
                  offsetof(NPPluginFuncs, javaClass) == 48,
              "NPPluginFuncs (0.9)");
static_assert(sizeof(NPNetscapeFuncs) == 68 && offsetof(NPNetscapeFuncs, geturl) == 4 &&
                  offsetof(NPNetscapeFuncs, status) == 28 &&
                  offsetof(NPNetscapeFuncs, memalloc) == 36 &&
                  offsetof(NPNetscapeFuncs, memfree) == 40 &&
                  offsetof(NPNetscapeFuncs, getJavaEnv) == 52 &&
                  offsetof(NPNetscapeFuncs, posturlnotify) == 64,
              "NPNetscapeFuncs (0.9)");

#endif  // KVP_PLUGIN_NPAPI_H
