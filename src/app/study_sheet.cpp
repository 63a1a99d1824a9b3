#include "app/study_sheet.h"

#include "workspace/study.h"

namespace talvern {
namespace {

using S = StudyState;

std::optional<std::filesystem::path> choose(const UserFiles& files, FileKind kind,
                                            const char* title) {
  return files.choose ? files.choose(FileRequest(kind, title)) : std::nullopt;
}

void save(const WorkSpace& ws, S& state, CommandRun& run) {
  const auto file = choose(run.files, FileKind::save_study, "Save Study As...");
  if (!file) return;
  state.file = file->string();
  state.message = SaveStudy(ws, *file, state.name.empty() ? file->stem().string() : state.name);
}

// A work-space that holds files is replaced when --replace says so or the
// user agrees; it is kept first in Study_Backups.
void open(const WorkSpace& ws, S& state, CommandRun& run) {
  const auto file = choose(run.files, FileKind::open_study, "Open Study...");
  if (!file) return;
  state.file = file->string();
  auto r = OpenStudy(ws, *file, state.replace);
  if (r.needs_replace && run.files.confirm_replace) {
    // The user is asked; one who says no has changed nothing, as a cancel.
    if (!run.files.confirm_replace(ws.dir(), r.message)) {
      state.file.clear();
      run.record = false;
      return;
    }
    state.replace = true;
    r = OpenStudy(ws, *file, true);
  }
  state.message = r.message;
  if (r.needs_replace) {
    if (!run.files.confirm_replace) run.outcome.after = "Nothing was changed: give --replace to replace them.\n";
    run.outcome.failed = true;
  }
}

}  // namespace

Sheet<StudyState>& study_sheet() {
  static Sheet<S> sheet{
      .fields = {{"Study name", "--name",
                  [](S& s, std::string_view t) { s.name = std::string(t); },
                  [](const S& s) {
                    return s.name.empty() ? std::nullopt : std::optional<std::string>(s.name);
                  }},
                 sheet::flag<S>("Replace the work-space", "--replace", &S::replace)},
      .commands = {
          {"Save Study As...", "study-save", "FILE [--name NAME]",
           "every work-space file, the study's name (default: the file name) and date into the "
           "archive FILE (\"Save Study As...\")",
           save, {.reads = {Touches::kEveryFile}, .yours = Touches::Yours::written}},
          {"Open Study...", "study-open", "FILE [--replace]",
           "restore the work-space from the study FILE (\"Open Study...\"); a work-space that "
           "holds files is replaced only with --replace, and kept first in Study_Backups",
           open, {.writes = {Touches::kEveryFile}, .yours = Touches::Yours::read}},
      }};
  return sheet;
}

}  // namespace talvern
