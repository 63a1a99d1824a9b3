#pragma once
// One helper thread for the calculations, kept for the life of the program.
//
// Starting a thread for every calculation costs more than the calculation
// gains on small inputs, and waking a sleeping core can take a millisecond
// on some machines. The helper therefore stays, and after each task it
// waits briefly on the spot for the next one before it goes to sleep.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace talvern {

class HelperThread {
 public:
  static HelperThread& get();

  // Runs `task` on the calling thread and on the helper at the same time and
  // returns when both are through. `task` must share its work out itself
  // (through an atomic counter), since either side may do all of it: when
  // the helper has not started by the time the caller is done, it is not
  // waited for.
  void run_both(const std::function<void()>& task);

  HelperThread(const HelperThread&) = delete;
  HelperThread& operator=(const HelperThread&) = delete;

 private:
  HelperThread();
  ~HelperThread();
  void loop();

  std::mutex call_mutex_;  // one caller at a time
  std::mutex mutex_;
  std::condition_variable wake_;
  const std::function<void()>* task_ = nullptr;
  std::atomic<unsigned> posted_{0};    // number of the latest task
  std::atomic<unsigned> claimed_{0};   // latest task taken by the helper or given up by the caller
  std::atomic<unsigned> finished_{0};  // latest task the helper has finished
  std::atomic<bool> quit_{false};
  bool sleeping_ = false;
  std::thread thread_;
};

}  // namespace talvern
