// The web side's store of fetched files, on the POSIX file system it shares with emscripten's:
// chunks in, the file visible only whole, a failed fetch leaving nothing, a refused URL.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/web/file_store.h"
#include "tests/test_files.h"

namespace {

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(WebFileStore, ChunksBecomeTheFileUnderItsUrlOnlyWhenTheArrivalEnds) {
  kvp::test::TempDir dir;
  const std::string folder = dir.Path().string();
  platform::web::FileArrivals arrivals(folder);
  // "%25" stays as written (it would make an escape); "%20" is the space it stands for.
  const std::string parent = folder + "/url/https/example.org/tour/room%25201";
  const std::string final = parent + "/a b.pan";

  const int32_t h = arrivals.Begin("https://example.org/tour/room%25201/a%20b.pan");
  ASSERT_GT(h, 0);
  const std::string first = "KVPF", second(200000, 'x');
  EXPECT_TRUE(arrivals.Write(h, reinterpret_cast<const uint8_t*>(first.data()), first.size()));
  EXPECT_TRUE(arrivals.Write(h, reinterpret_cast<const uint8_t*>(second.data()), second.size()));
  EXPECT_FALSE(platform::web::FileExists(final));

  // A second fetch of the same URL that fails leaves the first alone.
  const int32_t failing = arrivals.Begin("https://example.org/tour/room%25201/a%20b.pan");
  ASSERT_GT(failing, 0);
  ASSERT_NE(failing, h);
  EXPECT_TRUE(arrivals.Write(failing, reinterpret_cast<const uint8_t*>("BM"), 2));

  std::string path;
  EXPECT_EQ(arrivals.End(h, true, &path), 0);
  EXPECT_EQ(path, final);
  EXPECT_EQ(Contents(final), first + second);
  EXPECT_EQ(arrivals.End(failing, false, &path), 1);
  EXPECT_EQ(path, final);
  EXPECT_EQ(Contents(final), first + second);
  EXPECT_EQ(arrivals.Pending(), 0u);

  // Nothing but the file is left in its folder: the hidden parts are gone.
  size_t entries = 0;
  for (auto it = std::filesystem::directory_iterator(parent);
       it != std::filesystem::directory_iterator(); ++it) {
    ++entries;
  }
  EXPECT_EQ(entries, 1u);

  // Unknown handles and URLs that name no file of their own.
  EXPECT_FALSE(arrivals.Write(h, reinterpret_cast<const uint8_t*>("x"), 1));
  EXPECT_EQ(arrivals.End(h, true, &path), 2);
  EXPECT_EQ(path, "");
  EXPECT_EQ(arrivals.Begin("https://example.org/../etc/passwd"), 0);
  EXPECT_EQ(arrivals.Begin("tour/hall.pan"), 0);
}

}  // namespace
