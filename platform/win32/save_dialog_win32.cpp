// The file-save dialog on Windows: the common dialog's GetSaveFileNameA.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <commdlg.h>

#include "platform/common/side.h"

namespace platform::side {

static_assert(kOfnOverwritePrompt == OFN_OVERWRITEPROMPT, "OFN_OVERWRITEPROMPT");
static_assert(kOfnHideReadOnly == OFN_HIDEREADONLY, "OFN_HIDEREADONLY");

bool ShowSaveDialog(SaveDialogRequest& request) {
  OPENFILENAMEA ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = reinterpret_cast<HWND>(request.owner);
  ofn.lpstrFilter = request.filter;
  ofn.lpstrFile = request.path;
  ofn.nMaxFile = request.pathSize;
  ofn.lpstrDefExt = request.defaultExtension;
  ofn.Flags = request.flags;
  return GetSaveFileNameA(&ofn) != 0;
}

}  // namespace platform::side
