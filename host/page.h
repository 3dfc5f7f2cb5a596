// Reading a page as the stand-in browser does: its title and the panorama objects it embeds,
// and where those objects go on the page.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kvp::host {

// One <embed> or <object> of the panorama type, with its attributes in page order (the names
// in lower case), as the browser hands them to NPP_New.
struct PageObject {
  std::string source;  // the src (embed) or data (object) attribute, as written
  int width = 0;
  int height = 0;
  std::vector<std::pair<std::string, std::string>> attributes;
};

struct Page {
  std::string title;  // entities decoded, runs of blanks folded to one
  std::vector<PageObject> objects;
};

// Size of an object whose page gives no (or no usable) width or height, as browsers gave
// plug-ins without one.
inline constexpr int kDefaultObjectWidth = 320;
inline constexpr int kDefaultObjectHeight = 240;

// Reads the page's HTML. Forgiving like a browser: tag and attribute names in any case,
// quoted or bare values, comments and scripts skipped, unclosed tags at the end ignored. An
// <embed> is taken when its type is "application/x-pan" or its src ends in ".pan" (before any
// query); an <object> when its type is that or its data ends in ".pan"; an <embed> inside a
// taken <object> is that object's fallback and is not taken again.
Page ReadPage(const std::string& html);

struct Placement {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// Space around and between objects on a page.
inline constexpr int kPageMargin = 8;

// Lays the objects out top to bottom at their own sizes, each at the left margin with the
// margin between them. Returns one placement per object.
std::vector<Placement> LayOut(const std::vector<PageObject>& objects);

}  // namespace kvp::host
