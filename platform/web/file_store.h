// Files the page fetches, handed to the core in chunks: each lands under its URL's path
// (platform/common/url_paths.h) and is seen by the loader only once it is whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>

namespace platform {
namespace web {

// The arrivals under way. One thread at a time.
class FileArrivals {
 public:
  // Files go under `folder` + their URL's path (the web build: "", the root of its memory file
  // system; tests: a folder of their own).
  explicit FileArrivals(std::string folder = "") : folder_(std::move(folder)) {}
  ~FileArrivals();
  FileArrivals(const FileArrivals&) = delete;
  FileArrivals& operator=(const FileArrivals&) = delete;

  // Starts the file for `url`: a handle > 0, or 0 when the URL has no path or the file cannot
  // be made. The bytes go to a hidden file beside the final one, so a reader never sees part
  // of a file, and a file that already exists stays as it is until the new one is whole.
  int32_t Begin(const std::string& url);

  // Appends `length` bytes. False (and the arrival is dropped) when the write fails or the
  // handle is unknown.
  bool Write(int32_t handle, const uint8_t* bytes, size_t length);

  // Ends the arrival: with `ok` the file takes its place and End returns 0; without (the fetch
  // failed) the bytes are thrown away and End returns 1; 2 for an unknown handle or a failed
  // write. `path` gets the file's path either way (empty for an unknown handle).
  int32_t End(int32_t handle, bool ok, std::string* path = nullptr);

  size_t Pending() const { return arrivals_.size(); }

 private:
  struct Arrival {
    std::string path;
    std::string partPath;
    void* file;  // the stdio stream of partPath
  };
  const std::string folder_;
  std::map<int32_t, Arrival> arrivals_;
  int32_t lastHandle_ = 0;
};

// Makes the folders above `path` (each level as mkdir -p would). False on failure.
bool MakeParentFolders(const std::string& path);

// Whether a file exists at `path`.
bool FileExists(const std::string& path);

}  // namespace web
}  // namespace platform
