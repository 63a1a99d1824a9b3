#pragma once
// Studies: the whole work-space under a name in one archive file (a gzip
// compressed tar file), saved and opened again byte for byte.

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "workspace/workspace.h"

namespace talvern {

// Extension of a study file.
inline constexpr const char* kStudyExtension = ".talvern-study";
// Folder of the work-space that keeps what an opened study replaced.
inline constexpr const char* kStudyBackupFolder = "Study_Backups";
// Name of the manifest entry of a study archive.
inline constexpr const char* kStudyManifest = "TALVERN_STUDY.txt";

// What an archive may hold before it is refused as no study. The largest
// work-space file is RIXS_Plane.DAT: 2,000,000 points of five values, at
// most about 140 MB.
struct StudyLimits {
  std::uint64_t entry_bytes = std::uint64_t{256} << 20;   // one work-space file
  std::uint64_t total_bytes = std::uint64_t{512} << 20;   // all of them
  std::uint64_t archive_bytes = std::uint64_t{1} << 30;   // the archive file itself
  // Past `ratio_from` bytes unpacked, what is unpacked may be at most `ratio`
  // times the archive bytes read so far: the text of a work-space compresses
  // about 5 to 10 times, a bomb of zeros about 1000 times.
  std::uint64_t ratio = 100;
  std::uint64_t ratio_from = std::uint64_t{1} << 20;
};

// A study as read from its archive.
struct Study {
  std::string name;
  std::string date;     // ISO 8601, UTC
  std::string version;  // of the program that saved it
  struct File {
    std::string name;     // a work-space file name of the catalogue
    std::string content;  // byte for byte
  };
  std::vector<File> files;  // in catalogue order
};

// The catalogue files the work-space holds, in catalogue order.
std::vector<std::string> work_space_files(const WorkSpace& ws);

// The archive bytes of a study holding the work-space files `names` (as
// work_space_files lists them). Empty with `error` set when a file cannot
// be read.
std::string pack_study(const WorkSpace& ws, const std::vector<std::string>& names,
                       const std::string& name, const std::string& date, std::string& error);

// Reads a study archive held in memory; false with `error` set when it is
// not a study: not a tar archive compressed by gzip, an entry that is not a
// plain file named by the catalogue (no folders, no paths, no links, no
// sparse files), an entry named twice, an entry or the whole above the
// limits, no manifest, a manifest whose file list differs from the entries,
// or no work-space file. Entries are unpacked a block at a time: nothing is
// allocated for what an entry declares, only for what was unpacked.
bool unpack_study(std::string_view archive, Study& study, std::string& error,
                  const StudyLimits& limits = {});

// "Save Study As...": every catalogue file of the work-space, the study's
// name, the date and the program version into `file`, replaced as a whole.
// Returns the message-pane text ("ERROR!!" when nothing was saved).
std::string SaveStudy(const WorkSpace& ws, const std::filesystem::path& file,
                      const std::string& name);

struct OpenStudyResult {
  std::string message;
  // The work-space holds files and `replace` was false: nothing was done;
  // ask the user and call again with `replace`.
  bool needs_replace = false;
  std::filesystem::path backup;  // where what was replaced is kept; empty when nothing was
};

// "Open Study...": checks the archive, unpacks it into a staging folder of
// the work-space, keeps the work-space's catalogue files as a study in the
// backup folder, then puts the study's files in place and removes the
// catalogue files the study does not hold, as a whole (workspace/journal.h),
// so that the work-space is as it was when the study was saved.
OpenStudyResult OpenStudy(const WorkSpace& ws, const std::filesystem::path& file, bool replace,
                          const StudyLimits& limits = {});

// The recent-studies list after `file` was saved or opened: it comes
// first, an older entry of the same file goes, at most `max` remain.
std::vector<std::string> push_recent_study(std::vector<std::string> list, const std::string& file,
                                           std::size_t max = 4);

// The present time as an ISO 8601 UTC text ("2026-12-06T06:36:55Z").
std::string iso_date_now();

// A name in `dir` that no file has for a backup made at `when`:
// "Backup_<UTC date-time>.talvern-study", "_2", "_3"... added when taken.
std::filesystem::path free_backup_name(const std::filesystem::path& dir, std::time_t when);

}  // namespace talvern
