// The module this code is linked into (the plug-in DLL, or a test program): the windows and
// window classes of the Win32 side are made for it.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace platform {

inline HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&ThisModule), &module);
  return module;
}

}  // namespace platform
