#include "app/main_form.h"

#include <system_error>

#include "workspace/file_names.h"
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
  WriteLog log;
  for (const auto& [name, text] : placeholders)
    if (!ws.exists(name)) log.text(ws, name, text);

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
  if (lock.acquire(ws) != WorkSpaceLock::State::refused) return true;
  form.message = lock_refused_message(lock);
  return false;
}

void start_up(const WorkSpace& ws, WorkSpaceLock& lock, MainFormState& form) {
  if (claim_work_space(ws, lock, form) && lock.held()) remove_stale_temporaries(ws);
}

}  // namespace talvern
