// Windows' built-in decoders: the minimal libavcodec DLLs shipped beside the module, loaded
// from that folder at first need.
#pragma once

#include <string>

namespace platform::win32 {

// The DLLs, as the build copies them beside Qorvane.DLL and the programs.
inline constexpr wchar_t kAvutilDll[] = L"avutil-57.dll";
inline constexpr wchar_t kAvcodecDll[] = L"avcodec-59.dll";

// Whether the DLLs load from the decoder folder with every entry point the decoders call.
// A folder is tried once: a load that failed is not retried until the folder changes.
// Any thread.
bool BuiltinDecodersAvailable();

// The folder the DLLs are loaded from: the one holding the module this code is linked into
// (never the search path, which a page's folder or the browser's may lead astray), or `folder`
// when it is not empty. Libraries loaded from another folder stay loaded, since decoders
// opened from them may still run. For tests: a folder without the DLLs stands for a machine
// without them.
void SetBuiltinDecoderFolder(const std::wstring& folder);

}  // namespace platform::win32
