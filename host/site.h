// URLs as the stand-in browser sees them: resolving links against a page, and the local folder
// served as the virtual site http://localhost/.
#pragma once

#include <string>

namespace kvp::host {

// The site's address; every page and file the host serves lives under it.
inline constexpr const char* kSiteRoot = "http://localhost/";

// Resolves `reference` (as written in a page or passed to NPN_GetURL) against the absolute
// URL `base`, the way browsers of the time did: an absolute reference stands alone, "/x" is
// rooted at the base's host, anything else replaces the base's last path segment; "." and
// ".." segments are removed ("..": never above the root); backslashes count as slashes; a
// fragment is dropped. Returns "" for a reference with a scheme other than http or file.
std::string ResolveUrl(const std::string& base, const std::string& reference);

// The local folder behind http://localhost/ (a Windows path, with or without a trailing
// separator).
class Site {
 public:
  explicit Site(std::string folder);

  const std::string& Folder() const { return folder_; }

  // The URL of a file given by its path relative to the folder ("tour\\a b.pan" ->
  // "http://localhost/tour/a%20b.pan").
  std::string UrlOf(const std::string& relativePath) const;

  // The local file behind `url`, or "" when the URL is not on this site (another host or
  // scheme) or names a folder. Query and fragment are ignored; %XX escapes are decoded; a
  // decoded path that would climb out of the folder (an escaped "..", a drive, a NUL) is "".
  std::string LocalPath(const std::string& url) const;

 private:
  std::string folder_;  // ends with a backslash
};

// The MIME type a browser's file-extension table gives the URL's file.
std::string MimeTypeOf(const std::string& url);

}  // namespace kvp::host
