// Win32 semaphores and threads: each call forwards to the kernel object call it stands for.
#include "platform/platform.h"
#include "platform/common/step_thread.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace platform {

struct Semaphore {
  HANDLE handle;
};

Semaphore* MakeSemaphore(int32_t initial, int32_t maximum) {
  HANDLE h = ::CreateSemaphoreA(nullptr, initial, maximum, nullptr);
  if (h == nullptr) return nullptr;
  return new Semaphore{h};
}

bool ReleaseSemaphore(Semaphore* semaphore) {
  if (semaphore == nullptr) return false;
  return ::ReleaseSemaphore(semaphore->handle, 1, nullptr) != 0;
}

bool WaitSemaphore(Semaphore* semaphore, uint32_t milliseconds) {
  if (semaphore == nullptr) return false;
  return WaitForSingleObject(semaphore->handle, milliseconds) == WAIT_OBJECT_0;
}

void CloseSemaphore(Semaphore* semaphore) {
  if (semaphore == nullptr) return;
  CloseHandle(semaphore->handle);
  delete semaphore;
}

struct Thread {
  HANDLE handle;
};

namespace {

struct Start {
  ThreadMain main;
  void* argument;
};

DWORD WINAPI ThreadEntry(LPVOID parameter) {
  const Start start = *static_cast<Start*>(parameter);
  delete static_cast<Start*>(parameter);
  return start.main(start.argument);
}

}  // namespace

Thread* StartThread(ThreadMain main, void* argument) {
  auto* start = new Start{main, argument};
  DWORD id = 0;
  HANDLE h = ::CreateThread(nullptr, 0, ThreadEntry, start, 0, &id);
  if (h == nullptr) {
    delete start;
    return nullptr;
  }
  return new Thread{h};
}

bool WaitThread(Thread* thread, uint32_t milliseconds) {
  if (thread == nullptr) return false;
  return WaitForSingleObject(thread->handle, milliseconds) == WAIT_OBJECT_0;
}

void CloseThread(Thread* thread) {
  if (thread == nullptr) return;
  CloseHandle(thread->handle);
  delete thread;
}

int32_t ProcessorCount() {
  SYSTEM_INFO info;
  ::GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? int32_t(info.dwNumberOfProcessors) : 1;
}

int32_t CurrentThreadPriority() { return ::GetThreadPriority(::GetCurrentThread()); }

void SetThreadPriority(Thread* thread, int32_t priority) {
  if (thread != nullptr) ::SetThreadPriority(thread->handle, priority);
}

void SetCurrentThreadPriority(int32_t priority) {
  ::SetThreadPriority(::GetCurrentThread(), priority);
}

Thread* StartStepThread(StepMain step, void* argument, Semaphore* wake) {
  return common::StartThreadedSteps(step, argument, wake);
}

void Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace platform
