#pragma once
// A dialog whose long command runs beside it, on a worker thread, so that
// the dialog stays responsive: a progress bar can follow the run and a
// "Stop" button ends it after the step in hand.
//
// The worker never touches a widget. It works on its own copy of the
// state; what it reports while it runs reaches the widgets through post(),
// on the user-interface thread, and is dropped once the run is over. When
// the command returns, the dialog shows the state the run ended with.
// Closing the dialog (OK, Cancel, Escape, the close button) during a run
// stops it and shows its result first.

#include <QApplication>
#include <QMetaObject>
#include <QPushButton>
#include <QWidget>

#include <any>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "gui/CommandDialog.h"

namespace talvern {

template <class State>
class WorkerDialog : public CommandDialog<State> {
 public:
  // True from the start of a run until its result is shown.
  bool running() const { return worker_.joinable(); }

  // OK, Cancel, Escape and the window's close button all end here.
  void done(int result) override {
    if (running()) {
      stop_flag_.store(true);
      finishRun();
    }
    CommandDialog<State>::done(result);
  }

  // Waits for the worker and shows the state the run ended with.
  void finishRun() {
    if (!running()) return;
    worker_.join();
    ++run_;  // calls the run posted that are still queued are dropped
    setRunning(false);
    this->showState(std::move(result_));
    if (pending_) {
      Pending p = std::move(*pending_);
      pending_.reset();
      this->finishCommand(*p.command, p.before, p.run, *p.files);
    }
    runFinished();
  }

 protected:
  using CommandDialog<State>::CommandDialog;

  // A run still going when the dialog goes is stopped and waited for; the
  // worker touches nothing of the dialog but this base.
  ~WorkerDialog() override {
    stop_flag_.store(true);
    if (worker_.joinable()) worker_.join();
  }

  // The widgets disabled during a run and the "Stop" button, which is
  // enabled only then.
  void setRunControls(std::vector<QWidget*> inputs, QPushButton* stop) {
    inputs_ = std::move(inputs);
    stop_ = stop;
    stop_->setEnabled(false);
    set_files_tip(stop_, {}, "ends the run after the step in hand");
    QObject::connect(stop_, &QPushButton::clicked, this, [this] {
      stop_flag_.store(true);
      stop_->setEnabled(false);  // the run ends after the step in hand
    });
  }

  // The flag the command watches; set by "Stop" and by closing.
  const std::atomic<bool>* stopFlag() const { return &stop_flag_; }

  // The number of the run that start() begins next; what the worker posts
  // under it is shown only while that run lasts.
  unsigned nextRun() const { return run_; }

  // Runs `f` on the user-interface thread, unless run `run` is over by then.
  // Safe to call from the worker.
  template <class F>
  void post(unsigned run, F f) {
    QMetaObject::invokeMethod(
        this, [this, run, f = std::move(f)] {
          if (run == run_ && running()) f();
        },
        Qt::QueuedConnection);
  }

  // Runs the sheet's command `name` on the widgets' state on a worker
  // thread, watched by `watch`; the dialog is busy until it returns, and the
  // run is written to the history then.
  void startCommand(std::string_view name, std::any watch) {
    const auto* command = this->find(name);
    if (running() || !command) return;
    Pending p{command, this->widgetState(), {}, nullptr};
    this->prepareRun(p.run);
    p.run.watch = std::move(watch);
    p.run.stop = &stop_flag_;
    p.files = record_files(p.run);
    stop_flag_.store(false);
    const unsigned run = run_;
    setRunning(true);
    pending_ = std::move(p);
    worker_ = std::thread([this, run, command, state = pending_->before,
                           r = &pending_->run]() mutable {
      command->run(this->workSpace(), state, *r);
      result_ = std::move(state);
      post(run, [this] { finishRun(); });
    });
  }

  // Called once the result of a run is shown.
  virtual void runFinished() {}

 private:
  void setRunning(bool on) {
    for (QWidget* w : inputs_) w->setEnabled(!on);
    if (stop_) stop_->setEnabled(on);
    if (on) QApplication::setOverrideCursor(Qt::BusyCursor);
    else QApplication::restoreOverrideCursor();
  }

  // A run of a sheet's command, until its result is shown.
  struct Pending {
    const talvern::Command<State>* command;
    State before;
    CommandRun run;
    std::shared_ptr<FileRecord> files;
  };
  std::optional<Pending> pending_;
  std::vector<QWidget*> inputs_;
  QPushButton* stop_ = nullptr;
  std::thread worker_;
  std::atomic<bool> stop_flag_{false};
  State result_;      // written by the worker, read after the join
  unsigned run_ = 0;  // the run whose posted calls are still wanted
};

}  // namespace talvern
