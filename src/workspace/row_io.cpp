#include "workspace/row_io.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "workspace/number_text.h"

namespace talvern {

namespace {

// The calculations read, allocate and free the same few hundred kilobytes
// hundreds of times in a row. Keep freed heap memory instead of handing it
// back to the system after every call, which would cost a round of page
// faults (and, on some machines, TLB shootdowns) each time.
const bool kHeapTuned = [] {
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  mallopt(M_MMAP_THRESHOLD, 16 << 20);
  return true;
}();

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Converts a token that the scanner has delimited. The whole token must be
// consumed, as the stream's own conversion requires; an overflowing value is
// not a number, an underflowing one is taken as the C library gives it.
bool convert_double(std::string_view token, double& value) {
  if (!token.empty() && token.front() == '+') token.remove_prefix(1);
  if (token.empty() || token.front() == '+') return false;
  const char* first = token.data();
  const char* last = first + token.size();
  // `value` changes only when the whole token is a number: a reader leaves
  // the values it could not read as they were.
  double parsed = 0;
  auto res = std::from_chars(first, last, parsed, std::chars_format::general);
  if (res.ptr != last) return false;
  if (res.ec == std::errc::result_out_of_range) {
    std::string copy(token);
    parsed = strtod_c(copy.c_str(), nullptr);
    if (!std::isfinite(parsed)) return false;
  } else if (res.ec != std::errc()) {
    return false;
  }
  value = parsed;
  return true;
}

}  // namespace

bool NumberScanner::skip_space() {
  while (pos_ < text_.size() && is_space(text_[pos_])) ++pos_;
  if (pos_ == text_.size()) {
    eof_ = true;
    failed_ = true;
    at_end_failure_ = true;
    return false;
  }
  return true;
}

bool NumberScanner::next(double& value) {
  if (failed_) return false;
  if (!skip_space()) return false;
  const std::size_t start = pos_;
  const std::size_t n = text_.size();
  const char* t = text_.data();
  std::size_t p = pos_;
  const bool negative = t[p] == '-';
  if (t[p] == '+' || t[p] == '-') ++p;
  // Delimit the token as stream extraction does, and gather its digits for
  // the exact short path: up to 15 significant digits and a power of ten
  // within 1e22 are converted with one correctly rounded operation.
  std::uint64_t mantissa = 0;
  int significant = 0;
  int scale = 0;
  bool mantissa_digits = false;
  auto take = [&](char c) {
    if (mantissa == 0 && c == '0') return;
    mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
    ++significant;
  };
  while (p < n && is_digit(t[p])) { take(t[p++]); mantissa_digits = true; if (significant > 15) break; }
  while (p < n && is_digit(t[p])) { ++p; ++scale; }
  if (p < n && t[p] == '.') {
    ++p;
    while (p < n && is_digit(t[p])) {
      mantissa_digits = true;
      if (significant < 16) { take(t[p]); --scale; }
      ++p;
    }
  }
  bool exponent_ok = true;
  int exponent = 0;
  if (mantissa_digits && p < n && (t[p] == 'e' || t[p] == 'E')) {
    ++p;
    bool exp_negative = false;
    if (p < n && (t[p] == '+' || t[p] == '-')) exp_negative = t[p++] == '-';
    const std::size_t exp_start = p;
    while (p < n && is_digit(t[p])) {
      if (exponent < 100000) exponent = exponent * 10 + (t[p] - '0');
      ++p;
    }
    exponent_ok = p > exp_start;
    if (exp_negative) exponent = -exponent;
  }
  pos_ = p;
  if (p == n) eof_ = true;
  const int e10 = scale + exponent;
  if (mantissa_digits && exponent_ok && significant <= 15 && e10 >= -22 && e10 <= 22) {
    double v = static_cast<double>(mantissa);
    v = e10 < 0 ? v / kExactPow10[-e10] : v * kExactPow10[e10];
    value = negative ? -v : v;
    return true;
  }
  if (!convert_double(text_.substr(start, p - start), value)) {
    failed_ = true;
    at_end_failure_ = false;
    pos_ = start;
    return false;
  }
  return true;
}

bool NumberScanner::next_int(long& value) {
  if (failed_) return false;
  if (!skip_space()) return false;
  const std::size_t start = pos_;
  const std::size_t n = text_.size();
  std::size_t p = pos_;
  if (text_[p] == '+' || text_[p] == '-') ++p;
  const std::size_t digits = p;
  while (p < n && is_digit(text_[p])) ++p;
  pos_ = p;
  if (p == n) eof_ = true;
  bool ok = p > digits;
  if (ok) {
    std::size_t from = text_[start] == '+' ? start + 1 : start;
    auto res = std::from_chars(text_.data() + from, text_.data() + p, value);
    ok = res.ec == std::errc() && res.ptr == text_.data() + p;
  }
  if (!ok) {
    failed_ = true;
    at_end_failure_ = false;
    pos_ = start;
    return false;
  }
  return true;
}

bool NumberScanner::skip_word() {
  if (failed_) return false;
  if (!skip_space()) return false;
  while (pos_ < text_.size() && !is_space(text_[pos_])) ++pos_;
  if (pos_ == text_.size()) eof_ = true;
  return true;
}

std::size_t NumberScanner::line() const {
  return 1 + static_cast<std::size_t>(std::count(text_.begin(), text_.begin() + pos_, '\n'));
}

RowsRead parse_rows(std::string_view text, std::size_t k, std::size_t capacity,
                    std::size_t skip_words) {
  RowsRead r;
  r.k = k;
  r.opened = true;
  if (k == 0) return r;
  NumberScanner s(text);
  for (std::size_t w = 0; w < skip_words; ++w) s.skip_word();
  r.values.reserve(std::min<std::size_t>(capacity, text.size() / (2 * k) + 1) * k);
  double row[16];
  std::vector<double> big_row(k > 16 ? k : 0);
  double* buf = k > 16 ? big_row.data() : row;
  // A row counts only when the next attempt follows it, that is when its
  // extraction did not run into the end of the file.
  while (!s.eof()) {
    std::size_t c = 0;
    while (c < k && s.next(buf[c])) ++c;
    if (s.bad_token()) {
      r.bad_token = true;
      r.bad_line = s.line();
      break;
    }
    if (c < k || s.eof()) {
      r.last_row_dropped = c == k;
      break;
    }
    if (r.rows == capacity) {
      r.capped = true;
      break;
    }
    r.values.insert(r.values.end(), buf, buf + k);
    ++r.rows;
  }
  return r;
}

bool read_text(const std::filesystem::path& file, std::string& text) {
  text.clear();
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return false;
  }
  if (st.st_size > 0) text.reserve(static_cast<std::size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    ssize_t got = ::read(fd, buf, sizeof buf);
    if (got < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return false;
    }
    if (got == 0) break;
    text.append(buf, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return true;
}

RowsRead read_rows(const std::filesystem::path& file, std::size_t k, std::size_t capacity,
                   std::size_t skip_words) {
  std::string text;
  if (!read_text(file, text)) {
    RowsRead r;
    r.k = k;
    return r;
  }
  return parse_rows(text, k, capacity, skip_words);
}

std::size_t read_one_row(const std::filesystem::path& file, double* out, std::size_t k) {
  std::string text;
  if (!read_text(file, text)) return 0;
  NumberScanner s(text);
  std::size_t c = 0;
  while (c < k && s.next(out[c])) ++c;
  return c;
}

std::string format_rows(const double* values, std::size_t rows, std::size_t k) {
  std::string out;
  out.reserve(rows * k * 12);
  for (std::size_t i = 0; i < rows; ++i) {
    for (std::size_t c = 0; c < k; ++c) {
      if (c) out += '\t';
      append_g6(out, values[i * k + c]);
    }
    out += '\n';
  }
  return out;
}

WriteStatus write_text_atomic(const std::filesystem::path& file, std::string_view content) {
  std::string name(".");
  name += file.filename().string();
  name += ".XXXXXX";
  std::string tmp = (file.parent_path() / name).string();
  int fd = ::mkstemp(tmp.data());
  if (fd < 0) return WriteStatus::cannot_write;
  // The new file gets the mode of the one it replaces, or the usual mode of
  // a new file.
  struct stat old {};
  if (::stat(file.c_str(), &old) == 0) {
    ::fchmod(fd, old.st_mode & 07777);
  } else {
    static const mode_t mask = [] {
      const mode_t m = ::umask(0);
      ::umask(m);
      return m;
    }();
    ::fchmod(fd, 0666 & ~mask);
  }
  const char* p = content.data();
  std::size_t left = content.size();
  while (left > 0) {
    ssize_t put = ::write(fd, p, left);
    if (put < 0) {
      if (errno == EINTR) continue;
      const int reason = errno;
      ::close(fd);
      ::unlink(tmp.c_str());
      errno = reason;
      return WriteStatus::cannot_write;
    }
    p += put;
    left -= static_cast<std::size_t>(put);
  }
  // The content reaches the disk before the rename, and the rename itself
  // after it, so that a power loss cannot leave an empty or torn target.
  const bool flushed = ::fdatasync(fd) == 0;
  if (::close(fd) != 0 || !flushed || std::rename(tmp.c_str(), file.c_str()) != 0) {
    const int reason = errno;
    ::unlink(tmp.c_str());
    errno = reason;
    return WriteStatus::cannot_write;
  }
  // The new content is in place; a file system may refuse to flush the rename.
  flush_directory(file.has_parent_path() ? file.parent_path() : ".");
  return WriteStatus::ok;
}

void flush_directory(const std::filesystem::path& dir) {
  const int dir_fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) {
    ::fsync(dir_fd);
    ::close(dir_fd);
  }
}

bool is_temporary_name(std::string_view name) {
  constexpr std::size_t kRandom = 6;  // the XXXXXX of mkstemp
  if (name.size() < 1 + 1 + 1 + kRandom || name.front() != '.') return false;
  if (name[name.size() - kRandom - 1] != '.') return false;
  return std::all_of(name.end() - kRandom, name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  });
}

bool all_finite(const double* values, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (!std::isfinite(values[i])) return false;
  return true;
}

WriteStatus write_rows(const std::filesystem::path& file, const double* values,
                       std::size_t rows, std::size_t k) {
  if (!all_finite(values, rows * k)) return WriteStatus::not_finite;
  return write_text_atomic(file, format_rows(values, rows, k));
}

}  // namespace talvern
