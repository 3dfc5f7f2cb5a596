// Our private-profile reader beside the real GetPrivateProfileString/Int on the same files:
// every query of the corpus must give the same result and the same bytes.
#include <gtest/gtest.h>

#include <string>

#include "platform/common/profile_reader.h"
#include "platform/platform.h"
#include "tests/platform/profile_corpus.h"
#include "tests/test_files.h"

namespace kvp {
namespace {

TEST(ProfileReader, GivesTheAnswersOfTheWindowsCallsOnTheSameFiles) {
  test::TempDir dir;
  for (const test::CorpusFile& f : test::Corpus()) dir.Write(f.name, f.text);
  const test::ProfileReader windows{&platform::ReadProfileString, &platform::ReadProfileInt};
  const test::ProfileReader ours{&platform::common::ReadProfileString,
                                 &platform::common::ReadProfileInt};
  for (const test::Query& q : test::Queries()) {
    const std::string path = (dir.Path() / q.file).string();
    EXPECT_EQ(test::Answer(q, path, ours), test::Answer(q, path, windows));
  }
}

}  // namespace
}  // namespace kvp
