// Windows' built-in decoders: libavcodec's DLLs from the module's own folder, their entry
// points looked up into the decoder table. Without the DLLs there are none, as before.
#include "platform/win32/builtin_decoders_win32.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <map>
#include <memory>
#include <mutex>

#include "platform/common/avcodec/avcodec_decoder.h"
#include "platform/common/codec_registry.h"
#include "platform/win32/this_module.h"

namespace platform {

namespace win32 {

namespace {

// One folder's libraries: the table is complete, or the folder has no usable decoders.
struct Library {
  bool complete = false;
  avcodec::Functions functions{};
};

std::mutex gLock;
std::wstring gFolderOverride;                        // protected by gLock
std::map<std::wstring, std::unique_ptr<Library>> gLibraries;  // by folder; never unloaded

std::wstring ModuleFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(ThisModule(), path.data(), DWORD(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);  // a long path: try again with room for it
  }
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

template <typename T>
bool Resolve(HMODULE module, const char* name, T& out) {
  FARPROC address = GetProcAddress(module, name);
  out = reinterpret_cast<T>(reinterpret_cast<void*>(address));
  return address != nullptr;
}

std::unique_ptr<Library> Load(const std::wstring& folder) {
  auto library = std::make_unique<Library>();
  if (folder.empty()) return library;
  // libavutil first, by its full path, so that libavcodec's import of it finds this one and
  // not a namesake on the search path; the altered search path does the same for the rest.
  const std::wstring avutilPath = folder + L"\\" + kAvutilDll;
  const std::wstring avcodecPath = folder + L"\\" + kAvcodecDll;
  // No "cannot find the DLL" box from the system when they are missing.
  const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE avutil = LoadLibraryExW(avutilPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  HMODULE avcodec =
      avutil ? LoadLibraryExW(avcodecPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
             : nullptr;
  SetErrorMode(oldMode);
  if (avcodec == nullptr) {
    if (avutil != nullptr) FreeLibrary(avutil);
    return library;
  }
  avcodec::Functions& f = library->functions;
  const bool all = Resolve(avcodec, "avcodec_find_decoder", f.findDecoder) &&
                   Resolve(avcodec, "avcodec_alloc_context3", f.allocContext) &&
                   Resolve(avcodec, "avcodec_open2", f.openContext) &&
                   Resolve(avcodec, "avcodec_free_context", f.freeContext) &&
                   Resolve(avcodec, "av_packet_alloc", f.allocPacket) &&
                   Resolve(avcodec, "av_packet_free", f.freePacket) &&
                   Resolve(avutil, "av_frame_alloc", f.allocFrame) &&
                   Resolve(avutil, "av_frame_free", f.freeFrame) &&
                   Resolve(avcodec, "avcodec_send_packet", f.sendPacket) &&
                   Resolve(avcodec, "avcodec_receive_frame", f.receiveFrame) &&
                   Resolve(avutil, "av_pix_fmt_desc_get", f.describeFormat) &&
                   Resolve(avutil, "av_log_set_level", f.setLogLevel);
  if (!all) {  // another build of the library: not one to call into
    FreeLibrary(avcodec);
    FreeLibrary(avutil);
    return library;
  }
  // A damaged frame is reported to the bridge as a codec failure; the library's own
  // complaints on the console would only repeat it.
  f.setLogLevel(AV_LOG_QUIET);
  library->complete = true;
  return library;
}

// The current folder's table, loading it at first need; null when it has no decoders.
const avcodec::Functions* Current() {
  std::lock_guard<std::mutex> hold(gLock);
  const std::wstring folder = gFolderOverride.empty() ? ModuleFolder() : gFolderOverride;
  auto it = gLibraries.find(folder);
  if (it == gLibraries.end()) it = gLibraries.emplace(folder, Load(folder)).first;
  return it->second->complete ? &it->second->functions : nullptr;
}

}  // namespace

bool BuiltinDecodersAvailable() { return Current() != nullptr; }

void SetBuiltinDecoderFolder(const std::wstring& folder) {
  std::lock_guard<std::mutex> hold(gLock);
  gFolderOverride = folder;
}

}  // namespace win32

namespace common {

std::unique_ptr<CodecDriver> BuiltinDecoder(uint32_t handler, uint16_t mode) {
  // Codes the decoders do not know never load the library.
  if (avcodec::CodecFor(handler) == AV_CODEC_ID_NONE) return nullptr;
  const avcodec::Functions* functions = win32::Current();
  if (functions == nullptr) return nullptr;
  return avcodec::MakeDecoder(functions, handler, mode);
}

}  // namespace common
}  // namespace platform
