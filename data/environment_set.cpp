// The environment set's loader: nearest nodes, image slots and their loads, background prefetch.
#include "data/environment_set.h"

#include <cmath>
#include <cstring>
#include <new>

#include "data/byte_reader.h"
#include "data/codec_bridge.h"
#include "data/container.h"
#include "data/picture_layout.h"
#include "diag/timed_lock.h"
#include "diag/trace.h"
#include "platform/platform.h"

namespace kvp {

namespace {

// The most a compressed frame may grow when decoded. Real frames (Indeo, Cinepak) stay far
// below 100:1; a 6 KB file must not claim a picture of gigabytes.
constexpr uint64_t kMaxDecodeRatio = 1024;

// The bytes of the packed image `LocateImage` finds that the file really holds from where
// the reader stands: a directory entry or file header may claim anything, and buffers are
// sized and reads made from this length.
uint32_t HeldImageLength(ByteReader& reader) {
  const uint32_t length = LocateImage(reader);
  const uint32_t size = reader.Size(), at = reader.Tell();
  if (length == 0 || size == 0xFFFFFFFFu || at > size) return 0;
  return length < size - at ? length : size - at;
}

// The packed image's length as `LocateImage` finds it when the file holds all of it, else 0
// as for a file without an image: a load never shows a picture the file holds only in part.
uint32_t LocateWholeImage(ByteReader& reader) {
  const uint32_t length = LocateImage(reader);
  const uint32_t size = reader.Size(), at = reader.Tell();
  if (length == 0 || size == 0xFFFFFFFFu || at > size || length > size - at) return 0;
  return length;
}

// Whether a packed image of `length` bytes with this header can hold what its header claims:
// every pixel of an uncompressed image, or a compressed frame no more than kMaxDecodeRatio
// times smaller than its picture at 24 bits. Checked before any buffer is sized from it.
bool ClaimsOnlyWhatItHolds(const BitmapInfoHeader& header, uint32_t length) {
  if (length <= kInfoHeaderSize) return false;
  if (header.compression == 0) {
    const uint64_t pixels = PixelBytes(header.width, header.height, header.bitCount);
    return pixels != 0 && HeaderBytes(header) + pixels <= length;
  }
  const uint64_t decoded = PixelBytes(header.width, header.height, 24);
  return decoded != 0 && decoded <= kMaxDecodeRatio * (length - kInfoHeaderSize);
}

std::string FastImagePath(const std::string& path) {
  if (path.empty()) return path;
  std::string fast = path;
  fast.back() = '_';
  return fast;
}

// The header a decode of `in` at `depth` bits produces, at its largest: the depth it ends at,
// and four times the rows when the image is wide (placement happens on most paths).
BitmapInfoHeader LargestDecoded(BitmapInfoHeader in, uint16_t depth) {
  if (in.compression != 0) {
    in.bitCount = depth;
  } else if (in.bitCount > depth) {
    in.bitCount = (in.bitCount == 24 && depth == 16) ? 16 : depth;
  }
  in.compression = 0;
  if (in.height > 0 && IsWide(in.width, in.height)) {
    in.height = int64_t(4) * in.height > INT32_MAX ? INT32_MAX : 4 * in.height;
  }
  return in;
}

// Moves the rows of an uncompressed packed image from the packed layout (no padding) to the
// warp engine's (WarpPictureStride pixels per row), in place, last row first. The padding
// pixels are zeroed so that what they show does not depend on older contents.
void LayOutAtWarpStride(uint8_t* image) {
  const BitmapInfoHeader h = ReadInfoHeader(image);
  const size_t bytes = size_t(h.bitCount / 8);
  const size_t rowBytes = size_t(h.width) * bytes;
  const size_t strideBytes = size_t(WarpPictureStride(h.width)) * bytes;
  if (rowBytes == strideBytes) return;
  uint8_t* pixels = image + HeaderBytes(h);
  for (int32_t r = h.height - 1; r >= 0; --r) {
    std::memmove(pixels + size_t(r) * strideBytes, pixels + size_t(r) * rowBytes, rowBytes);
    std::memset(pixels + size_t(r) * strideBytes + rowBytes, 0, strideBytes - rowBytes);
  }
}

}  // namespace

// ---- Map -------------------------------------------------------------------------------------

void EnvironmentSet::DrawMapMarker(double x, double y, MarkerColour colour) const {
  if (map_ == nullptr) return;
  const MapRectangle r = MarkerRectangle(x, y, mapGeometry_.originX, mapGeometry_.originY,
                                         platform::MapClientHeight(map_));
  platform::FillMapRectangle(map_, r.left, r.top, r.right, r.bottom, colour.red, colour.green,
                             colour.blue);
}

void EnvironmentSet::MoveMarker(const ViewPose& pose) {
  if (map_ == nullptr) return;
  // Erase the old marker by having the 8 x 8 square around it repainted.
  const double cx = kMapPixelsPerUnit * lastPose_.x + mapGeometry_.originX;
  const double cy = platform::MapClientHeight(map_) -
                    (kMapPixelsPerUnit * lastPose_.y + mapGeometry_.originY);
  platform::RepaintMap(map_, false, int32_t(cx - 4), int32_t(cy - 4), int32_t(cx + 4),
                       int32_t(cy + 4));
  DrawMapMarker(pose.x, pose.y, kMarkerPosition);
}

// ---- The set ------------------------------------------------------------------------------------

EnvironmentSet::EnvironmentSet() { UpdateDisplayDepth(); }

EnvironmentSet::~EnvironmentSet() {
  {
    std::lock_guard<std::mutex> hold(slotLock_);
    for (ImageSlot& slot : slots_) AbortTransfer(slot.transfer);
  }
  // Each worker's completion clears its slot and frees its record (a record cut loose by a
  // cancel-all is freed by its own worker), so once all have ended no record is left.
  for (ImageSlot& slot : slots_) {
    if (slot.worker != nullptr) {
      platform::WaitThread(slot.worker, platform::kInfinite);
      platform::CloseThread(slot.worker);
      slot.worker = nullptr;
    }
  }
  for (ImageSlot& slot : slots_) {
    DestroyTransfer(slot.transfer);
    slot.transfer = nullptr;
  }
  platform::DestroyMapWindow(map_);
}

int32_t EnvironmentSet::SlotIndex(int slotIndex) const {
  std::lock_guard<std::mutex> hold(slotLock_);
  return slots_[slotIndex].index;
}

uint8_t EnvironmentSet::SlotVariant(int slotIndex) const {
  std::lock_guard<std::mutex> hold(slotLock_);
  return slots_[slotIndex].variant;
}

bool EnvironmentSet::SlotFilling(int slotIndex) const {
  std::lock_guard<std::mutex> hold(slotLock_);
  return slots_[slotIndex].transfer != nullptr;
}

int32_t EnvironmentSet::FindNearest(double x, double y, double z, double* distance) const {
  int32_t best = -1;
  double bestSquare = 0;
  for (size_t i = 0; i < nodes_.size(); ++i) {
    const double dx = nodes_[i].x - x, dy = nodes_[i].y - y, dz = nodes_[i].z - z;
    const double square = dx * dx + dy * dy + dz * dz;
    if (best < 0 || square < bestSquare) {
      best = int32_t(i);
      bestSquare = square;
    }
  }
  if (distance != nullptr) *distance = best < 0 ? 0 : std::sqrt(bestSquare);
  return best;
}

int32_t EnvironmentSet::PredictNext(int32_t current, const ViewPose& pose) const {
  const int32_t m = FindNearest(pose.x, pose.y, pose.z);
  const double a = 0.5 * nodes_[size_t(current)].nearestDistance;
  const double dx = pose.x - lastPose_.x, dy = pose.y - lastPose_.y, dz = pose.z - lastPose_.z;
  const double d = std::sqrt(dx * dx + dy * dy + dz * dz);
  if (d == 0 || a == 0 || m != current) return m;
  double s = a / d;
  if (s < 1) s = 1;
  double x = lastPose_.x, y = lastPose_.y, z = lastPose_.z;
  for (int step = 0; step < 4; ++step) {
    x += s * dx;
    y += s * dy;
    z += s * dz;
    const int32_t q = FindNearest(x, y, z);
    if (q != current) return q;
  }
  return current;
}

void EnvironmentSet::ReapWorkers() {
  for (ImageSlot& slot : slots_) {
    if (slot.worker == nullptr) continue;
    {
      std::lock_guard<std::mutex> hold(slotLock_);
      if (slot.transfer != nullptr) continue;
    }
    platform::WaitThread(slot.worker, platform::kInfinite);
    platform::CloseThread(slot.worker);
    slot.worker = nullptr;
  }
}

bool EnvironmentSet::FitsSlot(int slotIndex, const BitmapInfoHeader& header) const {
  const ImageSlot& slot = slots_[slotIndex];
  if (slot.buffer == nullptr) return false;
  if (header.bitCount != 8 && header.bitCount != 16 && header.bitCount != 24) return false;
  if (header.width <= 0 || header.height <= 0 || header.width > kMaxWarpPictureWidth) return false;
  const uint64_t bytes = header.bitCount / 8;
  const uint64_t rows = uint64_t(WarpPictureStride(header.width)) * bytes * uint64_t(header.height);
  const PictureMargin margin = WarpPictureMargin(header.width, header.bitCount);
  const uint64_t pixelsAt = uint64_t(slot.image - slot.buffer.get()) + HeaderBytes(header);
  return pixelsAt >= margin.before && pixelsAt + rows + margin.after <= slot.bufferSize;
}

bool EnvironmentSet::DecodeIntoSlot(int slotIndex, uint8_t* source, size_t length, size_t capacity,
                                    bool reduceOnly) {
  ImageSlot& slot = slots_[slotIndex];
  const size_t slotCapacity = slot.bufferSize - size_t(slot.image - slot.buffer.get());
  if (reduceOnly) {
    // The synchronous uncompressed image already lies in the slot; its reduction's result is
    // not examined, what the header says afterwards is checked below.
    ReduceDepth(ImageBuffer{slot.image, length, slotCapacity}, DisplayDepth());
  } else if (!DecodeImage(ImageBuffer{source, length, capacity},
                          ImageBuffer{slot.image, 0, slotCapacity}, DisplayDepth())) {
    return false;
  }
  return true;
}

int EnvironmentSet::RequestImage(ViewPose& pose, ViewPose& centre, const uint8_t*& image,
                                 int32_t& environment, int movement) {
  image = nullptr;
  environment = -1;
  if (requesting_.exchange(true, std::memory_order_acquire)) return kAskAgain;
  struct Leave {
    std::atomic<bool>& flag;
    ~Leave() { flag.store(false, std::memory_order_release); }
  } leave{requesting_};
  if (nodes_.empty()) return kAskAgain;

  const int32_t n = FindNearest(pose.x, pose.y, pose.z);
  if (fastImagesEnabled_ == 0) movement = kMovementNormal;

  int k = -1;
  bool kFilling = false, oFilling = false;
  int32_t oIndex = -1;
  {
    std::lock_guard<std::mutex> hold(slotLock_);
    for (int s = 0; s < 2 && k < 0; ++s) {
      const ImageSlot& slot = slots_[s];
      if (slot.index == n && ((slot.variant == 1 && movement == kMovementNormal) ||
                              (slot.variant == 0 && movement != kMovementNormal) ||
                              movement == kMovementEither)) {
        k = s;
      }
    }
    if (k >= 0) {
      movement = slots_[k].variant == 1 ? kMovementNormal : kMovementFast;
      kFilling = slots_[k].transfer != nullptr;
      oFilling = slots_[1 - k].transfer != nullptr;
      oIndex = slots_[1 - k].index;
    }
  }

  const PanoramaNode& node = nodes_[size_t(n)];
  centre.x = node.x;
  centre.y = node.y;
  centre.z = node.z;
  centre.heading = pose.heading;
  centre.pitch = pose.pitch;
  centre.roll = pose.roll;
  centre.fieldOfView = pose.fieldOfView;

  if (node.status == kNodeBlocked) {
    TraceLine("BLOCKED");
    return kNodeIsBlocked;
  }

  int result = kImageDelivered;
  const double r = node.roamingRadius;
  if (r > 0) {
    double* values[3] = {&pose.x, &pose.y, &pose.z};
    const double capture[3] = {node.x, node.y, node.z};
    for (int i = 0; i < 3; ++i) {
      const double d = capture[i] - *values[i];
      if (d > r) {
        *values[i] = capture[i] - r;
        result = kPoseClamped;
      } else if (d < -r) {
        *values[i] = capture[i] + r;
        result = kPoseClamped;
      }
    }
  }

  if (k >= 0) {
    if (kFilling) return result == kPoseClamped ? kPoseClamped : kStillLoading;
    if (!oFilling) {
      const int32_t p = PredictNext(n, pose);
      if (p != n && p != oIndex && nodes_[size_t(p)].status != kNodeBlocked) {
        StartBackgroundLoad(p, 1 - k, movement);
      }
    }
    image = slots_[k].image;
    environment = node.environment;
    MoveMarker(pose);
    lastPose_ = pose;
    return result;
  }

  {
    std::lock_guard<std::mutex> hold(slotLock_);
    for (ImageSlot& slot : slots_) {
      if (slot.transfer != nullptr) {
        AbortTransfer(slot.transfer);
        return result == kPoseClamped ? kPoseClamped : kAskAgain;
      }
    }
  }
  const int t = SlotIndex(0) == -1 ? 0 : 1;
  return LoadNow(n, t, movement, result, pose, image, environment);
}

int EnvironmentSet::LoadNow(int32_t nodeIndex, int slotIndex, int movement, int result,
                            ViewPose& pose,
                            const uint8_t*& image, int32_t& environment) {
  // A worker cut loose by a cancel-all may still be writing into the staging buffer.
  ReapWorkers();
  ImageSlot& slot = slots_[slotIndex];
  const PanoramaNode& node = nodes_[size_t(nodeIndex)];
  const std::string file = movement == kMovementNormal ? node.path : FastImagePath(node.path);
  const uint8_t variant = movement == kMovementNormal ? 1 : 0;
  TransferRecord* record = OpenTransfer(file.c_str(), hooks_);
  {
    std::lock_guard<std::mutex> hold(slotLock_);
    slot.index = nodeIndex;
    slot.variant = variant;
    slot.transfer = record;
  }
  auto fail = [&](bool traced) {
    if (!traced) TraceLine("Cannot Read File");
    DestroyTransfer(record);
    std::lock_guard<std::mutex> hold(slotLock_);
    slot.transfer = nullptr;
    slot.index = -1;
    return kAskAgain;
  };

  FileReader reader(record->file);
  const uint32_t length = record->file != nullptr ? LocateWholeImage(reader) : 0;

  uint8_t headerBytes[kInfoHeaderSize] = {};
  record->cursor = headerBytes;
  record->remaining = kInfoHeaderSize;
  record->chunk = kTransferChunk;
  RunTransfer(record);
  const BitmapInfoHeader header = ReadInfoHeader(headerBytes);

  const bool compressed = header.compression != 0;
  uint8_t* destination = compressed ? staging_.get() : slot.image;
  const size_t room = compressed
                          ? stagingSize_
                          : slot.bufferSize - size_t(slot.image - slot.buffer.get());
  // What the file says must fit where it goes, and what the decode makes must fit the slot
  // with the warp engine's margin: otherwise the load fails, before anything is written.
  if (record->file == nullptr || length <= kInfoHeaderSize || destination == nullptr ||
      length > room || !ClaimsOnlyWhatItHolds(header, length) ||
      !FitsSlot(slotIndex, LargestDecoded(header, DisplayDepth()))) {
    return fail(false);
  }
  std::memcpy(destination, headerBytes, kInfoHeaderSize);
  record->cursor = destination + kInfoHeaderSize;
  record->remaining = length - kInfoHeaderSize;
  record->chunk = length - kInfoHeaderSize;
  // All of it, or nothing: a file that ends inside its image would show whatever the slot
  // held before (the background load refuses it the same way).
  const uint32_t got = RunTransfer(record);
  if (got != length - kInfoHeaderSize) return fail(false);

  if (!DecodeIntoSlot(slotIndex, staging_.get(), kInfoHeaderSize + size_t(got), stagingSize_,
                      !compressed)) {
    return fail(true);
  }
  // The reduction's result is not examined, but what the slot now holds must still be an
  // image the warp engine can read inside the buffer.
  if (!FitsSlot(slotIndex, ReadInfoHeader(slot.image))) return fail(false);
  LayOutAtWarpStride(slot.image);

  image = slot.image;
  environment = node.environment;
  lastPose_ = pose;
  DestroyTransfer(record);
  {
    std::lock_guard<std::mutex> hold(slotLock_);
    slot.index = nodeIndex;
    slot.variant = variant;
    slot.transfer = nullptr;
  }
  platform::RepaintMap(map_, true, 0, 0, 0, 0);
  return result;
}

void EnvironmentSet::StartBackgroundLoad(int32_t nodeIndex, int slotIndex, int movement) {
  ReapWorkers();
  ImageSlot& slot = slots_[slotIndex];
  const PanoramaNode& node = nodes_[size_t(nodeIndex)];
  const std::string file = movement == kMovementNormal ? node.path : FastImagePath(node.path);
  TransferRecord* record = OpenTransfer(file.c_str(), hooks_);
  {
    std::lock_guard<std::mutex> hold(slotLock_);
    slot.index = nodeIndex;
    slot.variant = movement == kMovementNormal ? 1 : 0;
    slot.transfer = record;
  }

  int code = 0;
  uint32_t length = 0;
  if (record->file == nullptr) {
    code = 2;
  } else {
    FileReader reader(record->file);
    length = LocateWholeImage(reader);
    // A length beyond the staging buffer is refused like a missing image: never read past.
    if (staging_ == nullptr || length == 0 || length > stagingSize_) code = 3;
  }
  if (code == 0) {
    record->cursor = staging_.get();
    record->remaining = length;
    record->chunk = kTransferChunk;
    record->completion = &EnvironmentSet::OnTransferDone;
    record->context = this;
    // The worker finishes under the state guard; holding it here makes it wait until its
    // handle is recorded.
    TimedLock state(record->stateGuard);
    platform::Thread* worker = platform::StartStepThread(&TransferStep, record, nullptr);
    if (worker == nullptr) {
      record->completion = nullptr;
      code = 3;
    } else {
      record->worker = worker;
      slot.worker = worker;
      platform::SetThreadPriority(worker, platform::CurrentThreadPriority());
    }
  }
  if (code != 0) {
    TraceValueLine("%d Error", nodeIndex);
    nodes_[size_t(nodeIndex)].status = kNodeBlocked;
    DestroyTransfer(record);
    std::lock_guard<std::mutex> hold(slotLock_);
    slot.transfer = nullptr;
    slot.index = -1;
  }
}

void EnvironmentSet::OnTransferDone(void* set, TransferRecord* record, uint8_t*,
                                    uint32_t bytes) {
  static_cast<EnvironmentSet*>(set)->TransferDone(record, bytes);
}

void EnvironmentSet::TransferDone(TransferRecord* record, uint32_t bytes) {
  int k = -1;
  int32_t node = -1;
  {
    std::unique_lock<std::mutex> hold(slotLock_);
    if (slots_[0].transfer == record) k = 0;
    else if (slots_[1].transfer == record) k = 1;
    if (k < 0) {
      // Cut loose by a cancel-all: nobody else knows this record any more.
      hold.unlock();
      DestroyTransfer(record);
      return;
    }
    if (slots_[1 - k].transfer != nullptr) {
      // The other transfer is aborted while the lock keeps its record alive; its own worker
      // frees it when it ends, finding it in no slot.
      AbortTransfer(slots_[1 - k].transfer);
      for (ImageSlot& slot : slots_) {
        slot.transfer = nullptr;
        slot.index = -1;
      }
      hold.unlock();
      TraceLine("Simultatious Transfer Completed -- Canceling all");
      DestroyTransfer(record);
      return;
    }
    node = slots_[k].index;
  }

  ImageSlot& slot = slots_[k];
  bool loaded = false;
  if (bytes >= kInfoHeaderSize) {
    const BitmapInfoHeader header = ReadInfoHeader(staging_.get());
    if (ClaimsOnlyWhatItHolds(header, bytes) && FitsSlot(k, LargestDecoded(header, DisplayDepth())) &&
        DecodeIntoSlot(k, staging_.get(), bytes, stagingSize_, false) &&
        FitsSlot(k, ReadInfoHeader(slot.image))) {
      LayOutAtWarpStride(slot.image);
      loaded = true;
    }
  }
  {
    std::lock_guard<std::mutex> hold(slotLock_);
    if (!loaded) slot.index = -1;
    slot.transfer = nullptr;
  }
  DestroyTransfer(record);
  const PanoramaNode& n = nodes_[size_t(node)];
  DrawMapMarker(n.x, n.y, loaded ? kMarkerLoaded : kMarkerFailed);
}

bool EnvironmentSet::PrepareBuffers(char* errorText, uint16_t depth) {
  uint32_t largest = 0;
  int32_t which = -1;
  for (size_t i = 0; i < nodes_.size(); ++i) {
    if (nodes_[i].status == kNodeBlocked) continue;
    TransferRecord* record = OpenTransfer(nodes_[i].path.c_str(), hooks_);
    uint32_t size = record->file != nullptr ? platform::FileSize(record->file) : 0;
    if (size == 0xFFFFFFFFu) size = 0;
    DestroyTransfer(record);
    if (size > largest) {
      largest = size;
      which = int32_t(i);
    }
  }
  auto invalid = [errorText](TransferRecord* record) {
    std::strcpy(errorText, "Invalid File");
    DestroyTransfer(record);
    return false;
  };
  if (which < 0) {
    std::strcpy(errorText, "Invalid File");
    return false;
  }
  TransferRecord* record = OpenTransfer(nodes_[size_t(which)].path.c_str(), hooks_);
  FileReader reader(record->file);
  const uint32_t length = record->file != nullptr ? HeldImageLength(reader) : 0;
  if (length == 0) return invalid(record);
  uint8_t headerBytes[kInfoHeaderSize] = {};
  record->cursor = headerBytes;
  record->remaining = kInfoHeaderSize;
  record->chunk = kTransferChunk;
  if (record->file == nullptr || RunTransfer(record) == 0) return invalid(record);
  const BitmapInfoHeader header = ReadInfoHeader(headerBytes);
  // The buffers are sized from this header only as far as the file backs it: an image that
  // claims more than it holds gets buffers for its bytes, and fails when it loads.
  const bool backed = ClaimsOnlyWhatItHolds(header, length);

  uint64_t b = length;
  if (header.compression != 0 && backed) {
    b = (header.width > 0 && header.height > 0)
            ? uint64_t(depth / 8) * uint64_t(header.width) * uint64_t(header.height) + 1064
            : 0;
  }
  if (int64_t(header.width) >= 6 * int64_t(header.height)) b *= 4;
  if (largest == 0 || b == 0) return invalid(record);

  // Beyond a tenth of b before the image and a fifth of b in all, the slot keeps the warp
  // engine's margin around the largest image as decoded, its rows at the warp stride. Other
  // nodes' images are checked against the slot when they load.
  const BitmapInfoHeader decoded = LargestDecoded(header, depth);
  uint64_t before = b / 10;
  uint64_t size = b * 12 / 10;
  const uint16_t bits = decoded.bitCount;
  if (backed && decoded.width > 0 && decoded.height > 0 &&
      (bits == 8 || bits == 16 || bits == 24)) {
    const PictureMargin margin = WarpPictureMargin(decoded.width, bits);
    if (before < margin.before) before = margin.before;
    const uint64_t pixels =
        uint64_t(WarpPictureStride(decoded.width)) * (bits / 8) * uint64_t(decoded.height);
    const uint64_t needed = before + kInfoHeaderSize + kColourTableSize + pixels + margin.after;
    if (size < needed) size = needed;
  }
  // The staging buffer holds the largest file, and the result of reducing a wide image in
  // place when it is decoded in the background (4 x its rows at 8 bits).
  const uint64_t staging = b > largest ? b : largest;
  if (size > (uint64_t(1) << 31) || staging > (uint64_t(1) << 31)) {
    std::strcpy(errorText, "Memory Fault");
    DestroyTransfer(record);
    return false;
  }
  staging_.reset(new (std::nothrow) uint8_t[size_t(staging)]);
  for (ImageSlot& slot : slots_) slot.buffer.reset(new (std::nothrow) uint8_t[size_t(size)]);
  if (staging_ == nullptr || slots_[0].buffer == nullptr || slots_[1].buffer == nullptr) {
    staging_.reset();
    for (ImageSlot& slot : slots_) slot.buffer.reset();
    std::strcpy(errorText, "Memory Fault");
    DestroyTransfer(record);
    return false;
  }
  stagingSize_ = size_t(staging);
  for (ImageSlot& slot : slots_) {
    slot.bufferSize = size_t(size);
    slot.image = slot.buffer.get() + before;
  }
  DestroyTransfer(record);
  return true;
}

void EnvironmentSet::Clear() {
  nodes_.clear();
  nodeCapacity_ = 0;
  fastImagesEnabled_ = 0;
}

}  // namespace kvp
