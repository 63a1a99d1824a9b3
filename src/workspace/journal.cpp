#include "workspace/journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "workspace/file_names.h"
#include "workspace/lock.h"
#include "workspace/row_io.h"
#include "workspace/study.h"  // the backup folder and the extension of its studies

namespace talvern {
namespace {

namespace fs = std::filesystem;

std::uint32_t crc_of(std::uint32_t crc, std::string_view bytes) {
  return static_cast<std::uint32_t>(
      ::crc32_z(crc, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

// What a journal records: the staged files with their size and checksum
// and whether the work-space held them before, the work-space files that
// go, and whether the replacement is being undone.
struct Journal {
  std::string what;
  std::string staging;  // folder name in the work-space
  std::string backup;   // file name in Study_Backups, for the message; empty: none
  bool undoing = false;
  struct Put {
    std::string name;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    bool had = false;  // the work-space held a file of that name
  };
  std::vector<Put> put;
  std::vector<std::string> remove;

  bool names(std::string_view name) const {
    return std::any_of(put.begin(), put.end(), [&](const Put& p) { return p.name == name; }) ||
           std::find(remove.begin(), remove.end(), name) != remove.end();
  }
};

constexpr std::string_view kFirstLine = "TALVERN journal";
// The folder of the staging folder that takes the files replaced or removed
// until the journal is closed, so that an undo can put them back.
constexpr const char* kReplaced = "replaced";

std::string journal_text(const Journal& j) {
  std::string t(kFirstLine);
  t += "\nwhat: " + j.what + "\nstaging: " + j.staging + "\n";
  if (!j.backup.empty()) t += "backup: " + j.backup + "\n";
  t += j.undoing ? "state: undo\n" : "state: finish\n";
  for (const Journal::Put& p : j.put)
    t += "put: " + std::to_string(p.size) + " " + std::to_string(p.crc) + " " +
         (p.had ? "1 " : "0 ") + p.name + "\n";
  for (const std::string& name : j.remove) t += "remove: " + name + "\n";
  return t;
}

// The number at the start of `text`, which then starts after it and one space.
template <class T>
bool take_number(std::string_view& text, T& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end == text.data() + text.size() || *end != ' ') return false;
  text.remove_prefix(static_cast<std::size_t>(end - text.data()) + 1);
  return true;
}

bool is_backup_name(std::string_view name) {
  return name.size() > std::strlen(kStudyExtension) && name.find('/') == std::string_view::npos &&
         name.front() != '.' && name.ends_with(kStudyExtension);
}

// The journal of `text`; false when it is none, or names a file outside the
// catalogue (or twice), a folder that is no staging folder or a backup
// outside Study_Backups.
bool parse_journal(std::string_view text, Journal& j) {
  bool first = true, have_staging = false, have_state = false;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (first) {
      if (line != kFirstLine) return false;
      first = false;
      continue;
    }
    const std::size_t colon = line.find(": ");
    if (colon == std::string_view::npos) return false;
    const std::string_view key = line.substr(0, colon);
    std::string_view value = line.substr(colon + 2);
    if (key == "what") {
      j.what = value;
    } else if (key == "staging") {
      if (!value.starts_with(files::kStagingPrefix) ||
          value.size() != files::kStagingPrefix.size() + 6 || !is_temporary_name(value))
        return false;
      j.staging = value;
      have_staging = true;
    } else if (key == "backup") {
      if (!is_backup_name(value)) return false;
      j.backup = value;
    } else if (key == "state") {
      if (value != "finish" && value != "undo") return false;
      j.undoing = value == "undo";
      have_state = true;
    } else if (key == "put" || key == "remove") {
      Journal::Put p;
      int had = 0;
      if (key == "put" && (!take_number(value, p.size) || !take_number(value, p.crc) ||
                           !take_number(value, had) || (had != 0 && had != 1)))
        return false;
      if (!files::in_catalogue(value) || j.names(value)) return false;
      p.name = value;
      p.had = had == 1;
      if (key == "put") j.put.push_back(std::move(p));
      else j.remove.push_back(std::move(p.name));
    } else {
      return false;
    }
  }
  return !first && have_staging && have_state;
}

bool present(const fs::path& file) {
  std::error_code ec;
  return fs::symlink_status(file, ec).type() != fs::file_type::not_found;
}

// True when `file` holds `size` bytes with checksum `crc`.
bool holds(const fs::path& file, std::uint64_t size, std::uint32_t crc) {
  std::string bytes;
  return read_text(file, bytes) && bytes.size() == size && crc_of(0, bytes) == crc;
}

// Renames `from` to `to` and names the step; false with `why` set.
bool move(const fs::path& from, const fs::path& to, const std::string& name, const char* step,
          JournalFailure& why) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    why = {name, errno};
    return false;
  }
  journal_step(step + (" " + name));
  return true;
}

// The last steps of a replacement, finished or undone: the renames reach the
// disk, the staging folder goes (with what was replaced), then the journal.
bool close_journal(const WorkSpace& ws, const Journal& j, JournalFailure& why) {
  flush_directory(ws.dir());
  std::error_code ec;
  fs::remove_all(ws.dir() / j.staging, ec);  // what stays is a leftover, removed later
  journal_step("staging removed");
  if (::unlink(ws.file(files::kJournal).c_str()) != 0 && errno != ENOENT) {
    why = {files::kJournal, errno};
    return false;
  }
  flush_directory(ws.dir());
  journal_step("journal removed");
  return true;
}

// Moves each staged file into place, setting aside the file it replaces (a
// staged file no longer there was moved: the work-space file holds what the
// journal says), sets aside the files that go, and closes the journal.
// False with `why` when a staged file is lost or a file cannot be moved.
bool finish(const WorkSpace& ws, const Journal& j, JournalFailure& why) {
  const fs::path staging = ws.dir() / j.staging, replaced = staging / kReplaced;
  for (const Journal::Put& p : j.put) {
    const fs::path staged = staging / p.name, to = ws.file(p.name.c_str());
    if (present(staged)) {
      if (present(to) && !move(to, replaced / p.name, p.name, "set aside", why)) return false;
      if (!move(staged, to, p.name, "moved", why)) return false;
    } else if (!holds(to, p.size, p.crc)) {
      why = {p.name, ENOENT, "missing from " + staging.string()};
      return false;
    }
  }
  for (const std::string& name : j.remove) {
    const fs::path from = ws.file(name.c_str());
    if (present(from) && !move(from, replaced / name, name, "removed", why)) return false;
  }
  return close_journal(ws, j, why);
}

// Puts back what the journal's replacement replaced, from the files set
// aside, and removes the files the work-space did not hold. The journal is
// marked first, so that an undo cut short is taken up again rather than
// finished.
bool undo(const WorkSpace& ws, Journal& j, JournalFailure& why) {
  if (!j.undoing) {
    j.undoing = true;
    if (write_text_atomic(ws.file(files::kJournal), journal_text(j)) != WriteStatus::ok) {
      why = {files::kJournal, errno};
      return false;
    }
    journal_step("undo marked");
  }
  const fs::path replaced = ws.dir() / j.staging / kReplaced;
  // A file set aside goes back; one not set aside never left, or is back.
  auto put_back = [&](const std::string& name) {
    const fs::path aside = replaced / name;
    return !present(aside) || move(aside, ws.file(name.c_str()), name, "put back", why);
  };
  for (const Journal::Put& p : j.put) {
    if (!put_back(p.name)) return false;
    std::error_code ec;
    if (!p.had && fs::remove(ws.file(p.name.c_str()), ec)) journal_step("removed " + p.name);
    if (ec) {
      why = {p.name, ec.value()};
      return false;
    }
  }
  for (const std::string& name : j.remove)
    if (!put_back(name)) return false;
  return close_journal(ws, j, why);
}

std::string backup_text(const WorkSpace& ws, const Journal& j) {
  if (j.backup.empty()) return {};
  return "\r\nWhat it replaced is kept in\r\n " +
         (ws.dir() / kStudyBackupFolder / j.backup).string() + ".";
}

std::string unsettled_message(const WorkSpace& ws, const Journal& j, const JournalFailure& why) {
  return "ERROR!!\r\n" + j.what + " could not be finished nor undone (" + why.text() +
         "),\r\nso the work-space may hold files of both. No command runs on it until\r\n"
         "this is settled; each command tries again." +
         backup_text(ws, j);
}

// Finishes or undoes the replacement a journal of the work-space records.
void settle_journal(const WorkSpace& ws, WorkSpaceRecovery& r) {
  if (!journal_pending(ws)) return;
  const fs::path file = ws.file(files::kJournal);
  std::string text;
  Journal j;
  if (!read_text(file, text) || !parse_journal(text, j)) {
    r.blocked = true;
    r.lines.push_back("ERROR!!\r\n" + file.string() +
                      "\r\nis no journal of TALVERN, so a replacement of work-space files that was "
                      "interrupted\r\ncannot be finished. No command runs on this work-space "
                      "until that file is removed;\r\nwhat a study replaced is kept in " +
                      (ws.dir() / kStudyBackupFolder).string() + ".");
    return;
  }
  JournalFailure why;
  if (!j.undoing && finish(ws, j, why)) {
    r.lines.push_back("CAUTION!!\r\n" + j.what +
                      " was interrupted before it ended; it has now been finished." +
                      backup_text(ws, j));
    return;
  }
  JournalFailure undo_why;
  if (undo(ws, j, undo_why)) {
    r.lines.push_back("CAUTION!!\r\n" + j.what + " was interrupted and could not be finished" +
                      (why.file.empty() ? std::string() : " (" + why.text() + ")") +
                      ";\r\nthe work-space was put back as it was before.");
    return;
  }
  r.blocked = true;
  r.lines.push_back(unsettled_message(ws, j, undo_why));
}

}  // namespace

std::string JournalFailure::text() const {
  return file + ": " + (detail.empty() ? std::string(std::strerror(error)) : detail);
}

StagedFiles::~StagedFiles() {
  if (fd_ >= 0) ::close(fd_);
  std::error_code ec;
  if (!dir_.empty() && !placed_) fs::remove_all(dir_, ec);
}

bool StagedFiles::make() {
  std::string name = (ws_.dir() / (std::string(files::kStagingPrefix) + "XXXXXX")).string();
  if (!::mkdtemp(name.data())) return false;
  dir_ = name;
  return true;
}

bool StagedFiles::begin(const std::string& name) {
  fd_ = ::open((dir_ / name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd_ < 0) return false;
  // The mode of the file it replaces, as write_text_atomic keeps it.
  struct stat old {};
  if (::stat(ws_.file(name.c_str()).c_str(), &old) == 0) ::fchmod(fd_, old.st_mode & 07777);
  files_.push_back({name, 0, crc_of(0, {})});
  return true;
}

bool StagedFiles::append(std::string_view bytes) {
  File& f = files_.back();
  f.size += bytes.size();
  f.crc = crc_of(f.crc, bytes);
  while (!bytes.empty()) {
    const ssize_t put = ::write(fd_, bytes.data(), bytes.size());
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

bool StagedFiles::end() {
  const bool flushed = ::fdatasync(fd_) == 0;
  const int reason = errno;
  const bool closed = ::close(fd_) == 0;
  fd_ = -1;
  if (!flushed) errno = reason;
  journal_step("staged " + files_.back().name);
  return flushed && closed;
}

StagedFiles::Outcome StagedFiles::put_in_place(const std::vector<std::string>& remove,
                                               const std::string& backup,
                                               const std::string& what) {
  Outcome out;
  // A folder that stands where a file goes cannot be replaced by it.
  for (const File& f : files_) {
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(ws_.file(f.name.c_str()), ec))) {
      out.failure = {f.name, EISDIR};
      return out;
    }
  }
  if (::mkdir((dir_ / kReplaced).c_str(), 0700) != 0) {
    out.failure = {kReplaced, errno};
    return out;
  }
  // The staged files and their folder reach the disk before the journal
  // names them.
  flush_directory(dir_);
  flush_directory(ws_.dir());
  Journal j;
  j.what = what;
  std::replace(j.what.begin(), j.what.end(), '\n', ' ');
  std::replace(j.what.begin(), j.what.end(), '\r', ' ');
  j.staging = dir_.filename().string();
  j.backup = backup;
  for (const File& f : files_)
    j.put.push_back({f.name, f.size, f.crc, present(ws_.file(f.name.c_str()))});
  j.remove = remove;
  if (write_text_atomic(ws_.file(files::kJournal), journal_text(j)) != WriteStatus::ok) {
    out.failure = {files::kJournal, errno};
    return out;
  }
  placed_ = true;  // the journal has the staging folder now
  journal_step("journal written");
  if (finish(ws_, j, out.failure)) {
    out.done = true;
    return out;
  }
  JournalFailure undo_why;
  if (undo(ws_, j, undo_why)) return out;  // put back: nothing changed
  out.recovery.push_back(unsettled_message(ws_, j, undo_why));
  return out;
}

WorkSpaceRecovery recover_work_space(const WorkSpace& ws) {
  WorkSpaceRecovery r;
  settle_journal(ws, r);
  remove_stale_temporaries(ws);
  return r;
}

bool journal_pending(const WorkSpace& ws) { return present(ws.file(files::kJournal)); }

}  // namespace talvern
