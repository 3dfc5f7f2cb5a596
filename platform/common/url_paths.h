// Where a file fetched from a URL is kept: one path per URL under a folder of its own, and back,
// so that a description's relative node names resolve to the URLs beside it.
#pragma once

#include <string>

namespace platform {
namespace common {

// The folder every URL's file lives under.
constexpr const char* kUrlRoot = "/url";

// "scheme://authority/path?query#fragment" -> "/url/scheme/authority/path?query". Escapes in
// the path are decoded, except those that would make a '/', '?', '%' or a control character,
// which stay as written; the fragment is dropped. Empty for anything else: no scheme or
// authority, a control character, a "." or ".." segment (the browser resolves those before a
// URL gets here; one that still has them could reach outside its folder).
std::string PathForUrl(const std::string& url);

// The inverse for a path under kUrlRoot: the URL with spaces, non-ASCII bytes and the
// characters a URL may not hold bare escaped again. Empty for a path outside the root or
// without scheme and authority.
std::string UrlForPath(const std::string& path);

}  // namespace common
}  // namespace platform
