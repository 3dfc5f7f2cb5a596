// The plug-in's face towards the browser: the per-instance record, the NPAPI handlers, the
// browser services the rest of the plug-in calls, and the plug-in layer's trace hook.
//
// Every handler runs on the browser's user-interface thread.
#pragma once

#include <cstdint>

#include "plugin/npapi.h"

namespace kvp {
class CKVPWin;
}

// One per plug-in instance, allocated with NPN_MemAlloc and hung on the instance's pdata.
// The strings are NPN_MemAlloc copies; null until recorded.
struct InstanceData {
  NPWindow* lastNpWindow;  // the browser's record from the latest NPP_SetWindow
  uint16_t mode;           // NP_EMBED or NP_FULL
  HWND hWindow;            // the browser's window, from the first NPP_SetWindow that had one
  char* panoramaFile;
  char* panoramaURL;
  char* hotspotFile;  // recorded only
  char* hotspotURL;   // recorded only
  char* thumbnailFile;
  int32_t state;            // kNoPanoramaYet until the full panorama arrives
  kvp::CKVPWin* kvpWindow;  // owned
};

constexpr int32_t kNoPanoramaYet = 0;
constexpr int32_t kPanoramaReceived = 2;

// The plug-in's handlers, as NP_GetEntryPoints hands them to the browser.
NPError NPP_New(NPMIMEType pluginType, NPP instance, uint16_t mode, int16_t argc, char* argn[],
                char* argv[], NPSavedData* saved);
NPError NPP_Destroy(NPP instance, NPSavedData** save);
NPError NPP_SetWindow(NPP instance, NPWindow* npWindow);
NPError NPP_NewStream(NPP instance, NPMIMEType type, NPStream* stream, NPBool seekable,
                      uint16_t* stype);
int32_t NPP_WriteReady(NPP instance, NPStream* stream);
int32_t NPP_Write(NPP instance, NPStream* stream, int32_t offset, int32_t len, void* buffer);
NPError NPP_DestroyStream(NPP instance, NPStream* stream, NPReason reason);
void NPP_StreamAsFile(NPP instance, NPStream* stream, const char* fname);
void NPP_Print(NPP instance, NPPrint* printInfo);
void NPP_URLNotify(NPP instance, const char* url, NPReason reason, void* notifyData);
// The plug-in's Java class: it has none.
JRIGlobalRef NPP_GetJavaClass();

// Browser services over the table NP_Initialize remembered. Without a table (or a slot the
// browser left empty) nothing is called: GetURL answers NPERR_GENERIC_ERROR, MemAlloc and
// GetJavaEnv null.
NPError NPN_GetURL(NPP instance, const char* url, const char* target);
void NPN_Status(NPP instance, const char* message);
void* NPN_MemAlloc(uint32_t size);
void NPN_MemFree(void* ptr);
JRIEnv* NPN_GetJavaEnv();

// The plug-in layer announces its steps here (level -1). It does nothing; a test may watch
// the announcements through SetTraceHookObserver.
void TraceHook(NPP instance, const char* text, int level);
using TraceHookObserver = void (*)(NPP instance, const char* text, int level, void* user);
void SetTraceHookObserver(TraceHookObserver observer, void* user);

// Where a full-mode viewer window goes in the browser's client area of width x height.
RECT FullModePlacement(int32_t width, int32_t height);

// The full panorama's URL for a thumbnail URL: the underscore of the first "/_" removed.
// Null in, null out; the result is an NPN_MemAlloc copy (null when allocation fails).
char* FullPanoramaURL(const char* thumbnailURL);
// `path` with everything from its last "." replaced by ".hsp" (NPN_MemAlloc copy).
char* HotspotName(const char* path);
