// The file-save dialog on POSIX: nobody to ask, so it answers as a cancel.
#include <gtest/gtest.h>

#include "platform/platform.h"

namespace {

TEST(SaveDialogPosix, AnswersAsACancel) {
  char path[16] = "*.pan";
  platform::SaveDialogRequest request;
  request.path = path;
  request.pathSize = sizeof path;
  EXPECT_FALSE(platform::ShowSaveDialog(request));
}

}  // namespace
