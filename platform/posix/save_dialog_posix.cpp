// The file-save dialog on POSIX: there is no one to ask, so every request is a cancel.
#include "platform/common/side.h"

namespace platform::side {

bool ShowSaveDialog(SaveDialogRequest&) { return false; }

}  // namespace platform::side
