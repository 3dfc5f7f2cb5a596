// The multimedia seam calls that tests redirect: MCI commands and the sound stop answer from
// the hook when one is set, else from the platform side.
#include "platform/common/hook_slot.h"
#include "platform/common/side.h"
#include "platform/platform.h"
#include "platform/testing.h"

namespace platform {

namespace {

HookSlot<MultimediaHook> gMultimediaHook;

}  // namespace

uint32_t SendMciCommand(const char* command, Window* callback) {
  if (command == nullptr) return kMciErrorDeviceNotInstalled;
  MultimediaHook hook;
  void* user;
  if (gMultimediaHook.Get(hook, user)) return hook(command, callback, user);
  return side::SendMciCommand(command, callback);
}

bool StopWaveSound() {
  MultimediaHook hook;
  void* user;
  if (gMultimediaHook.Get(hook, user)) {
    hook(nullptr, nullptr, user);
    return true;
  }
  return side::StopWaveSound();
}

void SetMultimediaHook(MultimediaHook hook, void* user) { gMultimediaHook.Set(hook, user); }

}  // namespace platform
