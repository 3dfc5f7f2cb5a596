// `kvp serve`'s server over real sockets: the script line, types, ranges, refusals, HEAD.
#include <gtest/gtest.h>

#include <httplib.h>

#include <filesystem>

#include "tests/test_files.h"
#include "tools/kvp/serve.h"

namespace kvp {
namespace {

namespace fs = std::filesystem;

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// A site folder with a secret beside it (what climbing would reach) and a web build.
class ServeHttp : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(Site() / "sub");
    fs::create_directories(Site() / "empty");
    fs::create_directories(Web());
    dir_.Write("secret.txt", "the secret");
    dir_.Write("site/index.html", "<html><body><embed src=\"mars.pan\"></body></html>");
    dir_.Write("site/sub/page.HTM", "<HTML><HEAD><TITLE>t</TITLE></HEAD><BODY></BODY></HTML>");
    dir_.Write("site/sub/ready.html",
               "<html><head><script src=\"../kestrelvue.js\"></script></head></html>");
    dir_.Write("site/sub/bare.html", "<embed src=\"x.pan\">");
    dir_.Write("site/mars.pan", "0123456789");
    dir_.Write("site/bell.wav", "RIFF");
    dir_.Write("site/clip.avi", "RIFF");
    dir_.Write("site/rover.avt", "avt");
    dir_.Write("site/tour.ini", "[Kestrelvue]");
    dir_.Write("site/notes.xyz", "?");
    dir_.Write("web/kestrelvue.js", "// viewer");
    dir_.Write("web/kestrelvue-core.wasm", std::string("\0asm", 4));
  }

  fs::path Site() const { return dir_.Path() / "site"; }
  fs::path Web() const { return dir_.Path() / "web"; }

  // Starts a server on any free port; the client sends paths exactly as written.
  void Start(const fs::path& web) {
    server_ = std::make_unique<cli::LocalServer>(Site().string(), web.string());
    std::string why;
    ASSERT_TRUE(server_->Start(0, why)) << why;
    client_ = std::make_unique<httplib::Client>("127.0.0.1", server_->Port());
    client_->set_url_encode(false);
  }

  httplib::Result Get(const std::string& path, const std::string& range = "") {
    return range.empty() ? client_->Get(path.c_str())
                         : client_->Get(path.c_str(), {{"Range", range}});
  }
  int Status(const std::string& path) {
    auto r = Get(path);
    return r ? r->status : -1;
  }

  test::TempDir dir_;
  std::unique_ptr<cli::LocalServer> server_;
  std::unique_ptr<httplib::Client> client_;
};

TEST_F(ServeHttp, PagesGetTheScriptLineOnce) {
  Start(Web());
  // No </head>: before </body>; the folder's index answers for "/".
  auto index = Get("/");
  ASSERT_TRUE(index);
  EXPECT_EQ(index->status, 200);
  EXPECT_EQ(index->body, std::string("<html><body><embed src=\"mars.pan\">") + cli::kScriptLine +
                             "\n</body></html>");
  // Upper-case tags: before </HEAD>.
  auto page = Get("/sub/page.HTM");
  ASSERT_TRUE(page);
  EXPECT_EQ(Count(page->body, cli::kScriptLine), 1u);
  EXPECT_LT(page->body.find(cli::kScriptLine), page->body.find("</HEAD>"));
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html");
  // Neither tag: at the end. A page that loads the viewer itself is left alone.
  EXPECT_EQ(Get("/sub/bare.html")->body,
            std::string("<embed src=\"x.pan\">\n") + cli::kScriptLine + "\n");
  EXPECT_EQ(Count(Get("/sub/ready.html")->body, "kestrelvue.js"), 1u);
  // HEAD: the length of what GET sends, with the line, and no body.
  auto head = client_->Head("/sub/page.HTM");
  ASSERT_TRUE(head);
  EXPECT_EQ(head->status, 200);
  EXPECT_EQ(head->get_header_value("Content-Length"), std::to_string(page->body.size()));
  EXPECT_TRUE(head->body.empty());
}

TEST_F(ServeHttp, FilesFoldersAndTheViewerHaveTheirTypes) {
  Start(Web());
  const std::pair<const char*, const char*> cases[] = {
      {"/mars.pan", "application/x-pan"},       {"/bell.wav", "audio/wav"},
      {"/clip.avi", "video/x-msvideo"},         {"/rover.avt", "application/octet-stream"},
      {"/tour.ini", "text/plain"},              {"/notes.xyz", "application/octet-stream"},
      {"/.kestrelvue/kestrelvue.js", "text/javascript"},
      {"/.kestrelvue/kestrelvue-core.wasm", "application/wasm"},
      // A page's own relative path to the viewer, when the folder has no such file.
      {"/sub/kestrelvue.js", "text/javascript"},
      // Links written on Windows or for a CD image, in the other case.
      {"/MARS.PAN", "application/x-pan"},
  };
  for (const auto& [path, type] : cases) {
    auto r = Get(path);
    ASSERT_TRUE(r) << path;
    EXPECT_EQ(r->status, 200) << path;
    EXPECT_EQ(r->get_header_value("Content-Type"), type) << path;
  }
  EXPECT_EQ(Get("/.kestrelvue/kestrelvue-core.wasm")->body, std::string("\0asm", 4));
  EXPECT_EQ(Get("/MARS.PAN")->body, "0123456789");

  // A folder without its '/' is sent to it, so that its relative links resolve.
  auto redirect = Get("/sub");
  ASSERT_TRUE(redirect);
  EXPECT_EQ(redirect->status, 301);
  EXPECT_EQ(redirect->get_header_value("Location"), "/sub/");
  // Without an index: a listing that links each entry.
  auto listing = Get("/sub/");
  ASSERT_TRUE(listing);
  EXPECT_EQ(listing->status, 200);
  EXPECT_NE(listing->body.find("<a href=\"page.HTM\">"), std::string::npos);
  EXPECT_NE(listing->body.find("<a href=\"../\">"), std::string::npos);

  EXPECT_EQ(Status("/missing.pan"), 404);
  EXPECT_EQ(Status("/sub/missing/x.pan"), 404);
  EXPECT_EQ(Status("/.kestrelvue/missing.js"), 404);
}

TEST_F(ServeHttp, RangesOfFilesAndPages) {
  Start(Web());
  struct Case {
    const char* range;
    int status;
    const char* body;
    const char* contentRange;
  } cases[] = {
      {"bytes=2-4", 206, "234", "bytes 2-4/10"},
      {"bytes=5-", 206, "56789", "bytes 5-9/10"},
      {"bytes=-3", 206, "789", "bytes 7-9/10"},
      {"bytes=8-100", 206, "89", "bytes 8-9/10"},
      {"bytes=10-12", 416, "", "bytes */10"},
  };
  for (const Case& c : cases) {
    auto r = Get("/mars.pan", c.range);
    ASSERT_TRUE(r) << c.range;
    EXPECT_EQ(r->status, c.status) << c.range;
    if (c.status == 206) {
      EXPECT_EQ(r->body, c.body) << c.range;
    }
    EXPECT_EQ(r->get_header_value("Content-Range"), c.contentRange) << c.range;
  }
  // A page's range counts the added line.
  const std::string page = Get("/")->body;
  auto tail = Get("/", "bytes=-14");
  ASSERT_TRUE(tail);
  EXPECT_EQ(tail->status, 206);
  EXPECT_EQ(tail->body, page.substr(page.size() - 14));
  // An answer that is not the file is never cut to the range.
  auto missing = Get("/missing.pan", "bytes=0-1");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 404);
}

TEST_F(ServeHttp, PathsOutOfTheFolderAreRefused) {
  fs::create_directory_symlink(dir_.Path(), Site() / "up");
  fs::create_symlink(dir_.Path() / "secret.txt", Site() / "secret-link.txt");
  fs::create_symlink(Site() / "mars.pan", Site() / "sub" / "inside.pan");
  Start(Web());
  for (const char* path : {"/../secret.txt", "/sub/../../secret.txt", "/%2e%2e/secret.txt",
                           "/sub/%2E%2E%2F%2e%2e%2Fsecret.txt", "/..%5csecret.txt",
                           "/sub\\..\\..\\secret.txt", "/up/secret.txt", "/secret-link.txt",
                           "/.kestrelvue/..%2F..%2Fsecret.txt"}) {
    auto r = Get(path);
    ASSERT_TRUE(r) << path;
    EXPECT_TRUE(r->status == 403 || r->status == 404) << path << " answered " << r->status;
    EXPECT_EQ(r->body.find("the secret"), std::string::npos) << path;
  }
  // A link that stays inside is followed; "." and ".." that stay inside are not climbing,
  // but ".." is refused wherever it stands, as a browser never sends it.
  EXPECT_EQ(Get("/sub/inside.pan")->body, "0123456789");
  EXPECT_EQ(Status("/./mars.pan"), 200);
}

TEST_F(ServeHttp, WithoutTheWebBuildPagesAreStillServed) {
  Start(dir_.Path() / "no-web");
  auto index = Get("/");
  ASSERT_TRUE(index);
  EXPECT_EQ(index->status, 200);
  EXPECT_EQ(Count(index->body, cli::kScriptLine), 1u);
  EXPECT_EQ(Status("/.kestrelvue/kestrelvue.js"), 404);
  EXPECT_EQ(Status("/sub/kestrelvue.js"), 404);
}

TEST_F(ServeHttp, StartRefusesAFileAndABusyPort) {
  Start(Web());
  std::string why;
  cli::LocalServer same(Site().string(), Web().string());
  EXPECT_FALSE(same.Start(server_->Port(), why));
  EXPECT_NE(why.find(std::to_string(server_->Port())), std::string::npos) << why;
  cli::LocalServer file((Site() / "mars.pan").string(), Web().string());
  EXPECT_FALSE(file.Start(0, why));
  EXPECT_NE(why.find("not a folder"), std::string::npos) << why;
  // Stopping twice, and stopping a server that never ran, are harmless.
  server_->Stop();
  server_->Stop();
  file.Stop();
}

}  // namespace
}  // namespace kvp
