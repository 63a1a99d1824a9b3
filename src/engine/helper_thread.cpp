#include "engine/helper_thread.h"

#include <chrono>

namespace talvern {

namespace {

inline void cpu_relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

// How long the helper keeps looking for the next task before it sleeps.
constexpr auto kLinger = std::chrono::milliseconds(3);

}  // namespace

HelperThread& HelperThread::get() {
  static HelperThread helper;
  return helper;
}

HelperThread::HelperThread() : thread_([this] { loop(); }) {}

HelperThread::~HelperThread() {
  {
    std::lock_guard lock(mutex_);
    quit_.store(true);
  }
  wake_.notify_one();
  thread_.join();
}

void HelperThread::run_both(const std::function<void()>& task) {
  std::lock_guard call(call_mutex_);
  unsigned number;
  bool wake;
  {
    std::lock_guard lock(mutex_);
    task_ = &task;
    number = posted_.load(std::memory_order_relaxed) + 1;
    posted_.store(number, std::memory_order_release);
    wake = sleeping_;
  }
  if (wake) wake_.notify_one();
  task();
  // Give the task up if the helper has not taken it yet; otherwise wait for
  // its last share.
  unsigned expected = number - 1;
  if (!claimed_.compare_exchange_strong(expected, number, std::memory_order_acq_rel))
    while (finished_.load(std::memory_order_acquire) != number) cpu_relax();
}

void HelperThread::loop() {
  unsigned seen = 0;
  for (;;) {
    const auto until = std::chrono::steady_clock::now() + kLinger;
    for (int spins = 0; posted_.load(std::memory_order_acquire) == seen && !quit_.load();
         ++spins) {
      cpu_relax();
      if (spins % 1024 == 0 && std::chrono::steady_clock::now() > until) break;
    }
    if (posted_.load(std::memory_order_acquire) == seen) {
      std::unique_lock lock(mutex_);
      sleeping_ = true;
      wake_.wait(lock, [&] { return quit_.load() || posted_.load() != seen; });
      sleeping_ = false;
    }
    if (quit_.load()) return;
    seen = posted_.load(std::memory_order_acquire);
    unsigned expected = seen - 1;
    if (claimed_.compare_exchange_strong(expected, seen, std::memory_order_acq_rel)) {
      (*task_)();
      finished_.store(seen, std::memory_order_release);
    }
  }
}

}  // namespace talvern
