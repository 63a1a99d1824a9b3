#include "workspace/study.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>
#include <system_error>

#include "workspace/file_names.h"
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

// The present time in UTC, formatted by strftime.
std::string utc_now(const char* format) {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, format, &tm);
  return buf;
}

// A backup file name in `dir` not taken yet.
std::filesystem::path free_backup_name(const std::filesystem::path& dir) {
  const std::string base = "Backup_" + utc_now("%Y%m%d-%H%M%S");
  std::filesystem::path p = dir / (base + kStudyExtension);
  std::error_code ec;
  for (int i = 2; std::filesystem::exists(p, ec); ++i)
    p = dir / (base + "_" + std::to_string(i) + kStudyExtension);
  return p;
}

std::string path_text(const std::filesystem::path& p) { return p.string(); }

}  // namespace

std::string iso_date_now() { return utc_now("%Y-%m-%dT%H:%M:%SZ"); }

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

// Why an entry cannot belong to a study (it is no catalogue file, no plain
// file, named twice, or above the limits); empty when it may be read.
std::string entry_refusal(archive_entry* e, const std::string& name, bool is_manifest,
                          bool have_manifest, const Study& study, std::uint64_t total,
                          const StudyLimits& limits) {
  if (!is_manifest && !files::in_catalogue(name))
    return "it holds \"" + name + "\", which is no work-space file";
  if (archive_entry_filetype(e) != AE_IFREG || archive_entry_hardlink(e) ||
      archive_entry_symlink(e))
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

// The `size` bytes of the entry the archive stands at; false when it ends
// sooner.
bool read_entry_data(archive* a, std::size_t size, std::string& content) {
  content.resize(size);
  std::size_t got = 0;
  while (got < content.size()) {
    const la_ssize_t n = archive_read_data(a, content.data() + got, content.size() - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got == content.size();
}

// Reads every entry of the archive: the work-space files into
// `study.files`, the manifest's text into `manifest`. False with `error`
// set at the first entry that cannot belong to a study.
bool read_entries(archive* a, Study& study, std::optional<std::string>& manifest,
                  std::string& error, const StudyLimits& limits) {
  std::uint64_t total = 0;
  archive_entry* e = nullptr;
  for (;;) {
    const int r = archive_read_next_header(a, &e);
    if (r == ARCHIVE_EOF) return true;
    if (r != ARCHIVE_OK) {
      error = std::string("the archive is damaged (") +
              (archive_error_string(a) ? archive_error_string(a) : "unreadable") + ")";
      return false;
    }
    const char* raw = archive_entry_pathname(e);
    const std::string name = raw ? raw : "";
    const bool is_manifest = name == kStudyManifest;
    if (std::string refused =
            entry_refusal(e, name, is_manifest, manifest.has_value(), study, total, limits);
        !refused.empty()) {
      error = std::move(refused);
      return false;
    }
    std::string content;
    if (!read_entry_data(a, static_cast<std::size_t>(archive_entry_size(e)), content)) {
      error = "its entry \"" + name + "\" is cut short";
      return false;
    }
    total += content.size();
    if (is_manifest)
      manifest = std::move(content);
    else
      study.files.push_back({name, std::move(content)});
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

}  // namespace

bool unpack_study(std::string_view bytes, Study& study, std::string& error,
                  const StudyLimits& limits) {
  study = Study();
  std::unique_ptr<archive, ArchiveReadDeleter> a(archive_read_new());
  archive_read_support_filter_gzip(a.get());
  archive_read_support_format_tar(a.get());
  if (archive_read_open_memory(a.get(), bytes.data(), bytes.size()) != ARCHIVE_OK) {
    error = "it is no gzip compressed tar archive";
    return false;
  }
  std::optional<std::string> manifest;
  if (!read_entries(a.get(), study, manifest, error, limits)) return false;
  if (!manifest) {
    error = std::string("it holds no ") + kStudyManifest;
    return false;
  }

  // The manifest names the study and lists exactly the files it holds.
  std::vector<std::string> listed;
  if (!read_manifest(*manifest, study, listed)) {
    error = std::string(kStudyManifest) + " is no study manifest";
    return false;
  }
  std::vector<std::string> held;
  for (const Study::File& f : study.files) held.push_back(f.name);
  std::sort(listed.begin(), listed.end());
  std::sort(held.begin(), held.end());
  if (listed != held) {
    error = std::string(kStudyManifest) + " does not list the files the archive holds";
    return false;
  }
  std::sort(study.files.begin(), study.files.end(), [](const Study::File& x, const Study::File& y) {
    return files::catalogue_index(x.name) < files::catalogue_index(y.name);
  });
  return true;
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

// The bytes of the study file into `bytes`; the "ERROR!!" text when it is
// missing, unreadable or larger than an archive may be, else empty.
std::string read_study_file(const std::filesystem::path& file, const StudyLimits& limits,
                            std::string& bytes) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(file, ec);
  if (ec)
    return "ERROR!!\r\nThe study\r\n " + path_text(file) + "\r\ncannot be opened (" +
           ec.message() + ").";
  if (size > limits.archive_bytes || !read_text(file, bytes))
    return "ERROR!!\r\nThe study\r\n " + path_text(file) + "\r\ncannot be opened (" +
           (size > limits.archive_bytes ? std::string("the file is too large")
                                        : std::string(std::strerror(errno))) +
           ").";
  return {};
}

// Keeps the work-space files `present` as a study in the backup folder
// before `study` replaces them; its path goes into `backup`. The "ERROR!!"
// text when it could not be written, else empty.
std::string back_up_work_space(const WorkSpace& ws, const std::vector<std::string>& present,
                               const Study& study, std::filesystem::path& backup) {
  const std::filesystem::path dir = ws.dir() / kStudyBackupFolder;
  std::error_code dir_ec;
  std::filesystem::create_directories(dir, dir_ec);
  const std::filesystem::path file = free_backup_name(dir);
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

// Writes every file of the study into the work-space and removes the files
// `present` that the study does not hold; the files that failed, each with
// the system's reason.
std::vector<std::string> replace_work_space_files(const WorkSpace& ws, const Study& study,
                                                  const std::vector<std::string>& present) {
  std::vector<std::string> failed;
  for (const Study::File& f : study.files)
    if (write_text_atomic(ws.file(f.name.c_str()), f.content) != WriteStatus::ok)
      failed.push_back(f.name + " (" + std::strerror(errno) + ")");
  for (const std::string& name : present) {
    if (std::any_of(study.files.begin(), study.files.end(),
                    [&](const Study::File& f) { return f.name == name; }))
      continue;
    std::error_code ec;
    if (!std::filesystem::remove(ws.file(name.c_str()), ec) && ec)
      failed.push_back(name + " (" + ec.message() + ")");
  }
  return failed;
}

// The message once the study is opened, whole or (with `failed` files) in part.
std::string opened_message(const WorkSpace& ws, const Study& study,
                           const std::filesystem::path& backup,
                           const std::vector<std::string>& failed) {
  std::string text = "The study \"" + study.name + "\" of " + study.date + "\r\nwas opened into " +
                     path_text(ws.dir()) + " (" + std::to_string(study.files.size()) + " files).";
  if (!backup.empty()) text += "\r\nWhat it replaced is kept in\r\n " + path_text(backup) + ".";
  if (!failed.empty()) {
    std::string list;
    for (const std::string& f : failed) list += "\r\n " + f;
    text = "ERROR!!\r\nThe study was opened only in part; these files could not be "
           "written or removed:" + list +
           (backup.empty() ? std::string()
                           : "\r\nThe former work-space is kept in\r\n " + path_text(backup) + ".");
  }
  return text;
}

}  // namespace

OpenStudyResult OpenStudy(const WorkSpace& ws, const std::filesystem::path& file, bool replace,
                          const StudyLimits& limits) {
  OpenStudyResult result;
  std::string bytes;
  result.message = read_study_file(file, limits, bytes);
  if (!result.message.empty()) return result;
  Study study;
  std::string error;
  if (!unpack_study(bytes, study, error, limits)) {
    result.message = "ERROR!!\r\n " + path_text(file) + "\r\nis no TALVERN study: " + error +
                     ".\r\nThe work-space was not changed.";
    return result;
  }

  const std::vector<std::string> present = work_space_files(ws);
  if (!present.empty() && !replace) {
    result.needs_replace = true;
    result.message = "CAUTION!!\r\nThe work-space holds files. Opening the study \"" +
                     study.name + "\" replaces them;\r\na backup of them is kept.";
    return result;
  }

  std::error_code ec;
  std::filesystem::create_directories(ws.dir(), ec);
  if (!present.empty()) {
    result.message = back_up_work_space(ws, present, study, result.backup);
    if (!result.message.empty()) return result;
  }
  const std::vector<std::string> failed = replace_work_space_files(ws, study, present);
  result.message = opened_message(ws, study, result.backup, failed);
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
