// Fetched files handed over in chunks, each made visible whole under its URL's path.
#include "platform/web/file_store.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "platform/common/url_paths.h"

namespace platform {
namespace web {

bool MakeParentFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

FileArrivals::~FileArrivals() {
  for (auto& entry : arrivals_) {
    std::fclose(static_cast<FILE*>(entry.second.file));
    std::remove(entry.second.partPath.c_str());
  }
}

int32_t FileArrivals::Begin(const std::string& url) {
  const std::string urlPath = common::PathForUrl(url);
  if (urlPath.empty()) return 0;
  const std::string path = folder_ + urlPath;
  if (!MakeParentFolders(path)) return 0;
  if (lastHandle_ == INT32_MAX) lastHandle_ = 0;
  const int32_t handle = ++lastHandle_;
  // Named per handle: two fetches of one URL never write into one hidden file.
  const size_t slash = path.rfind('/');
  const std::string part =
      path.substr(0, slash + 1) + ".part" + std::to_string(handle) + "-" + path.substr(slash + 1);
  FILE* file = std::fopen(part.c_str(), "wb");
  if (file == nullptr) return 0;
  arrivals_[handle] = Arrival{path, part, file};
  return handle;
}

bool FileArrivals::Write(int32_t handle, const uint8_t* bytes, size_t length) {
  auto it = arrivals_.find(handle);
  if (it == arrivals_.end()) return false;
  if (length == 0) return true;
  if (bytes != nullptr &&
      std::fwrite(bytes, 1, length, static_cast<FILE*>(it->second.file)) == length) {
    return true;
  }
  std::fclose(static_cast<FILE*>(it->second.file));
  std::remove(it->second.partPath.c_str());
  arrivals_.erase(it);
  return false;
}

int32_t FileArrivals::End(int32_t handle, bool ok, std::string* path) {
  if (path != nullptr) path->clear();
  auto it = arrivals_.find(handle);
  if (it == arrivals_.end()) return 2;
  const Arrival arrival = it->second;
  arrivals_.erase(it);
  if (path != nullptr) *path = arrival.path;
  const bool closed = std::fclose(static_cast<FILE*>(arrival.file)) == 0;
  if (ok && closed && std::rename(arrival.partPath.c_str(), arrival.path.c_str()) == 0) return 0;
  std::remove(arrival.partPath.c_str());
  return ok ? 2 : 1;
}

}  // namespace web
}  // namespace platform
