// The seam's file-save dialog: a test hook sees the request and its answer is the dialog's.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "platform/testing.h"

namespace {

struct Seen {
  int calls = 0;
  std::string initial;
  uint32_t flags = 0;
};

bool AnswerWithPath(platform::SaveDialogRequest& request, void* user) {
  auto* seen = static_cast<Seen*>(user);
  ++seen->calls;
  seen->initial = request.path;
  seen->flags = request.flags;
  std::snprintf(request.path, request.pathSize, "%s", "chosen.pan");
  return true;
}

TEST(SaveDialog, HookAnswersInsteadOfTheDialog) {
  Seen seen;
  char path[16] = "*.pan";
  platform::SaveDialogRequest request;
  request.filter = "All\0*.*\0";
  request.path = path;
  request.pathSize = sizeof path;
  request.flags = platform::kOfnHideReadOnly | platform::kOfnOverwritePrompt;
  platform::SetSaveDialogHook(AnswerWithPath, &seen);
  EXPECT_TRUE(platform::ShowSaveDialog(request));
  platform::SetSaveDialogHook(nullptr, nullptr);
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(seen.initial, "*.pan");
  EXPECT_EQ(seen.flags, 6u);
  EXPECT_STREQ(path, "chosen.pan");
}

}  // namespace
