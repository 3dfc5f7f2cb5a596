// kvp info on crafted files: what it reports, and that hostile files never stop it.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "data/packed_image.h"
#include "tests/test_files.h"
#include "tools/authoring/writer.h"
#include "tools/kvp/commands.h"

namespace kvp {
namespace {

struct Result {
  int status;
  std::string out, err;
};

// A plain ASCII text as JSON writes it (paths on Windows carry backslashes).
std::string Json(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

const std::string kSeparator(1, std::filesystem::path::preferred_separator);

Result Info(const std::string& path) {
  std::ostringstream out, err;
  const int status = cli::RunKvp({"info", path}, out, err);
  return {status, out.str(), err.str()};
}

std::vector<uint8_t> SmallImage(uint16_t bits, ViewFields view = {}) {
  std::vector<uint8_t> table(bits == 8 ? 1024 : 0, 0);
  return authoring::MakePackedImage(8, 2, bits, std::vector<uint8_t>(size_t(16) * bits / 8, 1),
                                    table, view)
      .bytes;
}

TEST(KvpInfo, ReportsAContainerWithViewEntriesAndHotspots) {
  test::TempDir dir;
  std::vector<uint8_t> hspt;
  std::string error;
  ASSERT_TRUE(authoring::BuildHotspotBlock({{0, 0, 90, 30, "a \"b\".html"}}, hspt, &error));
  const std::vector<uint8_t> image = SmallImage(24, ViewFields{45, -30, 10, 0});
  const std::string path =
      dir.Write("p.pan", authoring::BuildContainer({{"HSPT", hspt}, {"BTMP", image}}));
  const Result r = Info(path);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  const std::string expected =
      "{\"kind\":\"container\",\"width\":8,\"height\":2,\"bits\":24,\"compression\":null,"
      "\"codec\":null,\"decodable\":true,\"view\":{\"fov\":45,\"heading\":-30,\"pitch\":10,\"roll\":0},"
      "\"entries\":[{\"tag\":\"HSPT\",\"offset\":48,\"length\":" + std::to_string(hspt.size()) +
      "},{\"tag\":\"BTMP\",\"offset\":" + std::to_string(48 + hspt.size()) +
      ",\"length\":" + std::to_string(image.size()) + "}],\"image_length\":" +
      std::to_string(image.size()) +
      ",\"hotspots\":[{\"h1\":0,\"p1\":0,\"h2\":90,\"p2\":30,\"link\":\"a \\\"b\\\".html\","
      "\"centre\":[-5,4.9999995,2.5],\"size\":[10,10,5]}]}\n";  // single precision
  EXPECT_EQ(r.out, expected);
}

TEST(KvpInfo, ReportsBitmapsCompressedFramesAndMissingViews) {
  test::TempDir dir;
  PackedImage image;
  image.bytes = SmallImage(8, ViewFields{180, 5, 5, 5});  // fov 180: no view
  Result r = Info(dir.Write("b.bmp", authoring::BuildBitmapFile(image)));
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\"kind\":\"bitmap\",\"width\":8,\"height\":2,\"bits\":8,"
                       "\"compression\":null,\"codec\":null,\"decodable\":true,\"view\":null,"
                       "\"entries\":[],\"image_length\":1080,"
                       "\"hotspots\":[]}"),
            std::string::npos)
      << r.out;

  std::vector<uint8_t> frame = test::InfoHeaderBytes(640, 80, 24, FourCC("IV41"));
  frame.resize(300, 0);
  r = Info(dir.Write("c.pan", authoring::BuildContainer({{"BTMP", frame}})));
  EXPECT_NE(r.out.find("\"compression\":\"IV41\",\"codec\":\"Indeo 4\""), std::string::npos)
      << r.out;

  // A code no decoder of any build knows.
  frame = test::InfoHeaderBytes(64, 32, 24, FourCC("XQ7z"));
  frame.resize(300, 0);
  r = Info(dir.Write("d.pan", authoring::BuildContainer({{"BTMP", frame}})));
  EXPECT_NE(r.out.find("\"compression\":\"XQ7z\",\"codec\":null,\"decodable\":false"),
            std::string::npos)
      << r.out;
}

TEST(KvpInfo, CraftedContainersWithoutAnImage) {
  test::TempDir dir;
  // Lower-case tag, and a count of zero: no image, no header fields, a note on stderr.
  for (const auto& file : {authoring::BuildContainer({{"btmp", SmallImage(24)}}),
                           authoring::BuildContainer({})}) {
    const Result r = Info(dir.Write("x.pan", file));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\"width\":null"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"image_length\":0"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("no image"), std::string::npos) << r.err;
  }
}

TEST(KvpInfo, HostileFilesAreReportedNotFollowed) {
  test::TempDir dir;
  // The directory points the image past the end of the file.
  std::vector<uint8_t> file = authoring::BuildContainer({{"BTMP", SmallImage(24)}});
  file[16 + 4] = 0xF0;  // image offset far beyond the file
  Result r = Info(dir.Write("far.pan", file));
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\"width\":null"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("past the end"), std::string::npos) << r.err;

  // An entry count of four billion with one real entry.
  file = authoring::BuildContainer({{"BTMP", SmallImage(16)}});
  file[8] = file[9] = file[10] = file[11] = 0xFF;
  r = Info(dir.Write("count.pan", file));
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\"bits\":16"), std::string::npos) << r.out;

  // Header fields that overflow, with the image cut short.
  std::vector<uint8_t> bitmap = {'B', 'M', 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0, 0, 0, 0, 0};
  const std::vector<uint8_t> header = test::InfoHeaderBytes(0x7FFFFFFF, -5, 24);
  bitmap.insert(bitmap.end(), header.begin(), header.end());
  r = Info(dir.Write("huge.bmp", bitmap));
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\"height\":-5"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("past the end"), std::string::npos) << r.err;
}

TEST(KvpInfo, DescriptionNodes) {
  test::TempDir dir;
  const std::string file = dir.Write(
      "tour.ini", std::string("[Kestrelvue]\nEnvironment Count=1\n[Directory 1]\n"
                              "a.pan=0,0,0,2.5\n#b.pan=3,4,0,1\n"));
  const Result r = Info(file);
  EXPECT_EQ(r.status, 0);
  const std::string folder = std::filesystem::path(file).parent_path().string();
  std::ostringstream want;
  want << "{\"kind\":\"description\",\"nodes\":["
       << "{\"path\":" << Json(folder + kSeparator + "a.pan")
       << ",\"x\":0,\"y\":0,\"z\":0,\"radius\":2.5,\"blocked\":false,\"environment\":1,"
       << "\"nearest\":1,\"nearest_distance\":5},"
       << "{\"path\":" << Json(folder + kSeparator + "#b.pan")
       << ",\"x\":3,\"y\":4,\"z\":0,\"radius\":1,\"blocked\":true,\"environment\":1,"
       << "\"nearest\":0,\"nearest_distance\":5}]}\n";
  EXPECT_EQ(r.out, want.str());
}

TEST(KvpInfo, OtherFilesAndErrors) {
  test::TempDir dir;
  EXPECT_EQ(Info(dir.Write("tour.txt", std::string("; tour\r\n[Kestrelvue]\r\nVERSION=Release 2.0\r\n"))).out,
            "{\"kind\":\"description\",\"nodes\":[]}\n");
  EXPECT_EQ(Info(dir.Write("junk.bin", std::string("hello"))).out, "{\"kind\":\"unknown\"}\n");
  EXPECT_EQ(Info(dir.Write("empty.bin", std::string())).out, "{\"kind\":\"unknown\"}\n");

  const Result missing = Info((dir.Path() / "missing.pan").string());
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find("cannot open"), std::string::npos);
  EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1);

  std::ostringstream out, err;
  EXPECT_EQ(cli::RunKvp({"info"}, out, err), 2);
  EXPECT_EQ(cli::RunKvp({"frobnicate"}, out, err), 2);
}

}  // namespace
}  // namespace kvp
