// kvpview's page reading, URL resolution, site mapping, layout and command line.
#include <gtest/gtest.h>

#include "host/browser.h"
#include "host/page.h"
#include "host/plugin_library.h"
#include "host/site.h"

namespace kvp::host {
namespace {

TEST(HostPage, FindsPanoramaObjectsInOddHtml) {
  const Page page = ReadPage(
      "<HTML><Head><TITLE>\n  Hall &amp; tower &#65;  </TITLE>"
      "<!-- <embed src=\"commented.pan\"> -->"
      "<script>document.write('<embed src=\"scripted.pan\">')</script></head><body>"
      "<EMBED SRC=_hall.pan WIDTH=400 Height='300' name=one>"
      "<embed src=\"movie.avi\" width=10 height=10>"
      "<embed type=\"Application/X-PAN\" src=\"tour/tour.ini\">"
      "<embed src='b.PAN?x=1' width=50% height=abc>"
      "<object data=\"c.pan\" width=\"120\" height=\"90\"><embed src=\"c.pan\"></object>"
      "<object data=\"d.swf\"><embed src=\"e.pan\" width=10 height=20></object>"
      "<embed src=\"\" type=application/x-pan>"
      "<embed src=\"unterminated.pan");
  EXPECT_EQ(page.title, "Hall & tower A");
  ASSERT_EQ(page.objects.size(), 5u);
  EXPECT_EQ(page.objects[0].source, "_hall.pan");
  EXPECT_EQ(page.objects[0].width, 400);
  EXPECT_EQ(page.objects[0].height, 300);
  EXPECT_EQ(page.objects[0].attributes.back().first, "name");
  EXPECT_EQ(page.objects[1].source, "tour/tour.ini");
  EXPECT_EQ(page.objects[1].width, kDefaultObjectWidth);
  EXPECT_EQ(page.objects[2].source, "b.PAN?x=1");  // percentages and junk give the default size
  EXPECT_EQ(page.objects[2].width, kDefaultObjectWidth);
  EXPECT_EQ(page.objects[2].height, kDefaultObjectHeight);
  EXPECT_EQ(page.objects[3].source, "c.pan");  // its inner <embed> is the fallback
  EXPECT_EQ(page.objects[3].height, 90);
  EXPECT_EQ(page.objects[4].source, "e.pan");  // the object is not ours, its fallback is
}

TEST(HostPage, EmptyAndHostilePagesGiveNoObjects) {
  EXPECT_TRUE(ReadPage("").objects.empty());
  EXPECT_TRUE(ReadPage("<<<>>><embed").objects.empty());
  EXPECT_TRUE(ReadPage("<title>no end").title.empty() == false);
  const Page huge = ReadPage("<embed src=a.pan width=99999999999 height=-5>");
  ASSERT_EQ(huge.objects.size(), 1u);
  EXPECT_EQ(huge.objects[0].width, 999999);  // at most six digits are read
  EXPECT_EQ(huge.objects[0].height, kDefaultObjectHeight);
}

TEST(HostPage, LaysObjectsOutTopToBottom) {
  std::vector<PageObject> objects(3);
  objects[0].width = 400, objects[0].height = 300;
  objects[1].width = 100, objects[1].height = 50;
  objects[2].width = 640, objects[2].height = 480;
  const std::vector<Placement> p = LayOut(objects);
  ASSERT_EQ(p.size(), 3u);
  EXPECT_EQ(p[0].x, kPageMargin);
  EXPECT_EQ(p[0].y, kPageMargin);
  EXPECT_EQ(p[1].y, kPageMargin + 300 + kPageMargin);
  EXPECT_EQ(p[2].y, kPageMargin + 300 + kPageMargin + 50 + kPageMargin);
  EXPECT_EQ(p[2].width, 640);
  EXPECT_EQ(p[2].height, 480);
}

TEST(HostUrl, ResolvesLikeABrowser) {
  const std::string base = "http://localhost/tour/index.html?q=1#top";
  const struct {
    const char* reference;
    const char* expected;
  } cases[] = {
      {"hall.pan", "http://localhost/tour/hall.pan"},
      {"_hall.pan", "http://localhost/tour/_hall.pan"},
      {"./a/../b.pan", "http://localhost/tour/b.pan"},
      {"../../../../x.html", "http://localhost/x.html"},
      {"/root.pan", "http://localhost/root.pan"},
      {"sub\\clip.avi", "http://localhost/tour/sub/clip.avi"},
      {"  page2.html#part ", "http://localhost/tour/page2.html"},
      {"?other", "http://localhost/tour/index.html?other"},
      {"", "http://localhost/tour/index.html?q=1"},
      {"HTTP://LocalHost/A/./b/../c.pan", "http://localhost/A/c.pan"},
      {"//localhost/z.pan", "http://localhost/z.pan"},
      {"a/", "http://localhost/tour/a/"},
      {"javascript:alert(1)", ""},
      {"mailto:someone@example.com", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ResolveUrl(base, c.reference), c.expected) << c.reference;
}

TEST(HostUrl, SiteMapsUrlsToItsFolderOnly) {
  const Site site("C:\\pages");
  EXPECT_EQ(site.UrlOf("tour\\a b.pan"), "http://localhost/tour/a%20b.pan");
  EXPECT_EQ(site.LocalPath("http://localhost/tour/a%20b.pan?x#y"), "C:\\pages\\tour\\a b.pan");
  EXPECT_EQ(site.LocalPath("HTTP://LOCALHOST/x.pan"), "C:\\pages\\x.pan");
  EXPECT_EQ(site.LocalPath("http://example.com/x.pan"), "");
  EXPECT_EQ(site.LocalPath("http://localhost/"), "");
  EXPECT_EQ(site.LocalPath("http://localhost/%2e%2e/secret.txt"), "");
  EXPECT_EQ(site.LocalPath("http://localhost/a/..%5c..%5csecret.txt"), "");
  EXPECT_EQ(site.LocalPath("http://localhost/c%3a/windows/win.ini"), "");
  EXPECT_EQ(site.LocalPath("http://localhost/a%00.pan"), "");
  EXPECT_EQ(MimeTypeOf("http://localhost/t/_hall.PAN?x"), "application/x-pan");
  EXPECT_EQ(MimeTypeOf("http://localhost/clip.avi"), "video/x-msvideo");
  EXPECT_EQ(MimeTypeOf("http://localhost/v.1/noext"), "application/octet-stream");
}

TEST(HostOptions, ReadsTheCommandLineAndTheMimeList) {
  Options o;
  std::string error;
  const char* good[] = {"page.html", "--full", "--size", "640x480", "--plugin", "p.dll",
                        "--log", "l.txt", "--npapi-minor", "8"};
  ASSERT_TRUE(ParseOptions(10, good, o, error)) << error;
  EXPECT_EQ(o.target, "page.html");
  EXPECT_TRUE(o.full);
  EXPECT_EQ(o.width, 640);
  EXPECT_EQ(o.height, 480);
  EXPECT_EQ(o.pluginPath, "p.dll");
  EXPECT_EQ(o.npapiMinor, 8);
  const std::vector<std::vector<const char*>> bad = {
      {}, {"a.html", "b.html"}, {"a.html", "--size", "10x10"}, {"a.html", "--size", "640"},
      {"a.html", "--npapi-minor", "7"}, {"a.html", "--log"}, {"a.html", "--bogus"}};
  for (const auto& args : bad) {
    Options ignored;
    EXPECT_FALSE(ParseOptions(int(args.size()), args.data(), ignored, error));
    EXPECT_FALSE(error.empty());
  }
  EXPECT_TRUE(ListsMimeType("image/x-a| Application/X-Pan |b", "application/x-pan"));
  EXPECT_FALSE(ListsMimeType("application/x-panorama", "application/x-pan"));
  EXPECT_FALSE(ListsMimeType("", "application/x-pan"));
}

}  // namespace
}  // namespace kvp::host
