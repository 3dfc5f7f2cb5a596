// The platform seam's files: open rules, reads at and past the end, seeking, size, error texts.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "data/byte_reader.h"
#include "tests/test_files.h"

namespace {

TEST(PlatformFile, ReadsSeeksAndReportsSize) {
  kvp::test::TempDir dir;
  const std::string path = dir.Write("data.bin", std::string("0123456789"));
  platform::File* file = platform::OpenFile(path.c_str());
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(platform::FileSize(file), 10u);

  char buf[16] = {};
  EXPECT_EQ(platform::ReadFile(file, buf, 4), 4u);
  EXPECT_EQ(std::string(buf, 4), "0123");
  EXPECT_EQ(platform::TellFile(file), 4u);
  EXPECT_EQ(platform::ReadFile(file, buf, 16), 6u);  // short read at the end
  EXPECT_EQ(platform::ReadFile(file, buf, 16), 0u);

  ASSERT_TRUE(platform::SeekFile(file, 8));
  EXPECT_EQ(platform::ReadFile(file, buf, 16), 2u);
  EXPECT_EQ(buf[0], '8');
  ASSERT_TRUE(platform::SeekFile(file, 1000));  // past the end is allowed
  EXPECT_EQ(platform::ReadFile(file, buf, 4), 0u);
  platform::CloseFile(file);
}

TEST(PlatformFile, RefusesMissingFilesAndFolders) {
  kvp::test::TempDir dir;
  EXPECT_EQ(platform::OpenFile((dir.Path() / "missing.pan").string().c_str()), nullptr);
  EXPECT_NE(platform::LastError(), 0u);
  EXPECT_EQ(platform::OpenFile(dir.Path().string().c_str()), nullptr);
  EXPECT_EQ(platform::OpenFile(nullptr), nullptr);
  platform::CloseFile(nullptr);
}

TEST(PlatformFile, WriteAccessIsNotShared) {
  // Every open asks for write access with read sharing only: while one handle holds the
  // file, a second open (even the read-only fallback) is refused; after the close it works.
  kvp::test::TempDir dir;
  const std::string path = dir.Write("shared.pan", std::string("KVPF"));
  platform::File* first = platform::OpenFile(path.c_str());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(platform::OpenFile(path.c_str()), nullptr);
  platform::CloseFile(first);

  platform::File* again = platform::OpenFile(path.c_str());
  ASSERT_NE(again, nullptr);
  kvp::FileReader reader(again);
  char magic[4];
  EXPECT_EQ(reader.Read(magic, 4), 4u);
  EXPECT_EQ(reader.Size(), 4u);
  platform::CloseFile(again);
}

TEST(PlatformFile, ReadOnlyOpenSharesWithWritersAndReadsReadOnlyFiles) {
  kvp::test::TempDir dir;
  const std::string path = dir.Write("locked.pan", std::string("KVPF"));
  namespace fs = std::filesystem;
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  platform::File* writer = platform::OpenFile(path.c_str());  // falls back to reading
  ASSERT_NE(writer, nullptr);
  platform::File* looker = platform::OpenFileReadOnly(path.c_str());
  ASSERT_NE(looker, nullptr) << platform::ErrorText(platform::LastError());
  char magic[4] = {};
  EXPECT_EQ(platform::ReadFile(looker, magic, 4), 4u);
  EXPECT_EQ(std::string(magic, 4), "KVPF");
  EXPECT_EQ(platform::FileSize(looker), 4u);
  platform::CloseFile(looker);
  platform::CloseFile(writer);
  // The looker left no trace in the sharing rules: a full open works again.
  platform::File* again = platform::OpenFile(path.c_str());
  EXPECT_NE(again, nullptr);
  platform::CloseFile(again);
  fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);  // so it can be removed
}

TEST(PlatformFile, ErrorsComeWithTheSystemsText) {
  kvp::test::TempDir dir;
  EXPECT_EQ(platform::OpenFileReadOnly((dir.Path() / "missing.pan").string().c_str()), nullptr);
  const uint32_t code = platform::LastError();
  EXPECT_NE(code, 0u);
  const std::string text = platform::ErrorText(code);
  EXPECT_FALSE(text.empty());
  EXPECT_NE(text.find_first_not_of("0123456789 "), std::string::npos) << text;
  EXPECT_NE(text, platform::ErrorText(0));  // the text of this failure, not of success
  EXPECT_NE(text.back(), '\n');
  EXPECT_NE(text.back(), '.');
  EXPECT_EQ(platform::OpenFileReadOnly(dir.Path().string().c_str()), nullptr);
  EXPECT_EQ(platform::OpenFileReadOnly(nullptr), nullptr);
}

}  // namespace
