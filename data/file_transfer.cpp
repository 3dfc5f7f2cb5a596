// Chunked file transfers: the chunk read shared by the synchronous reader and the worker's
// steps, the abort request, and the record's life.
#include "data/file_transfer.h"

#include <cassert>
#include <thread>

#include "diag/timed_lock.h"
#include "diag/trace.h"
#include "platform/platform.h"

namespace kvp {

namespace {

bool AbortRequested(TransferRecord& record) {
  TimedLock hold(record.abortGuard);
  return record.abort != 0;
}

// One chunk of the read, as RunTransfer and the worker's steps share it: adds the bytes read
// to `total`. Returns whether another chunk may follow (no abort, no short read, bytes remain).
bool TransferChunk(TransferRecord& record, uint32_t& total) {
  if (record.remaining == 0 || record.chunk == 0) return false;
  if (record.hooks != nullptr) record.hooks->BeforeChunk(record);
  if (AbortRequested(record)) return false;
  const uint32_t n = record.chunk < record.remaining ? record.chunk : record.remaining;
  const uint32_t got =
      record.file != nullptr ? platform::ReadFile(record.file, record.cursor, n) : 0;
  total += got;
  if (got < n) return false;
  record.cursor += n;
  record.remaining -= n;
  return record.remaining > 0;
}

}  // namespace

TransferRecord* OpenTransfer(const char* path, TransferHooks* hooks) {
  auto* record = new TransferRecord;
  record->hooks = hooks;
  record->abortGuard = platform::MakeSemaphore(1, 1);
  record->stateGuard = platform::MakeSemaphore(1, 1);
  record->abort = 0;
  record->ownsFile = 1;
  if (record->abortGuard == nullptr || record->stateGuard == nullptr) {
    // Without its guards a record must never get a worker: treat it as an unopened file.
    return record;
  }
  record->file = platform::OpenFile(path);
  if (record->file == nullptr) {
    TraceValue("File I/O Error: %d ", int32_t(platform::LastError()));
    TraceLine(path);
  }
  return record;
}

uint32_t RunTransfer(TransferRecord* record) {
  uint32_t total = 0;
  // Let the render thread draw while an image streams in.
  while (TransferChunk(*record, total)) std::this_thread::yield();
  return total;
}

void AbortTransfer(TransferRecord* record) {
  if (record == nullptr) return;
  TimedLock state(record->stateGuard);
  if (record->worker != nullptr && record->completion != nullptr) {
    TimedLock abort(record->abortGuard);
    record->abort = 1;
  }
}

void DestroyTransfer(TransferRecord* record) {
  if (record == nullptr) return;
  AbortTransfer(record);
  assert(record->worker == nullptr && "a transfer is destroyed only once its worker is done");
  if (record->ownsFile) platform::CloseFile(record->file);
  platform::CloseSemaphore(record->abortGuard);
  platform::CloseSemaphore(record->stateGuard);
  delete record;
}

platform::StepResult TransferStep(void* argument) {
  auto* record = static_cast<TransferRecord*>(argument);
  if (TransferChunk(*record, record->transferred)) return platform::StepResult::kMore;

  TransferHooks* hooks = record->hooks;
  uint32_t total = record->transferred;
  if (hooks != nullptr) hooks->BeforeFinish(*record);
  TransferCompletion completion = nullptr;
  void* context = nullptr;
  {
    TimedLock state(record->stateGuard);
    if (AbortRequested(*record)) total = 0;
    completion = record->completion;
    context = record->context;
    record->completion = nullptr;
    record->worker = nullptr;
  }
  if (completion != nullptr) completion(context, record, record->cursor, total);
  if (hooks != nullptr) hooks->AfterCompletion();
  return platform::StepResult::kDone;
}

}  // namespace kvp
