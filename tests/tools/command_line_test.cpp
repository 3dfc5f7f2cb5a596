// The kvp command line: help pages, one-line refusals, several files to info, the system's texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "platform/platform.h"
#include "tests/test_files.h"
#include "tools/authoring/writer.h"
#include "tools/kvp/commands.h"

namespace kvp {
namespace {

struct Result {
  int status;
  std::string out, err;
};

Result Kvp(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = cli::RunKvp(args, out, err);
  return {status, out.str(), err.str()};
}

size_t Lines(const std::string& text) { return size_t(std::count(text.begin(), text.end(), '\n')); }

// A small uncompressed panorama container the drawing commands accept.
std::string SmallPanorama(const test::TempDir& dir, const std::string& name) {
  const PackedImage image =
      authoring::MakePackedImage(64, 32, 24, std::vector<uint8_t>(size_t(64) * 32 * 3, 90));
  return dir.Write(name, authoring::BuildContainer({{"BTMP", image.bytes}}));
}

// What the system says about a file that is not there, asked through the seam.
std::string MissingFileText(const std::string& path) {
  EXPECT_EQ(platform::OpenFileReadOnly(path.c_str()), nullptr);
  return platform::ErrorText(platform::LastError());
}

TEST(KvpCommandLine, HelpListsTheCommandsAndEachCommandHasItsPage) {
  const char* const commands[] = {"info", "pack", "export", "warp", "render"};
  for (const std::vector<std::string>& args : {std::vector<std::string>{"help"}, {"--help"}}) {
    const Result r = Kvp(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    for (const char* command : commands) {
      EXPECT_NE(r.out.find(std::string("\n  ") + command + " "), std::string::npos)
          << command << "\n" << r.out;
    }
  }
  // Each page names its command's usage and its own options.
  const std::pair<const char*, const char*> pages[] = {
      {"info", "FILE"},       {"pack", "--hotspot"}, {"export", "-o"},
      {"warp", "--repeat"},   {"render", "--position"}};
  for (const auto& [command, option] : pages) {
    const Result page = Kvp({command, "--help"});
    EXPECT_EQ(page.status, 0);
    EXPECT_NE(page.out.find(std::string("kvp ") + command), std::string::npos) << page.out;
    EXPECT_NE(page.out.find(option), std::string::npos) << page.out;
    EXPECT_EQ(Kvp({"help", command}).out, page.out);
  }
  EXPECT_NE(Kvp({"info", "--help"}).out.find("Usage: kvp info"), std::string::npos);
  EXPECT_EQ(Kvp({}).status, 2);  // no command: the overview, on standard error
}

TEST(KvpCommandLine, BadInputGetsOneLineAndStatusTwo) {
  test::TempDir dir;
  const std::string pan = SmallPanorama(dir, "p.pan");
  const std::string png = (dir.Path() / "out.png").string();
  const std::vector<std::vector<std::string>> cases = {
      {"frobnicate"},
      {"--bogus"},
      {"help", "frobnicate"},
      {"info"},
      {"info", pan, "--depth", "8"},
      {"export", pan},
      {"warp", pan, "-o", png, "--fov", "180"},
      {"warp", pan, "-o", png, "--heading", "nan"},
      {"warp", pan, "-o", png, "--quality", "0x1"},
      {"warp", pan, "-o", png, "--repeat"},
      {"render", pan, "-o", png, "--frames", "0"},
      {"render", pan, "-o", png, "--size", "64"},
  };
  for (const auto& args : cases) {
    std::string line;
    for (const std::string& a : args) line += a + " ";
    const Result r = Kvp(args);
    EXPECT_EQ(r.status, 2) << line;
    EXPECT_EQ(Lines(r.err), 1u) << line << "\n" << r.err;
    EXPECT_EQ(r.err.rfind("kvp", 0), 0u) << line << "\n" << r.err;
    EXPECT_EQ(r.out, "") << line;
  }
  // Negative values are values, not options; an option given twice takes the last.
  const Result r = Kvp({"warp", pan, "-o", png, "--size", "8x8", "--pitch", "-10", "--roll",
                        "5", "--roll", "-5"});
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST(KvpCommandLine, InfoReportsEveryFileAndOneLinePerFailure) {
  test::TempDir dir;
  const std::string a = SmallPanorama(dir, "a.pan");
  const std::string missing = (dir.Path() / "missing.pan").string();
  const std::string b = dir.Write("b.bin", std::string("hello"));
  const Result r = Kvp({"info", a, missing, b});
  EXPECT_EQ(r.status, 2);
  std::istringstream lines(r.out);
  std::string line;
  for (const std::string& path : {a, b}) {
    ASSERT_TRUE(std::getline(lines, line));
    std::string quoted = path;
    for (size_t at = 0; (at = quoted.find('\\', at)) != std::string::npos; at += 2) {
      quoted.insert(at, 1, '\\');
    }
    EXPECT_EQ(line.rfind("{\"path\":\"" + quoted + "\",\"kind\":", 0), 0u) << line;
  }
  EXPECT_FALSE(std::getline(lines, line));
  EXPECT_EQ(r.err, "kvp info: cannot open " + missing + ": " + MissingFileText(missing) + "\n");

  // All readable: status 0. One file alone keeps the single-object report without a path.
  EXPECT_EQ(Kvp({"info", a, b}).status, 0);
  EXPECT_EQ(Kvp({"info", b}).out, "{\"kind\":\"unknown\"}\n");
}

TEST(KvpCommandLine, FailuresCarryTheSystemsText) {
  test::TempDir dir;
  const std::string missing = (dir.Path() / "missing.pan").string();
  const std::string text = MissingFileText(missing);
  ASSERT_NE(text.find_first_not_of("0123456789 "), std::string::npos) << text;
  ASSERT_NE(text, platform::ErrorText(0));
  const std::string png = (dir.Path() / "out.png").string();
  for (const char* command : {"export", "warp", "render"}) {
    const Result r = Kvp({command, missing, "-o", png});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, std::string("kvp ") + command + ": cannot open " + missing + ": " + text +
                         "\n");
  }
  const std::string pan = SmallPanorama(dir, "p.pan");
  const Result r = Kvp({"export", pan, "-o", (dir.Path() / "no-folder" / "x.png").string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("cannot write"), std::string::npos);
  EXPECT_NE(r.err.find(": ", r.err.find("x.png")), std::string::npos) << r.err;
}

TEST(KvpCommandLine, InfoReadsFilesItCouldNotWrite) {
  // A read-only file, and one the viewer holds open: info must look without asking to write.
  test::TempDir dir;
  const std::string pan = SmallPanorama(dir, "held.pan");
  platform::File* held = platform::OpenFile(pan.c_str());
  ASSERT_NE(held, nullptr);
  Result r = Kvp({"info", pan});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"width\":64"), std::string::npos) << r.out;
  platform::CloseFile(held);

  namespace fs = std::filesystem;
  fs::permissions(pan, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  r = Kvp({"info", pan});
  EXPECT_EQ(r.status, 0) << r.err;
  fs::permissions(pan, fs::perms::owner_write, fs::perm_options::add);
}

}  // namespace
}  // namespace kvp
