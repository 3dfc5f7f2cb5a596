// Plug-in discovery through the version resource, and the library's start and end.
#include "host/plugin_library.h"

#include <cctype>
#include <vector>

namespace kvp::host {

namespace {

// An export by name; the detour through void (*)() is the documented way to change a
// function pointer's type without the compiler's type-mismatch warning.
template <typename Function>
Function Export(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

std::string ReadMimeTypes(const std::string& libraryPath) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(libraryPath.c_str(), &ignored);
  if (size == 0) return "";
  std::vector<char> info(size);
  if (!GetFileVersionInfoA(libraryPath.c_str(), 0, size, info.data())) return "";
  char* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(info.data(), "\\StringFileInfo\\040904E4\\MIMEType",
                      reinterpret_cast<void**>(&value), &length) ||
      value == nullptr)
    return "";
  // The length counts the terminator when there is one; never read past the block.
  std::string types(value, length);
  return types.substr(0, types.find('\0'));
}

bool ListsMimeType(const std::string& mimeTypes, const std::string& mimeType) {
  size_t start = 0;
  while (start <= mimeTypes.size()) {
    size_t end = mimeTypes.find('|', start);
    if (end == std::string::npos) end = mimeTypes.size();
    std::string entry;
    for (size_t i = start; i < end; ++i)
      if (!std::isspace(static_cast<unsigned char>(mimeTypes[i])))
        entry += char(std::tolower(static_cast<unsigned char>(mimeTypes[i])));
    if (entry == mimeType) return true;
    start = end + 1;
  }
  return false;
}

PluginLibrary::~PluginLibrary() { Unload(); }

bool PluginLibrary::Load(const std::string& path, NPNetscapeFuncs* browserFuncs,
                         std::string& error) {
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    error = "The panorama plug-in " + path + " was not found.";
    return false;
  }
  if (!ListsMimeType(ReadMimeTypes(path), kPanoramaMimeType)) {
    error = "The library " + path + " is not a plug-in for " + kPanoramaMimeType +
            " (its version resource lists no such MIME type).";
    return false;
  }
  module_ = LoadLibraryA(path.c_str());
  if (module_ == nullptr) {
    error = "The panorama plug-in " + path + " could not be loaded (error " +
            std::to_string(GetLastError()) + ").";
    return false;
  }
  auto getEntryPoints = Export<NP_GetEntryPointsFunc>(module_, "NP_GetEntryPoints");
  auto initialize = Export<NP_InitializeFunc>(module_, "NP_Initialize");
  shutdown_ = Export<NP_ShutdownFunc>(module_, "NP_Shutdown");
  if (getEntryPoints == nullptr || initialize == nullptr || shutdown_ == nullptr) {
    error = "The library " + path + " lacks the plug-in entry points.";
    Unload();
    return false;
  }
  funcs_ = {};
  funcs_.size = sizeof(funcs_);
  NPError result = getEntryPoints(&funcs_);
  if (result == NPERR_NO_ERROR) result = initialize(browserFuncs);
  if (result != NPERR_NO_ERROR) {
    error = "The panorama plug-in " + path + " refused to start (NPAPI error " +
            std::to_string(result) + ").";
    Unload();
    return false;
  }
  initialised_ = true;
  if (funcs_.newp == nullptr || funcs_.destroy == nullptr || funcs_.setwindow == nullptr) {
    error = "The panorama plug-in " + path + " gave no instance handlers.";
    Unload();
    return false;
  }
  return true;
}

void PluginLibrary::Unload() {
  if (initialised_ && shutdown_ != nullptr) shutdown_();
  initialised_ = false;
  if (module_ != nullptr) FreeLibrary(module_);
  module_ = nullptr;
  shutdown_ = nullptr;
}

}  // namespace kvp::host
