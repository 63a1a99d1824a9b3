#include "app/main_form.h"

#include <cerrno>
#include <system_error>

#include "workspace/file_names.h"
#include "workspace/journal.h"
#include "workspace/parameters.h"
#include "workspace/row_io.h"
#include "workspace/write_log.h"

namespace talvern {

void construct_work_space(const WorkSpace& ws, MainFormState& form) {
  std::error_code ec;
  if (!ws.dir_exists()) std::filesystem::create_directories(ws.dir(), ec);
  if (!ws.dir_exists()) {
    if (!ec) ec = std::make_error_code(std::filesystem::exists(ws.dir()) ? std::errc::file_exists
                                                                         : std::errc::not_a_directory);
    form.message = "ERROR!!\r\nThe working directory\r\n " TALVERN_WORK_SPACE_NAME
                   "\r\ncould not be made (" + ec.message() + ").\r\n" + ws.dir().string();
    return;
  }

  const LorentzSet default_lorentz;
  const std::pair<const char*, std::string> placeholders[] = {
      {files::kParameters, "1.25\t7120\t7020\t7065\t0.1\t1\t7.9e-09\n"},
      {files::kLorentz, format_lorentz(default_lorentz)},
      {files::kEmissionExcEnergy, "7200\n"},
      {files::kNonResonantEmission, "7000\t1\t1\t1\n"},
      {files::kSelectiveForRIXSTemp, "7000\t1\t1\n"},
      {files::kCalculatedRIXS, "7000\t1\t1\n"},
  };
  // The missing placeholders are put in place as a whole: a kill leaves
  // none of them or all (workspace/journal.h).
  WriteLog log;
  StagedFiles staged(ws);
  bool made = false;
  for (const auto& [name, text] : placeholders) {
    if (ws.exists(name)) continue;
    if ((!made && !(made = staged.make())) || !staged.write(name, text)) {
      log.note(name, WriteStatus::cannot_write);
      break;
    }
  }
  if (made && !log.failed()) {
    const StagedFiles::Outcome placed = staged.put_in_place({}, {}, "\"Construct Work-Space\"");
    if (!placed.recovery.empty()) {
      form.message = placed.recovery.front();
      return;
    }
    if (!placed.done) {
      errno = placed.failure.error;
      log.note(placed.failure.file.c_str(), WriteStatus::cannot_write);
    }
  }

  if (log.failed()) {
    // A work-space without its placeholders is not made: say which are missing.
    form.message = "ERROR!!\r\nThe working directory\r\n " TALVERN_WORK_SPACE_NAME
                   "\r\nis incomplete:";
    log.append_to(form.message);
    return;
  }
  remove_stale_temporaries(ws);
  form.message =
      "The working directory\r\n " TALVERN_WORK_SPACE_NAME "\r\nwas made. (Previous data were protected.)";
}

bool claim_work_space(const WorkSpace& ws, WorkSpaceLock& lock, MainFormState& form) {
  const bool held_before = lock.held();
  if (lock.acquire(ws) == WorkSpaceLock::State::refused) {
    form.message = lock_refused_message(lock);
    return false;
  }
  // What a killed program left is put in order once the lock is taken, and
  // again while a replacement stays unfinished.
  if ((held_before || !lock.held()) && !journal_pending(ws)) return true;
  const WorkSpaceRecovery recovery = recover_work_space(ws);
  if (recovery.lines.empty()) return true;
  form.message.clear();
  for (const std::string& line : recovery.lines)
    form.message += (form.message.empty() ? "" : "\r\n") + line;
  // The user sees what changed before any command acts on the work-space.
  return false;
}

void start_up(const WorkSpace& ws, WorkSpaceLock& lock, MainFormState& form) {
  claim_work_space(ws, lock, form);
}

}  // namespace talvern
