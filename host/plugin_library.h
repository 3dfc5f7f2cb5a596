// Finding and loading the panorama plug-in the way browsers did: by the MIME types its version
// resource lists, then through its three exports.
#pragma once

#include <string>

#include "plugin/npapi.h"

namespace kvp::host {

inline constexpr const char* kPanoramaMimeType = "application/x-pan";

// The "MIMEType" string of the library's version resource (language 0409, code page 04E4), or
// "" when the file has no version resource or no such string. Types are separated by '|'.
std::string ReadMimeTypes(const std::string& libraryPath);

// True when the '|'-separated list names `mimeType` (case-insensitive, blanks ignored).
bool ListsMimeType(const std::string& mimeTypes, const std::string& mimeType);

// A loaded plug-in library: its handler table, filled by NP_GetEntryPoints and initialised
// with the browser's table. Window thread only.
class PluginLibrary {
 public:
  PluginLibrary() = default;
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  // Checks the MIME type, loads the library and initialises it with `browserFuncs` (which
  // must outlive the library). On failure returns false with a message for the user.
  bool Load(const std::string& path, NPNetscapeFuncs* browserFuncs, std::string& error);

  // NP_Shutdown and unloading; also done by the destructor.
  void Unload();

  const NPPluginFuncs& Funcs() const { return funcs_; }

 private:
  HMODULE module_ = nullptr;
  NP_ShutdownFunc shutdown_ = nullptr;
  bool initialised_ = false;
  NPPluginFuncs funcs_ = {};
};

}  // namespace kvp::host
