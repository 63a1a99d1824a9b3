#include "command/history.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "workspace/file_names.h"

namespace talvern {

std::string sh_quote(std::string_view word) {
  const auto safe = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::strchr("+-_./:=,@%", c) != nullptr;
  };
  bool plain = !word.empty();
  for (char c : word) plain = plain && safe(c);
  if (plain) return std::string(word);
  std::string out = "'";
  for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string command_text(const std::vector<std::string>& words) {
  std::string text = kHistoryProgram;
  for (const auto& w : words) (text += ' ') += sh_quote(w);
  return text;
}

std::string history_entry(const std::vector<std::string>& words, int status,
                          std::string_view time) {
  std::string entry = "# ";
  entry.append(time).append(" exit ").append(std::to_string(status)).append("\n");
  entry += command_text(words);
  entry += '\n';
  return entry;
}

namespace {

std::string utc_time() {
  char buf[32];
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

}  // namespace

std::string append_history(const WorkSpace& ws, const std::vector<std::string>& words, int status) {
  std::error_code ec;
  if (!std::filesystem::is_directory(ws.dir(), ec)) return {};
  const std::string entry = history_entry(words, status, utc_time());
  const int fd = ::open(ws.file(files::kHistory).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC,
                        0644);
  bool ok = fd >= 0;
  int error = ok ? 0 : errno;
  for (std::size_t done = 0; ok && done < entry.size();) {
    const ssize_t n = ::write(fd, entry.data() + done, entry.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (!ok) error = n < 0 ? errno : ENOSPC;
    done += ok ? static_cast<std::size_t>(n) : 0;
  }
  if (ok && ::fdatasync(fd) != 0) ok = false, error = errno;
  if (fd >= 0) ::close(fd);
  if (ok) return {};
  return std::string("\r\nCAUTION!! ") + files::kHistory + " could not be appended to (" +
         std::strerror(error) + "); this command is not in the history.";
}

namespace {

// The words of a line as sh splits them: blanks separate, single quotes
// keep everything, a backslash keeps the next character.
bool split_sh(std::string_view line, std::vector<std::string>& words) {
  std::string word;
  bool in_word = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == ' ' || c == '\t') {
      if (in_word) words.push_back(std::move(word)), word.clear();
      in_word = false;
    } else if (c == '\'') {
      const std::size_t end = line.find('\'', i + 1);
      if (end == std::string_view::npos) return false;
      word.append(line.substr(i + 1, end - i - 1));
      i = end;
      in_word = true;
    } else if (c == '\\' && i + 1 < line.size()) {
      word += line[++i];
      in_word = true;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(std::move(word));
  return true;
}

}  // namespace

bool parse_history(std::string_view text, std::vector<HistoryLine>& lines, std::string& error) {
  int status = 0;
  std::size_t number = 0;
  for (std::size_t begin = 0; begin < text.size();) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(begin, end - begin);
    begin = end + 1;
    ++number;
    if (line.starts_with("#")) {
      const std::size_t at = line.rfind(" exit ");
      if (at != std::string_view::npos) status = std::atoi(std::string(line.substr(at + 6)).c_str());
      continue;
    }
    if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
    HistoryLine entry{number, {}, status};
    if (!split_sh(line, entry.words) || entry.words.empty() || entry.words[0] != kHistoryProgram) {
      error = "line " + std::to_string(number) + " is no talvern-cli line";
      return false;
    }
    lines.push_back(std::move(entry));
    status = 0;
  }
  return true;
}

std::string shell_lines(std::string_view message) {
  std::string text;
  text.reserve(message.size() + 1);
  for (std::size_t i = 0; i < message.size(); ++i) {
    if (message[i] == '\r' && i + 1 < message.size() && message[i + 1] == '\n') continue;
    text += message[i];
  }
  return text;
}

void print_message(const std::string& message, std::FILE* out) {
  if (message.empty()) return;
  std::fprintf(out, "%s\n", shell_lines(message).c_str());
}

void print_outcome(const Outcome& outcome, std::FILE* out, std::FILE* err) {
  if (outcome.failure) {
    print_message(outcome.failure->text(), err);
    return;
  }
  print_message(outcome.message, out);
  std::fputs(outcome.after.c_str(), out);
}

}  // namespace talvern
