// The file-save dialog's seam call: answered by the test hook when one is set, else by the side.
#include "platform/common/hook_slot.h"
#include "platform/common/side.h"
#include "platform/platform.h"
#include "platform/testing.h"

namespace platform {

namespace {
HookSlot<SaveDialogHook> gSaveDialogHook;
}  // namespace

bool ShowSaveDialog(SaveDialogRequest& request) {
  SaveDialogHook hook;
  void* user;
  if (gSaveDialogHook.Get(hook, user)) return hook(request, user);
  return side::ShowSaveDialog(request);
}

void SetSaveDialogHook(SaveDialogHook hook, void* user) { gSaveDialogHook.Set(hook, user); }

}  // namespace platform
