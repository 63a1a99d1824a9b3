#include "workspace/study.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>
#include <system_error>

#include "workspace/file_names.h"
#include "workspace/journal.h"
#include "workspace/row_io.h"
#include "workspace/user_save.h"

#ifndef TALVERN_VERSION
#define TALVERN_VERSION "unknown"
#endif

namespace talvern {
namespace {

// The manifest: one "key: value" a line; "file:" once for each entry.
std::string manifest_text(const std::string& name, const std::string& date,
                          const std::vector<std::string>& names) {
  std::string text = "TALVERN study\n";
  std::string one_line = name;
  std::replace(one_line.begin(), one_line.end(), '\n', ' ');
  std::replace(one_line.begin(), one_line.end(), '\r', ' ');
  text += "name: " + one_line + "\n";
  text += "date: " + date + "\n";
  text += "version: " TALVERN_VERSION "\n";
  for (const std::string& f : names) text += "file: " + f + "\n";
  return text;
}

struct ArchiveWriteDeleter {
  void operator()(archive* a) const { archive_write_free(a); }
};
struct ArchiveReadDeleter {
  void operator()(archive* a) const { archive_read_free(a); }
};

la_ssize_t append_to_string(archive*, void* data, const void* buf, size_t n) {
  static_cast<std::string*>(data)->append(static_cast<const char*>(buf), n);
  return static_cast<la_ssize_t>(n);
}

bool add_entry(archive* a, const std::string& name, const std::string& content,
               std::time_t when) {
  std::unique_ptr<archive_entry, void (*)(archive_entry*)> e(archive_entry_new(),
                                                             archive_entry_free);
  archive_entry_set_pathname(e.get(), name.c_str());
  archive_entry_set_filetype(e.get(), AE_IFREG);
  archive_entry_set_perm(e.get(), 0644);
  archive_entry_set_size(e.get(), static_cast<la_int64_t>(content.size()));
  archive_entry_set_mtime(e.get(), when, 0);
  if (archive_write_header(a, e.get()) != ARCHIVE_OK) return false;
  if (!content.empty() &&
      archive_write_data(a, content.data(), content.size()) != static_cast<la_ssize_t>(content.size()))
    return false;
  return true;
}

// The time `when` in UTC, formatted by strftime.
std::string utc_text(std::time_t when, const char* format) {
  std::tm tm{};
  gmtime_r(&when, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, format, &tm);
  return buf;
}

std::string path_text(const std::filesystem::path& p) { return p.string(); }

}  // namespace

std::string iso_date_now() { return utc_text(std::time(nullptr), "%Y-%m-%dT%H:%M:%SZ"); }

std::filesystem::path free_backup_name(const std::filesystem::path& dir, std::time_t when) {
  const std::string base = "Backup_" + utc_text(when, "%Y%m%d-%H%M%S");
  std::filesystem::path p = dir / (base + kStudyExtension);
  // A name is free only when nothing, not even a broken link, has it.
  auto taken = [](const std::filesystem::path& q) {
    std::error_code ec;
    return std::filesystem::symlink_status(q, ec).type() != std::filesystem::file_type::not_found;
  };
  for (int i = 2; taken(p); ++i) p = dir / (base + "_" + std::to_string(i) + kStudyExtension);
  return p;
}

std::vector<std::string> work_space_files(const WorkSpace& ws) {
  std::vector<std::string> names;
  for (const char* f : files::kAll) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(ws.file(f), ec)) names.emplace_back(f);
  }
  return names;
}

std::string pack_study(const WorkSpace& ws, const std::vector<std::string>& names,
                       const std::string& name, const std::string& date, std::string& error) {
  std::vector<std::string> contents(names.size());
  for (std::size_t i = 0; i < names.size(); ++i)
    if (!read_text(ws.file(names[i].c_str()), contents[i])) {
      error = names[i] + " could not be read (" + std::strerror(errno) + ")";
      return {};
    }

  std::string out;
  std::unique_ptr<archive, ArchiveWriteDeleter> a(archive_write_new());
  archive_write_set_format_pax_restricted(a.get());
  archive_write_add_filter_gzip(a.get());
  // No padding to whole 10 KiB blocks: the archive ends with its last entry.
  archive_write_set_bytes_in_last_block(a.get(), 1);
  if (archive_write_open(a.get(), &out, nullptr, append_to_string, nullptr) != ARCHIVE_OK) {
    error = archive_error_string(a.get()) ? archive_error_string(a.get()) : "archive error";
    return {};
  }
  const std::time_t when = std::time(nullptr);
  bool ok = add_entry(a.get(), kStudyManifest, manifest_text(name, date, names), when);
  for (std::size_t i = 0; ok && i < names.size(); ++i)
    ok = add_entry(a.get(), names[i], contents[i], when);
  if (!ok || archive_write_close(a.get()) != ARCHIVE_OK) {
    error = archive_error_string(a.get()) ? archive_error_string(a.get()) : "archive error";
    return {};
  }
  return out;
}

namespace {

constexpr const char* kNoGzipTar = "it is no gzip compressed tar archive";
// The archive is read a block at a time, from memory as from a file.
constexpr std::size_t kBlock = std::size_t{64} << 10;

// Why an entry cannot belong to a study (it is no catalogue file, no plain
// file, named twice, or above the limits); empty when it may be read.
std::string entry_refusal(archive_entry* e, const std::string& name, bool is_manifest,
                          bool have_manifest, const Study& study, std::uint64_t total,
                          const StudyLimits& limits) {
  if (!is_manifest && !files::in_catalogue(name))
    return "it holds \"" + name + "\", which is no work-space file";
  // A sparse entry declares more than it holds; a study never has one.
  if (archive_entry_filetype(e) != AE_IFREG || archive_entry_hardlink(e) ||
      archive_entry_symlink(e) || archive_entry_sparse_count(e) > 0)
    return "its entry \"" + name + "\" is not a plain file";
  if ((is_manifest && have_manifest) ||
      std::any_of(study.files.begin(), study.files.end(),
                  [&](const Study::File& f) { return f.name == name; }))
    return "it holds \"" + name + "\" twice";
  const la_int64_t declared = archive_entry_size_is_set(e) ? archive_entry_size(e) : -1;
  const std::uint64_t entry_limit = is_manifest ? (std::uint64_t{1} << 20) : limits.entry_bytes;
  if (declared < 0 || static_cast<std::uint64_t>(declared) > entry_limit ||
      total + static_cast<std::uint64_t>(declared) > limits.total_bytes)
    return "its entry \"" + name + "\" is too large";
  return {};
}

// Why a study could not be read: the archive is no study (`error`), or the
// sink could not keep a file (`sink_error`, the system's reason).
struct ReadFailure {
  std::string error;
  int sink_error = 0;
};

// The bytes of the entry the archive stands at, handed to `put` a block at a
// time as they are unpacked: nothing is held for what an entry declares.
// False when the entry ends before its declared size, when all that is
// unpacked exceeds the limits' ratio to the archive bytes read so far, or
// when `put` refuses (errno set).
template <class Put>
bool read_entry_data(archive* a, const std::string& name, std::uint64_t declared,
                     std::uint64_t& total, const StudyLimits& limits, Put put,
                     ReadFailure& failure) {
  char block[kBlock];
  std::uint64_t got = 0;
  for (;;) {
    const la_ssize_t n = archive_read_data(a, block, sizeof block);
    if (n == 0) break;
    if (n < 0 || got + static_cast<std::uint64_t>(n) > declared) {
      failure.error = "its entry \"" + name + "\" is cut short";
      return false;
    }
    got += static_cast<std::uint64_t>(n);
    total += static_cast<std::uint64_t>(n);
    const auto packed =
        static_cast<std::uint64_t>(std::max<la_int64_t>(archive_filter_bytes(a, -1), 0));
    if (total > limits.ratio_from && total > limits.ratio * packed) {
      failure.error = "it unpacks to more than " + std::to_string(limits.ratio) +
                      " times its size";
      return false;
    }
    if (!put(std::string_view(block, static_cast<std::size_t>(n)))) {
      failure.sink_error = errno != 0 ? errno : EIO;
      return false;
    }
  }
  if (got != declared) {
    failure.error = "its entry \"" + name + "\" is cut short";
    return false;
  }
  return true;
}

// Reads every entry of the archive: the names of the work-space files into
// `study.files` and their bytes into `sink` (begin, append, end), the
// manifest's text into `manifest`. False at the first entry that cannot
// belong to a study or that the sink cannot keep.
template <class Sink>
bool read_entries(archive* a, Study& study, std::optional<std::string>& manifest, Sink& sink,
                  ReadFailure& failure, const StudyLimits& limits) {
  std::uint64_t total = 0;
  archive_entry* e = nullptr;
  for (bool first = true;; first = false) {
    const int r = archive_read_next_header(a, &e);
    // Only a tar archive compressed once by gzip is a study.
    if (first &&
        (archive_filter_count(a) != 2 || archive_filter_code(a, 0) != ARCHIVE_FILTER_GZIP)) {
      failure.error = kNoGzipTar;
      return false;
    }
    if (r == ARCHIVE_EOF) return true;
    if (r != ARCHIVE_OK) {
      failure.error = std::string("the archive is damaged (") +
                      (archive_error_string(a) ? archive_error_string(a) : "unreadable") + ")";
      return false;
    }
    const char* raw = archive_entry_pathname(e);
    const std::string name = raw ? raw : "";
    const bool is_manifest = name == kStudyManifest;
    if (std::string refused =
            entry_refusal(e, name, is_manifest, manifest.has_value(), study, total, limits);
        !refused.empty()) {
      failure.error = std::move(refused);
      return false;
    }
    const auto declared = static_cast<std::uint64_t>(archive_entry_size(e));
    if (is_manifest) {
      std::string text;
      auto keep = [&](std::string_view bytes) {
        text.append(bytes);
        return true;
      };
      if (!read_entry_data(a, name, declared, total, limits, keep, failure)) return false;
      manifest = std::move(text);
      continue;
    }
    study.files.push_back({name, {}});
    auto put = [&](std::string_view bytes) { return sink.append(bytes); };
    if (!sink.begin(name)) failure.sink_error = errno != 0 ? errno : EIO;
    if (failure.sink_error != 0 ||
        !read_entry_data(a, name, declared, total, limits, put, failure))
      return false;
    if (!sink.end()) {
      failure.sink_error = errno != 0 ? errno : EIO;
      return false;
    }
  }
}

// The name, date and version the manifest gives the study, and the files
// it lists into `listed`; false when the text is no study manifest.
bool read_manifest(const std::string& manifest, Study& study, std::vector<std::string>& listed) {
  std::size_t pos = 0;
  bool first = true;
  while (pos < manifest.size()) {
    std::size_t end = manifest.find('\n', pos);
    if (end == std::string::npos) end = manifest.size();
    const std::string_view line(manifest.data() + pos, end - pos);
    pos = end + 1;
    if (first) {
      first = false;
      if (line != "TALVERN study") break;
      continue;
    }
    const std::size_t colon = line.find(": ");
    if (colon == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, colon), value = line.substr(colon + 2);
    if (key == "name") study.name = value;
    else if (key == "date") study.date = value;
    else if (key == "version") study.version = value;
    else if (key == "file") listed.emplace_back(value);
  }
  return !first && manifest.starts_with("TALVERN study\n");
}

// Reads a study from the archive `a`, opened on its source: the entries,
// then the manifest, which must list exactly the files the archive holds,
// at least one. The files end in catalogue order.
template <class Sink>
bool read_study(archive* a, Study& study, Sink& sink, ReadFailure& failure,
                const StudyLimits& limits) {
  std::optional<std::string> manifest;
  if (!read_entries(a, study, manifest, sink, failure, limits)) return false;
  if (!manifest) {
    failure.error = std::string("it holds no ") + kStudyManifest;
    return false;
  }
  // The manifest names the study and lists exactly the files it holds.
  std::vector<std::string> listed;
  if (!read_manifest(*manifest, study, listed)) {
    failure.error = std::string(kStudyManifest) + " is no study manifest";
    return false;
  }
  std::vector<std::string> held;
  for (const Study::File& f : study.files) held.push_back(f.name);
  std::sort(listed.begin(), listed.end());
  std::sort(held.begin(), held.end());
  if (listed != held) {
    failure.error = std::string(kStudyManifest) + " does not list the files the archive holds";
    return false;
  }
  // TALVERN never saves an empty work-space; opening one would empty this one.
  if (held.empty()) {
    failure.error = "it holds no work-space file";
    return false;
  }
  std::sort(study.files.begin(), study.files.end(), [](const Study::File& x, const Study::File& y) {
    return files::catalogue_index(x.name) < files::catalogue_index(y.name);
  });
  return true;
}

// A reader of tar archives and of gzip, nothing else.
std::unique_ptr<archive, ArchiveReadDeleter> tar_gz_reader() {
  std::unique_ptr<archive, ArchiveReadDeleter> a(archive_read_new());
  archive_read_support_filter_gzip(a.get());
  archive_read_support_format_tar(a.get());
  return a;
}

// An archive held in memory, handed to libarchive a block at a time as a
// file is, so that what is unpacked is weighed against what was read.
struct MemorySource {
  std::string_view bytes;
  std::size_t at = 0;
};
la_ssize_t next_block(archive*, void* data, const void** block) {
  auto* source = static_cast<MemorySource*>(data);
  const std::size_t n = std::min(kBlock, source->bytes.size() - source->at);
  *block = source->bytes.data() + source->at;
  source->at += n;
  return static_cast<la_ssize_t>(n);
}

// Keeps the files' bytes in `study.files`.
struct InMemory {
  Study& study;
  bool begin(const std::string&) { return true; }
  bool append(std::string_view bytes) {
    study.files.back().content.append(bytes);
    return true;
  }
  bool end() { return true; }
};

// Keeps nothing: the archive is only checked.
struct Nowhere {
  bool begin(const std::string&) { return true; }
  bool append(std::string_view) { return true; }
  bool end() { return true; }
};

}  // namespace

bool unpack_study(std::string_view bytes, Study& study, std::string& error,
                  const StudyLimits& limits) {
  study = Study();
  auto a = tar_gz_reader();
  MemorySource source{bytes};
  if (archive_read_open(a.get(), &source, nullptr, next_block, nullptr) != ARCHIVE_OK) {
    error = kNoGzipTar;
    return false;
  }
  InMemory sink{study};
  ReadFailure failure;
  if (read_study(a.get(), study, sink, failure, limits)) return true;
  error = failure.error;
  return false;
}

std::string SaveStudy(const WorkSpace& ws, const std::filesystem::path& file,
                      const std::string& name) {
  const std::vector<std::string> names = work_space_files(ws);
  if (names.empty())
    return "ERROR!!\r\nThe work-space\r\n " + path_text(ws.dir()) +
           "\r\nholds no file to save as a study.";
  // The study never takes the place of a work-space file.
  std::error_code ec;
  if (files::in_catalogue(file.filename().string()) &&
      std::filesystem::weakly_canonical(std::filesystem::absolute(file).parent_path(), ec) ==
          std::filesystem::weakly_canonical(ws.dir(), ec))
    return "ERROR!!\r\n" + path_text(file) +
           "\r\nis a file of the work-space; save the study under another name.";
  std::string error;
  const std::string bytes = pack_study(ws, names, name, iso_date_now(), error);
  if (bytes.empty())
    return "ERROR!!\r\nThe study could not be saved: " + error + ".";
  const UserSave save = save_user_file(ws.dir(), file, bytes);
  if (!save.refusal.empty()) return save.refusal;
  if (!save)
    return "ERROR!!\r\nThe study could not be written into\r\n " + path_text(file) + "\r\n(" +
           std::strerror(errno) + ").";
  return "The study \"" + name + "\" with " + std::to_string(names.size()) +
         " files of the work-space\r\nwas saved as\r\n " + path_text(file) + ".";
}

namespace {

// Reads the study `file` into `sink`. False with `message` the "ERROR!!"
// text when the file is missing, unreadable, larger than an archive may be
// or no study, or with `sink_error` set when the sink could not keep a file.
template <class Sink>
bool read_study_file(const std::filesystem::path& file, const StudyLimits& limits, Study& study,
                     Sink& sink, std::string& message, int& sink_error) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(file, ec);
  std::string reason = ec                           ? ec.message()
                       : size > limits.archive_bytes ? "the file is too large"
                                                     : "";
  const int fd = reason.empty() ? ::open(file.c_str(), O_RDONLY | O_CLOEXEC) : -1;
  if (reason.empty() && fd < 0) reason = std::strerror(errno);
  if (!reason.empty()) {
    message =
        "ERROR!!\r\nThe study\r\n " + path_text(file) + "\r\ncannot be opened (" + reason + ").";
    return false;
  }
  study = Study();
  ReadFailure failure;
  bool read = false;
  {
    auto a = tar_gz_reader();
    if (archive_read_open_fd(a.get(), fd, kBlock) == ARCHIVE_OK)
      read = read_study(a.get(), study, sink, failure, limits);
    else
      failure.error = kNoGzipTar;
  }
  ::close(fd);
  if (read) return true;
  sink_error = failure.sink_error;
  if (sink_error == 0)
    message = "ERROR!!\r\n " + path_text(file) + "\r\nis no TALVERN study: " + failure.error +
              ".\r\nThe work-space was not changed.";
  return false;
}

// The message when the study's files could not be written into the
// work-space, which was left as it was.
std::string not_written(const WorkSpace& ws, const std::string& reason) {
  return "ERROR!!\r\nThe files of the study could not be written into\r\n " + path_text(ws.dir()) +
         "\r\n(" + reason + "), so the study was not opened.\r\nThe work-space was not changed.";
}

// Keeps the work-space files `present` as a study in the backup folder
// before `study` replaces them; its path goes into `backup`. The "ERROR!!"
// text when it could not be written, else empty.
std::string back_up_work_space(const WorkSpace& ws, const std::vector<std::string>& present,
                               const Study& study, std::filesystem::path& backup) {
  const std::filesystem::path dir = ws.dir() / kStudyBackupFolder;
  std::error_code dir_ec;
  std::filesystem::create_directories(dir, dir_ec);
  const std::filesystem::path file = free_backup_name(dir, std::time(nullptr));
  std::string error;
  const std::string bytes = pack_study(ws, present, "Backup before " + study.name, iso_date_now(),
                                       error);
  if (bytes.empty() || write_text_atomic(file, bytes) != WriteStatus::ok) {
    // The folder that could not be made is the reason, not the file missing in it.
    const std::string reason = bytes.empty() ? error
                               : dir_ec      ? dir_ec.message()
                                             : std::string(std::strerror(errno));
    return "ERROR!!\r\nThe backup of the work-space could not be written into\r\n " +
           path_text(file) + "\r\n(" + reason +
           "), so the study was not opened.\r\nThe work-space was not changed.";
  }
  backup = file;
  return {};
}

bool holds_file(const Study& study, const std::string& name) {
  return std::any_of(study.files.begin(), study.files.end(),
                     [&](const Study::File& f) { return f.name == name; });
}

}  // namespace

OpenStudyResult OpenStudy(const WorkSpace& ws, const std::filesystem::path& file, bool replace,
                          const StudyLimits& limits) {
  OpenStudyResult result;
  Study study;
  int sink_error = 0;
  const std::vector<std::string> present = work_space_files(ws);
  // The archive is checked before the user is asked, and before a
  // work-space folder is made for it.
  if ((!present.empty() && !replace) || !ws.dir_exists()) {
    Nowhere nowhere;
    if (!read_study_file(file, limits, study, nowhere, result.message, sink_error))
      return result;
    if (!present.empty()) {
      result.needs_replace = true;
      result.message = "CAUTION!!\r\nThe work-space holds files. Opening the study \"" +
                       study.name + "\" replaces them;\r\na backup of them is kept.";
      return result;
    }
  }

  // The study is unpacked into a staging folder, what it replaces backed up,
  // and only then are its files put in place, as a whole.
  std::error_code ec;
  std::filesystem::create_directories(ws.dir(), ec);
  StagedFiles staged(ws);
  if (!staged.make()) return {not_written(ws, std::strerror(errno)), false, {}};
  if (!read_study_file(file, limits, study, staged, result.message, sink_error)) {
    if (result.message.empty()) result.message = not_written(ws, std::strerror(sink_error));
    return result;
  }
  if (!present.empty()) {
    result.message = back_up_work_space(ws, present, study, result.backup);
    if (!result.message.empty()) return result;
    journal_step("backed up");
  }
  std::vector<std::string> remove;
  for (const std::string& name : present)
    if (!holds_file(study, name)) remove.push_back(name);
  const StagedFiles::Outcome placed = staged.put_in_place(
      remove, result.backup.filename().string(), "Opening the study \"" + study.name + "\"");
  if (!placed.done) {
    result.message = placed.recovery.empty() ? not_written(ws, placed.failure.text())
                                              : placed.recovery.front();
    return result;
  }
  result.message = "The study \"" + study.name + "\" of " + study.date + "\r\nwas opened into " +
                   path_text(ws.dir()) + " (" + std::to_string(study.files.size()) + " files).";
  if (!result.backup.empty())
    result.message += "\r\nWhat it replaced is kept in\r\n " + path_text(result.backup) + ".";
  return result;
}

std::vector<std::string> push_recent_study(std::vector<std::string> list, const std::string& file,
                                           std::size_t max) {
  list.erase(std::remove(list.begin(), list.end(), file), list.end());
  list.insert(list.begin(), file);
  if (list.size() > max) list.resize(max);
  return list;
}

}  // namespace talvern
