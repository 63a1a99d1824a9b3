#pragma once
// Reading and writing of work-space row files.
//
// Values are separated by any white space and taken k at a time, with the
// meaning of formatted stream extraction (a leading '+' is accepted, a
// number ends where its text ends, "1e" or "inf" is not a number).
//
// Row count rule: row extraction is attempted until the end of the file
// has been met, and the number of rows is the number of attempts minus
// one. A last row whose final value runs into the end of the file (no
// line break after it) is read into memory but not counted.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace talvern {

// Most rows a row array holds, unless its reader names another capacity.
constexpr std::size_t kRowCapacity = 5000;

// Sequential extraction of numbers from a text held in memory.
class NumberScanner {
 public:
  explicit NumberScanner(std::string_view text) : text_(text) {}

  // Extract one floating-point value. Returns false when the value cannot
  // be read (end of text or a token that is not a number); the scanner is
  // then failed and every later extraction fails too.
  bool next(double& value);
  // Extract one integer value, as integer extraction of a stream does
  // ("1.5" gives 1 and leaves ".5").
  bool next_int(long& value);
  // Skip one white-space separated word (used for file headers).
  bool skip_word();

  // True once an extraction has run into the end of the text.
  bool eof() const { return eof_; }
  // True once an extraction failed on something that is not a number.
  bool bad_token() const { return failed_ && !at_end_failure_; }
  bool failed() const { return failed_; }
  // 1-based line number of the current position.
  std::size_t line() const;

 private:
  bool skip_space();
  std::string_view text_;
  std::size_t pos_ = 0;
  bool eof_ = false;
  bool failed_ = false;
  bool at_end_failure_ = false;
};

// Result of reading a multi-row file.
struct RowsRead {
  std::vector<double> values;   // rows * k values, row-major
  std::size_t rows = 0;         // rows by the row count rule, at most the capacity
  std::size_t k = 0;
  bool opened = false;          // false: the file could not be opened
  bool bad_token = false;       // reading stopped at a token that is not a number
  std::size_t bad_line = 0;     // 1-based line of that token
  bool capped = false;          // the file holds more rows than the capacity
  bool last_row_dropped = false;  // a whole last row ran into the end of the file

  double at(std::size_t row, std::size_t col) const { return values[row * k + col]; }
};

// Reads rows of k values from text already in memory.
RowsRead parse_rows(std::string_view text, std::size_t k,
                    std::size_t capacity = kRowCapacity,
                    std::size_t skip_words = 0);

// Reads rows of k values from a file. A missing file reads as zero rows
// with `opened` false.
RowsRead read_rows(const std::filesystem::path& file, std::size_t k,
                   std::size_t capacity = kRowCapacity,
                   std::size_t skip_words = 0);

// Reads a one-row file: extracts up to `k` values once. Returns the number
// of values read (fewer than k when the file is missing, short or holds a
// token that is not a number); unread entries of `out` are left as they are.
std::size_t read_one_row(const std::filesystem::path& file, double* out, std::size_t k);

// Reads the whole file into `text`. False when it cannot be opened.
bool read_text(const std::filesystem::path& file, std::string& text);

// Formats rows of k values: "%g" six digits, one TAB between values, a
// line break after every row.
std::string format_rows(const double* values, std::size_t rows, std::size_t k);

// True when none of the n values is NaN or infinite.
bool all_finite(const double* values, std::size_t n);

// Outcome of a write; a caller must look at it or pass it over explicitly.
enum class [[nodiscard]] WriteStatus { ok, not_finite, cannot_write };

// Passes over the outcome of a write whose failure is already said
// otherwise (emptying an output after an error). A command's own writes go
// through a WriteLog (workspace/write_log.h), which says each failure.
inline void pass_over(WriteStatus) {}

// Replaces `file` by `content` as a whole: the text goes to a temporary
// file in the same directory (see is_temporary_name), is flushed to the
// disk, and the file is then renamed over the target and the rename
// flushed too. A reader never sees a half-written file, and after a crash
// or a power loss the target holds either its former or its new content.
// When it returns cannot_write, errno holds the system's reason. A file of
// the user's is saved with save_user_file (workspace/user_save.h) instead.
WriteStatus write_text_atomic(const std::filesystem::path& file, std::string_view content);

// Flushes the names of the directory `dir` (files made, renamed or removed
// in it) to the disk; a file system that refuses is let be.
void flush_directory(const std::filesystem::path& dir);

// Writes rows of k values (see format_rows) atomically. Refuses, writing
// nothing, when a value is NaN or infinite.
WriteStatus write_rows(const std::filesystem::path& file, const double* values,
                       std::size_t rows, std::size_t k);

// True for the name of a temporary file of write_text_atomic: "." + the
// target's name + "." + six letters or digits.
bool is_temporary_name(std::string_view name);

}  // namespace talvern
