// Win32 multimedia: MCI command strings, short paths and the waveform sound stop.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <mmsystem.h>

#include "platform/common/side.h"
#include "platform/platform.h"

namespace platform {

uint32_t side::SendMciCommand(const char* command, Window* callback) {
  return ::mciSendStringA(command, nullptr, 0, reinterpret_cast<HWND>(callback));
}

bool side::StopWaveSound() {
  return ::PlaySoundA(nullptr, nullptr, SND_ASYNC | SND_NODEFAULT | SND_NOWAIT) != FALSE;
}

uint32_t GetShortPath(const char* path, char* buffer, uint32_t size) {
  if (path == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return ::GetShortPathNameA(path, buffer, size);
}

}  // namespace platform
