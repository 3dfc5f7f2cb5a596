// The environment set: the nodes of a panorama (one for an image file, many for a tour), the
// two decoded-image slots, the chunked transfers that fill them, and background prefetch of
// the node that comes next.
//
// Threads and ownership:
//  - The set belongs to a panorama controller. It is opened (OpenEnvironments) and destroyed
//    on the window thread; RequestImage runs on the render thread and, during opening, hot
//    spot picking and sprite loading, on the window thread. Those callers must take turns
//    (the controller lock): RequestImage refuses a concurrent entry with result 1 and touches
//    nothing, so a mistake shows up as "ask again", never as two loads into one slot.
//  - A background transfer runs on its own worker thread, reading into the staging buffer
//    and decoding into its slot; its completion (TransferDone) runs on that worker. The set's
//    slot lock orders the hand-off (see ImageSlot). Every worker is waited for before its
//    record, the staging buffer or the slot buffers are freed: by the next load (which needs
//    the staging buffer), and by the destruction of the set.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "data/file_transfer.h"
#include "data/packed_image.h"
#include "data/tour_map.h"
#include "data/types.h"
#include "platform/platform.h"

namespace platform {
struct Thread;
struct MapWindow;
}  // namespace platform

namespace kvp {

// ---- Nodes ------------------------------------------------------------------------------------

constexpr uint8_t kNodeUsable = 0;
constexpr uint8_t kNodeBlocked = 66;  // the letter B

// A capture point in the world with its panorama file.
struct PanoramaNode {
  std::string path;          // full path of the image file; empty when it had none
  double x = 0, y = 0, z = 0;
  double roamingRadius = 0;  // half-size of the box the viewpoint may roam in; <= 0: no limit
  uint8_t status = kNodeUsable;
  int32_t environment = -1;  // d of "Directory %d", 0 for "Directory"
  int32_t nearest = -1;      // nearest other node, -1 when there is none
  double nearestDistance = 0;
};

// ---- The set -------------------------------------------------------------------------------------

// Results of RequestImage.
constexpr int kImageDelivered = 0;
constexpr int kAskAgain = 1;       // a running transfer was asked to stop, or a load failed
constexpr int kStillLoading = 2;   // the node's slot is being filled in the background
constexpr int kNodeIsBlocked = 3;  // the nearest node is blocked
constexpr int kPoseClamped = 4;    // the pose was clamped to the node's roaming box

// Movement flags of RequestImage.
constexpr int kMovementNormal = 0;  // the node's normal image
constexpr int kMovementFast = 1;    // its fast image
constexpr int kMovementEither = -1;

// One decoded-image slot.
struct ImageSlot {
  std::unique_ptr<uint8_t[]> buffer;  // allocated once by PrepareBuffers
  size_t bufferSize = 0;
  uint8_t* image = nullptr;  // the decoded packed image inside the buffer
  // --- protected by the set's slotLock_ (written by the requesting thread and by a worker's
  // completion; while `transfer` is set the requesting thread neither reads `image` nor loads
  // into the slot, and the worker clears `transfer` only after its decode is finished)
  int32_t index = -1;  // node held, -1 = empty
  uint8_t variant = 1;  // 1 = the normal image, 0 = the fast image
  TransferRecord* transfer = nullptr;
  // --- requesting thread only: the handle of the last worker started for this slot, kept
  // until it is waited for and closed
  platform::Thread* worker = nullptr;
};

class EnvironmentSet {
 public:
  // An empty set; stores the process-wide display depth (UpdateDisplayDepth).
  EnvironmentSet();
  // Asks running transfers to stop, waits for every worker, then destroys the map window and
  // releases the nodes and buffers. Window thread; no RequestImage may be running.
  ~EnvironmentSet();
  EnvironmentSet(const EnvironmentSet&) = delete;
  EnvironmentSet& operator=(const EnvironmentSet&) = delete;

  // Opens an image file as one node or a description as many, sizes the buffers and, for a
  // description, makes the map. Returns -1 for an image file, the node count for a
  // description, 0 on failure with a text in `errorText` (at least 256 bytes; null uses an
  // internal buffer). `controller` and `window` are accepted and not used. Window thread,
  // before the render thread starts; it changes the process's current directory meanwhile.
  int32_t OpenEnvironments(const char* path, char* errorText, ViewPose& startPose,
                           ViewPose& minimumPose, ViewPose& maximumPose, void* controller,
                           void* window);

  // The decoded image of the node nearest to `pose` (see the results above). `movement` is
  // kMovementNormal, kMovementFast or kMovementEither. On 0 and 4 with an image, `image`
  // points at the slot's packed image, whose rows lie WarpPictureStride(width) pixels apart
  // with the warp engine's picture margin readable around them; it stays valid until a later
  // request replaces that slot. Otherwise `image` is null and `environment` -1. `centre`
  // always gets the node's capture point and the pose's angles (unless the entry is refused).
  // Caller: one thread at a time (see the top of this file).
  int RequestImage(ViewPose& pose, ViewPose& centre, const uint8_t*& image,
                   int32_t& environment, int movement);

  // Sizes the staging buffer and the two slots from the largest node image. Returns false
  // with "Invalid File" or "Memory Fault" in `errorText`. Called once by OpenEnvironments.
  bool PrepareBuffers(char* errorText, uint16_t depth);

  // The node nearest to the position, the lowest index among equals; -1 for no nodes.
  int32_t FindNearest(double x, double y, double z, double* distance = nullptr) const;

  // The node the viewer is expected to reach next from node `current` moving to `pose`.
  // Requesting thread.
  int32_t PredictNext(int32_t current, const ViewPose& pose) const;

  // Appends the nodes of section "name N" ("name" when N, the `environment`, is 0) of the
  // description at the full path `description` (read once into `profile`), resolving their
  // files against its folder.
  void ReadDirectorySection(const char* description, const platform::ProfileFile& profile,
                            const char* name, int32_t environment);

  // The nodes a description lists, with their neighbours, read without opening a set (no
  // buffers, no map): what `kvp info` reports. Empty when it lists none.
  static std::vector<PanoramaNode> DescriptionNodes(const char* path);

  // Each node's nearest other node and its distance.
  static void FindNeighbours(std::vector<PanoramaNode>& nodes);

  // Smallest and largest capture point coordinates and roaming radius over the nodes.
  void ComputeBounds(double minimum[4], double maximum[4]) const;

  // Draws a 4 x 4 marker of the colour at world point x, y on the map, if there is one. Any
  // thread.
  void DrawMapMarker(double x, double y, MarkerColour colour) const;

  // Tests install latches on the transfer path; null removes them. Set while no transfer runs.
  void SetTransferHooks(TransferHooks* hooks) { hooks_ = hooks; }

  // ---- Read-only views (tests, kvp info, the controller) ----
  int32_t NodeCount() const { return int32_t(nodes_.size()); }
  const PanoramaNode& Node(int32_t i) const { return nodes_[size_t(i)]; }
  int32_t FastImagesEnabled() const { return fastImagesEnabled_; }
  const ViewPose& LastPose() const { return lastPose_; }
  bool HasMapWindow() const { return map_ != nullptr; }
  const MapGeometry& Map() const { return mapGeometry_; }
  size_t StagingSize() const { return stagingSize_; }
  size_t SlotBufferSize(int slotIndex) const { return slots_[slotIndex].bufferSize; }
  size_t SlotImageOffset(int slotIndex) const {
    return size_t(slots_[slotIndex].image - slots_[slotIndex].buffer.get());
  }
  // The slot's state, read under the slot lock.
  int32_t SlotIndex(int slotIndex) const;
  uint8_t SlotVariant(int slotIndex) const;
  bool SlotFilling(int slotIndex) const;

 private:
  friend struct EnvironmentSetTestAccess;

  // Steps of opening a description: the fast-images flag and the directory sections. False
  // when the sections hold no keys at all.
  bool ReadDescription(const char* full);
  void StartBackgroundLoad(int32_t nodeIndex, int slotIndex, int movement);
  int LoadNow(int32_t nodeIndex, int slotIndex, int movement, int result, ViewPose& pose,
              const uint8_t*& image, int32_t& environment);
  void TransferDone(TransferRecord* record, uint32_t bytes);
  static void OnTransferDone(void* set, TransferRecord* record, uint8_t* cursor,
                             uint32_t bytes);
  // Waits for and closes the workers of slots that have no transfer: they have finished, or
  // were cut loose by a cancel-all and stop after their current chunk.
  void ReapWorkers();
  // Decodes the packed image at `source` into slot `slotIndex` at the display depth (with
  // `reduceOnly`, reduces the image already in the slot instead). False when the decode
  // fails; the caller checks the result against the slot and lays its rows out.
  bool DecodeIntoSlot(int slotIndex, uint8_t* source, size_t length, size_t capacity,
                      bool reduceOnly);
  bool FitsSlot(int slotIndex, const BitmapInfoHeader& header) const;
  void MoveMarker(const ViewPose& pose);
  void Clear();

  std::vector<PanoramaNode> nodes_;
  size_t nodeCapacity_ = 0;  // nodes the open may add (the keys counted)
  std::unique_ptr<uint8_t[]> staging_;
  size_t stagingSize_ = 0;
  ImageSlot slots_[2];
  ViewPose lastPose_;  // requesting thread only
  // The description's "Fleetglider" key: non-zero lets a moving viewer see the nodes' fast
  // images.
  int32_t fastImagesEnabled_ = 0;
  platform::MapWindow* map_ = nullptr;
  MapGeometry mapGeometry_;
  TransferHooks* hooks_ = nullptr;

  mutable std::mutex slotLock_;  // protects the slots' index, variant and transfer
  std::atomic<bool> requesting_{false};  // a RequestImage is running
};

}  // namespace kvp
