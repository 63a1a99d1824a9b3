#pragma once
// The base of every TALVERN dialog.
//
// TalvernDialog: Enter never closes the dialog and never presses a button
// the user did not choose; buttons are pressed by a click or, with the
// keyboard focus on them, by the space bar. Escape still cancels.
//
// CommandDialog<State>: the dialog's commands are the commands of its
// sheet (command/sheet.h), functions of the core over a plain state object
// and the work-space. One table binds each widget to its field of the
// state; the copy from the widgets into the state before a command and the
// copy back after it are both generated from that table, so no field can be
// copied one way and forgotten the other. The message pane is copied last,
// so a command's own message stands over any notice its copy-back sets off.
// Every command of the sheet is bound when the dialog is made, with a button
// or without; each run of one with a subcommand is written to the
// work-space's history as the talvern-cli line that does the same.

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "command/history.h"
#include "command/subcommands.h"
#include "gui/PlotPanel.h"
#include "gui/dialog_parts.h"
#include "gui/file_chooser.h"
#include "gui/form_widgets.h"
#include "plot/panel.h"
#include "workspace/user_file.h"
#include "workspace/workspace.h"

class QKeyEvent;
class QShowEvent;

namespace talvern {

class TalvernDialog : public QDialog {
 public:
  using QDialog::QDialog;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // No push button of the dialog is a default button, so Enter in an edit
  // box or on a focused button presses nothing.
  void showEvent(QShowEvent* event) override;
};

template <class State>
class CommandDialog : public TalvernDialog {
 public:
  // What the dialog alone does, which the shell cannot.
  using OwnCommand = std::function<void(const WorkSpace&, State&)>;

  const WorkSpace& workSpace() const { return ws_; }
  // What the dialog shows, as its commands see it.
  const State& state() const { return state_; }

  // The captions (or, for a command without a button, the subcommand
  // names) of every command of the sheet the dialog runs.
  std::vector<std::string> commandNames() const {
    std::vector<std::string> names;
    for (const auto& c : sheet_.commands) names.emplace_back(*c.caption ? c.caption : c.name);
    return names;
  }

  // Runs the command of the sheet with caption or subcommand `name`, as its
  // button does; `run` brings a click or the run's extras. False when the
  // sheet has none.
  bool runNamed(std::string_view name, CommandRun run = {}) {
    const talvern::Command<State>* command = find(name);
    if (!command) return false;
    copyIn();
    prepareRun(run);
    run_and_record(ws_, sheet_, *command, state_, run);
    showOutcome(*command, run);
    return true;
  }

  // Runs `command`, which belongs to the dialog alone (nothing the shell
  // could do): the widgets are copied in, the command runs, the state is
  // copied back; with `repaint` the whole dialog and its panels are drawn
  // again afterwards.
  void runCommand(const OwnCommand& command, bool repaint) {
    copyIn();
    command(ws_, state_);
    showState();
    if (repaint) repaint_dialog(this, panels_);
  }

 protected:
  CommandDialog(WorkSpace ws, const Sheet<State>& sheet, UserFiles files, QWidget* parent = nullptr,
                std::optional<State> initial = std::nullopt)
      : TalvernDialog(parent),
        ws_(std::move(ws)),
        sheet_(sheet),
        files_(std::move(files)),
        state_(initial ? std::move(*initial) : sheet.open(ws_)) {
    files_.work_space = ws_.dir();  // what the dialog's panels save stays out of it
  }

  // A button for the sheet's command with caption `caption`, which it runs;
  // its tip says the files the command reads and writes.
  QPushButton* commandButton(const char* caption, const char* name, QWidget* parent) {
    QPushButton* button = runButton(caption, name, parent);
    const std::string key = caption;
    QObject::connect(button, &QAbstractButton::clicked, this, [this, key] { runNamed(key); });
    return button;
  }

  // The same button for a command the dialog runs itself (on its worker).
  QPushButton* runButton(const char* caption, const char* name, QWidget* parent,
                         bool enabled = true) {
    QPushButton* button = make_button(caption, name, parent, enabled);
    if (const auto* command = find(caption))
      set_files_tip(button, command->touches);
    else
      qWarning("no command \"%s\" in the dialog's sheet", caption);
    return button;
  }

  // Runs the sheet's command `name` for a click on a panel.
  void runClick(std::string_view name, plot::ClickPoint click) {
    CommandRun run;
    run.click = click;
    runNamed(name, std::move(run));
  }

  // What every run of a command gets before it starts (a progress bar's
  // updater, a watch).
  void setRunPreparation(std::function<void(CommandRun&)> prepare) { prepare_ = std::move(prepare); }

  const talvern::Command<State>* find(std::string_view name) const { return sheet_.command(name); }

  // The run as the dialog gives it: the user's files, then the preparation.
  void prepareRun(CommandRun& run) const {
    run.files = files_;
    if (prepare_) prepare_(run);
  }

  // After `command` ran from `before` elsewhere (a worker): the history,
  // then the outcome shown.
  void finishCommand(const talvern::Command<State>& command, const State& before,
                     CommandRun& run, const FileRecord& files) {
    finish_and_record(ws_, sheet_, command, before, state_, run, files);
    showOutcome(command, run);
  }

  // A file that could not be opened reported, the state shown and, when
  // the command wants it, drawn.
  void showOutcome(const talvern::Command<State>& command, const CommandRun& run) {
    if (run.outcome.failure && report_) report_(*run.outcome.failure);
    showState();
    if (command.repaint) repaint_dialog(this, panels_);
  }

  const UserFiles& userFiles() const { return files_; }
  State& editState() { return state_; }

  // ---- the binding table ----------------------------------------------------
  void bind(QLineEdit* box, std::string State::*field) {
    add_binding([box, field](State& s) { s.*field = box->text().toStdString(); },
                [box, field](const State& s) { set_text(box, s.*field); });
  }
  // One box of a row or column of boxes: entry `index` of `field`.
  template <std::size_t N>
  void bind(QLineEdit* box, std::array<std::string, N> State::*field, std::size_t index) {
    add_binding([box, field, index](State& s) { (s.*field)[index] = box->text().toStdString(); },
                [box, field, index](const State& s) { set_text(box, (s.*field)[index]); });
  }
  // A check box: checked or not.
  void bind(QAbstractButton* box, bool State::*field) {
    add_binding([box, field](State& s) { s.*field = box->isChecked(); },
                [box, field](const State& s) { box->setChecked(s.*field); });
  }
  // One check box of a row or column: entry `index` of `field`.
  template <std::size_t N>
  void bind(QAbstractButton* box, std::array<bool, N> State::*field, std::size_t index) {
    add_binding([box, field, index](State& s) { (s.*field)[index] = box->isChecked(); },
                [box, field, index](const State& s) { box->setChecked((s.*field)[index]); });
  }
  // A radio group: the checked id, -1 for none.
  void bind(QButtonGroup* group, int State::*field) {
    add_binding([group, field](State& s) { s.*field = group->checkedId(); },
                [group, field](const State& s) { set_checked_id(group, s.*field); });
  }
  // A drop-down list whose entries the state owns (commands only append to
  // them) and whose selected position goes both ways.
  void bind(QComboBox* list, std::vector<std::string> State::*entries, int State::*selected) {
    add_binding([list, selected](State& s) { s.*selected = list->currentIndex(); },
                [list, entries, selected](const State& s) {
                  sync_list(list, s.*entries);
                  // Adding to an empty list selects its first entry; the state decides.
                  if (list->currentIndex() != s.*selected) list->setCurrentIndex(s.*selected);
                });
  }
  // The message pane, read from and written to `State::message`.
  void bindMessage(QPlainTextEdit* pane) { messagePane_ = pane; }
  // A plot panel: drawn from `curves` of the state (widgets copied in first,
  // so radio buttons take effect at every paint), repainted by commands
  // that ask for it, and showing the click marker a command leaves in
  // `marker`.
  void bindPanel(PlotPanel* panel,
                 std::function<std::vector<plot::Curve>(const State&)> curves,
                 std::optional<double> State::*marker = nullptr) {
    panels_.push_back(panel);
    panel->setCurves([this, curves = std::move(curves)] {
      copyIn();
      return curves(state_);
    });
    if (marker)
      add_binding([](State&) {},
                  [this, panel, marker](const State&) { take_click_marker(state_.*marker, panel); });
  }

  // The titles, markers and click digits of a bound panel, from the state
  // as the widgets hold it at every paint.
  void bindPanelText(PlotPanel* panel, std::function<plot::PanelText(const State&)> text) {
    panel->setText([this, text = std::move(text)] {
      copyIn();
      return text(state_);
    });
  }

  // A widget drawn from the state alone (a list of entries with buttons of
  // their own, a picture): `show` is called whenever the state is shown,
  // after every command.
  void bindView(std::function<void(const State&)> show) {
    add_binding([](State&) {}, std::move(show));
  }

  // Wires `button` to `command`, a command of the dialog alone.
  void addCommand(QAbstractButton* button, OwnCommand command, bool repaint) {
    QObject::connect(button, &QAbstractButton::clicked, this,
                     [this, command = std::move(command), repaint] { runCommand(command, repaint); });
  }

  // How a file that cannot be opened is reported.
  void setOpenFailureReporter(OpenFailureReporter report) { report_ = std::move(report); }

  // Shows `text` in the message pane at once, outside a command (a notice).
  void showNotice(const std::string& text) {
    state_.message = text;
    showPaneText(text);
  }

  // The state into the widgets, the message last. A derived dialog calls
  // it once its table is complete, to show its initial state.
  void showState() {
    const std::string message = state_.message;  // a notice set off below must not replace it
    for (const Binding& b : bindings_) b.from_state(state_);
    state_.message = message;
    if (message != paneText_) showPaneText(message);
  }

  // For a command that runs away from the widgets (on a worker thread): the
  // widgets copied into the state, for the caller to hand to the command,
  // and the state the command ends with, shown. Both go through the table.
  State widgetState() {
    copyIn();
    return state_;
  }
  void showState(State state) {
    state_ = std::move(state);
    showState();
  }

  const std::vector<PlotPanel*>& panels() const { return panels_; }

 private:
  struct Binding {
    std::function<void(State&)> to_state;
    std::function<void(const State&)> from_state;
  };

  void add_binding(std::function<void(State&)> to_state,
                   std::function<void(const State&)> from_state) {
    bindings_.push_back({std::move(to_state), std::move(from_state)});
  }

  // The widgets into the state.
  void copyIn() {
    for (const Binding& b : bindings_) b.to_state(state_);
    state_.message = paneText_;
  }

  void showPaneText(const std::string& text) {
    paneText_ = text;
    if (messagePane_) show_message(messagePane_, text);
  }

  WorkSpace ws_;
  const Sheet<State>& sheet_;
  UserFiles files_;
  State state_;
  std::function<void(CommandRun&)> prepare_;
  std::vector<Binding> bindings_;
  std::vector<PlotPanel*> panels_;
  OpenFailureReporter report_;
  QPlainTextEdit* messagePane_ = nullptr;
  std::string paneText_;  // what the message pane shows, lines split by "\r\n"
};

}  // namespace talvern
