// Chunked, abortable file transfers: a record with its file, cursor and two guards, read on
// the calling thread or, a chunk per step, on a worker thread that reports to a completion.
// The environment set fills its image slots with them.
//
// Threads: a record's creator owns it. Once a worker runs, the worker and completion fields
// are guarded by the state guard and the abort flag by the abort guard (see TransferRecord);
// the worker clears its own fields before its completion runs, so the completion may free it.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace platform {
struct File;
struct Semaphore;
struct Thread;
}  // namespace platform

namespace kvp {

struct TransferRecord;

// Test hooks on the transfer path, so that tests can hold a transfer at a known point with a
// latch. Null in normal operation. Called on whichever thread runs the transfer.
class TransferHooks {
 public:
  virtual ~TransferHooks() = default;
  // Before each chunk is read (after the previous one, before the abort flag is looked at).
  virtual void BeforeChunk(const TransferRecord&) {}
  // On a worker, after its read loop and before it takes the state guard to finish.
  virtual void BeforeFinish(const TransferRecord&) {}
  // On a worker, after its completion has returned (the record no longer exists).
  virtual void AfterCompletion() {}
};

// Called by a worker when its read ends: (context, the record, cursor, bytes transferred; 0
// when aborted or nothing came). The record's worker and completion fields are already clear,
// so the completion may destroy the record.
using TransferCompletion = void (*)(void* context, TransferRecord* record, uint8_t* cursor,
                                    uint32_t bytes);

struct TransferRecord {
  platform::File* file = nullptr;  // null when the file could not be opened
  int32_t ownsFile = 1;            // 1: destroying the record closes the file
  uint8_t* cursor = nullptr;       // where the next chunk goes
  uint32_t remaining = 0;          // bytes still to read
  int32_t direction = 0;           // 0 = read, the only direction used
  uint32_t chunk = 0;              // largest single read
  uint32_t transferred = 0;        // bytes a worker's steps have read so far
  // --- protected by stateGuard once a worker runs
  platform::Thread* worker = nullptr;       // cleared by the worker when it finishes
  TransferCompletion completion = nullptr;  // cleared likewise
  void* context = nullptr;                  // the completion's first argument
  // --- protected by abortGuard
  int32_t abort = 0;  // 1 asks the read to stop
  platform::Semaphore* abortGuard = nullptr;  // count 1, maximum 1
  platform::Semaphore* stateGuard = nullptr;  // count 1, maximum 1
  TransferHooks* hooks = nullptr;             // tests only
};

constexpr uint32_t kTransferChunk = 131072;

// Creates a record with its two guards and the file `path` opened by the file open rule
// (read-write with read sharing, else read-only). A file that cannot be opened is traced as
// "File I/O Error: %d " with the system's code, then the path; the record is still returned,
// with no file. Never null. Caller: the loader, on any thread; the caller owns the record.
TransferRecord* OpenTransfer(const char* path, TransferHooks* hooks = nullptr);

// Reads `remaining` bytes at the file's position to `cursor` in chunks of `chunk`, on the
// calling thread, stopping at an abort, a failed or short read. Returns the bytes read.
uint32_t RunTransfer(TransferRecord* record);

// Asks a running worker to stop after its current chunk. Does nothing when the record has no
// worker or completion registered (the worker is finishing or has finished). The caller must
// know the record still exists (the set calls it under its slot lock).
void AbortTransfer(TransferRecord* record);

// Aborts, closes the file when owned, closes the guards and frees the record. The record must
// have no running worker: callers are the worker's own completion (whose worker field is
// already clear), the synchronous load, a failed start, and teardown after the worker ended.
void DestroyTransfer(TransferRecord* record);

// The worker thread's step (platform::StartStepThread; `argument` is the record): one chunk,
// and after the last one (or an abort, or a short read) the finish under the state guard and
// the completion, which ends the thread. Where there are no threads the page runs one chunk
// per animation frame.
platform::StepResult TransferStep(void* argument);

}  // namespace kvp
