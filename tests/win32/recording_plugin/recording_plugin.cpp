// A plug-in for kvpview's end-to-end tests: logs every call it gets, one line each, to the file
// named by KVP_RECORD_LOG, and obeys the commands in the files it receives:
//   status TEXT          NPN_Status(TEXT)
//   geturl URL TARGET    NPN_GetURL(URL, TARGET), TARGET "null" for none
// A stream whose URL holds "/_" is a thumbnail: like the real plug-in, it then asks for the URL
// without that underscore.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "plugin/npapi.h"

namespace {

NPNetscapeFuncs* gBrowser = nullptr;

void Record(const std::string& line) {
  const char* path = std::getenv("KVP_RECORD_LOG");
  if (path == nullptr) return;
  if (std::FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

std::string Url(NPStream* stream) {
  return stream != nullptr && stream->url != nullptr ? stream->url : "null";
}

void GetUrl(NPP instance, const std::string& url, const std::string& target) {
  const NPError result =
      gBrowser->geturl(instance, url.c_str(), target == "null" ? nullptr : target.c_str());
  Record("GetURL " + url + " " + target + " -> " + std::to_string(result));
}

NPError New(NPMIMEType type, NPP, uint16_t mode, int16_t argc, char* argn[], char* argv[],
            NPSavedData*) {
  std::string line = "NPP_New " + std::string(type ? type : "null") + " mode=" +
                     std::to_string(mode);
  for (int i = 0; i < argc; ++i) line += std::string(" ") + argn[i] + "=" + argv[i];
  Record(line);
  return NPERR_NO_ERROR;
}

NPError Destroy(NPP, NPSavedData**) {
  Record("NPP_Destroy");
  return NPERR_NO_ERROR;
}

NPError SetWindow(NPP, NPWindow* window) {
  const bool real = window != nullptr && IsWindow(static_cast<HWND>(window->window));
  Record("NPP_SetWindow " + std::to_string(window ? window->width : 0) + "x" +
         std::to_string(window ? window->height : 0) + (real ? " window" : " no-window"));
  return NPERR_NO_ERROR;
}

NPError NewStream(NPP, NPMIMEType type, NPStream* stream, NPBool, uint16_t* stype) {
  Record("NPP_NewStream " + Url(stream) + " " + (type ? type : "null") + " end=" +
         std::to_string(stream ? stream->end : 0));
  *stype = NP_ASFILE;
  return NPERR_NO_ERROR;
}

int32_t WriteReady(NPP, NPStream* stream) {
  Record("NPP_WriteReady " + Url(stream));
  return 4096;  // small, so that every file of more than a few KB comes in several writes
}

int32_t Write(NPP, NPStream* stream, int32_t offset, int32_t length, void*) {
  Record("NPP_Write " + Url(stream) + " " + std::to_string(offset) + " " + std::to_string(length));
  return length;
}

void StreamAsFile(NPP instance, NPStream* stream, const char* fname) {
  std::ifstream in(fname ? fname : "", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const std::string content = text.str();
  Record("NPP_StreamAsFile " + Url(stream) + " " +
         (in ? std::to_string(content.size()) : std::string("unreadable")));
  const std::string url = Url(stream);
  const size_t thumb = url.find("/_");
  if (thumb != std::string::npos) GetUrl(instance, url.substr(0, thumb + 1) + url.substr(thumb + 2), "null");
  std::istringstream lines(content);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("status ", 0) == 0) {
      gBrowser->status(instance, line.substr(7).c_str());
      Record("Status " + line.substr(7));
    } else if (line.rfind("geturl ", 0) == 0) {
      std::istringstream words(line.substr(7));
      std::string target, where;
      words >> target >> where;
      GetUrl(instance, target, where.empty() ? "null" : where);
    }
  }
}

NPError DestroyStream(NPP, NPStream* stream, NPReason reason) {
  Record("NPP_DestroyStream " + Url(stream) + " " + std::to_string(reason));
  return NPERR_NO_ERROR;
}

void Print(NPP, NPPrint*) {}

}  // namespace

extern "C" {

NPError WINAPI NP_GetEntryPoints(NPPluginFuncs* funcs) {
  if (funcs == nullptr) return NPERR_INVALID_FUNCTABLE_ERROR;
  funcs->version = (NP_VERSION_MAJOR << 8) | NP_VERSION_MINOR;
  funcs->newp = New;
  funcs->destroy = Destroy;
  funcs->setwindow = SetWindow;
  funcs->newstream = NewStream;
  funcs->destroystream = DestroyStream;
  funcs->asfile = StreamAsFile;
  funcs->writeready = WriteReady;
  funcs->write = Write;
  funcs->print = Print;
  funcs->event = nullptr;
  return NPERR_NO_ERROR;
}

NPError WINAPI NP_Initialize(NPNetscapeFuncs* browser) {
  if (browser == nullptr) return NPERR_INVALID_FUNCTABLE_ERROR;
  gBrowser = browser;
  Record("NP_Initialize version=" + std::to_string(browser->version) + " size=" +
         std::to_string(browser->size));
  return NPERR_NO_ERROR;
}

NPError WINAPI NP_Shutdown() {
  Record("NP_Shutdown");
  gBrowser = nullptr;
  return NPERR_NO_ERROR;
}

}  // extern "C"
