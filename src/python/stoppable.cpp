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
  // Refused before anything runs: the first line would fail, and stop the run there.
  if (!progress.is_none() && !PyCallable_Check(progress.ptr()))
    throw py::type_error("progress takes a callable of one str, or None, not " +
                         py::str(py::type::of(progress).attr("__name__")).cast<std::string>());
  std::atomic<bool> stop{false};
  std::mutex mutex;
  std::condition_variable woken;
  std::deque<std::string> lines;
  std::size_t posted = 0, handed = 0;  // lines so far, lines `progress` has seen
  bool done = false;
  std::exception_ptr failure;
  // With a callable, the run waits until it has seen the line: what it does
  // (a Ctrl-C of its own, an exception) then stops the run at this step.
  const bool waits = !progress.is_none();
  std::condition_variable seen;
  const Post post = [&](const std::string& line) {
    std::unique_lock<std::mutex> hold(mutex);
    lines.push_back(line);
    const std::size_t mine = ++posted;
    woken.notify_one();
    if (waits) seen.wait(hold, [&] { return handed >= mine; });
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
      const std::size_t upto = posted;
      const bool finished = done;
      hold.unlock();
      {
        py::gil_scoped_acquire locked;
        if (!interrupt) {
          try {
            if (!progress.is_none())
              for (const std::string& line : now) progress(line);
            if (PyErr_CheckSignals() != 0) throw py::error_already_set();
          } catch (py::error_already_set& e) {
            interrupt.emplace(std::move(e));
            stop.store(true);
          }
        }
      }
      hold.lock();
      handed = upto;
      seen.notify_all();
      if (finished && lines.empty()) break;
    }
    hold.unlock();
    worker.join();
  }
  if (interrupt) throw std::move(*interrupt);
  if (failure) std::rethrow_exception(failure);
}

}  // namespace talvern::python
