#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include "python/bindings.h"

namespace talvern::python {

void run_stoppable(const std::function<void(const std::atomic<bool>* stop, const Post& post)>& work,
                   py::object progress) {
  std::atomic<bool> stop{false};
  std::mutex mutex;
  std::condition_variable woken;
  std::deque<std::string> lines;
  bool done = false;
  std::exception_ptr failure;
  const Post post = [&](const std::string& line) {
    {
      const std::lock_guard<std::mutex> hold(mutex);
      lines.push_back(line);
    }
    woken.notify_one();
  };
  // The Python error (KeyboardInterrupt) that stopped the run, raised after it.
  std::optional<py::error_already_set> interrupt;
  {
    py::gil_scoped_release unlocked;
    std::thread worker([&] {
      try {
        work(&stop, post);
      } catch (...) {
        failure = std::current_exception();
      }
      {
        const std::lock_guard<std::mutex> hold(mutex);
        done = true;
      }
      woken.notify_one();
    });
    std::unique_lock<std::mutex> hold(mutex);
    for (;;) {
      // A signal's Python handler runs only here, with the GIL: look for
      // one now and then.
      woken.wait_for(hold, std::chrono::milliseconds(50), [&] { return done || !lines.empty(); });
      std::deque<std::string> now;
      now.swap(lines);
      const bool finished = done;
      hold.unlock();
      {
        py::gil_scoped_acquire locked;
        if (!interrupt) {
          try {
            if (PyErr_CheckSignals() != 0) throw py::error_already_set();
            if (!progress.is_none())
              for (const std::string& line : now) progress(line);
          } catch (py::error_already_set& e) {
            interrupt.emplace(std::move(e));
            stop.store(true);
          }
        }
      }
      hold.lock();
      if (finished && lines.empty()) break;
    }
    hold.unlock();
    worker.join();
  }
  if (interrupt) throw std::move(*interrupt);
  if (failure) std::rethrow_exception(failure);
}

}  // namespace talvern::python
