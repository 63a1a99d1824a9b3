#include "workspace/write_log.h"

#include <cerrno>
#include <cstring>

namespace talvern {

bool WriteLog::note(const char* name, WriteStatus status) {
  const int reason = errno;
  // Values are checked before a write, so only a refused write is said here.
  if (status != WriteStatus::cannot_write) return status == WriteStatus::ok;
  if (!failed(name))
    failures_.emplace_back(name, reason != 0 ? std::strerror(reason) : "no reason given");
  return false;
}

bool WriteLog::failed(const char* name) const {
  for (const auto& f : failures_)
    if (f.first == name) return true;
  return false;
}

void WriteLog::append_to(std::string& message) const {
  for (const auto& [name, reason] : failures_) {
    if (!message.empty()) message += "\r\n";
    message += "CAUTION!! " + name + kCouldNotBeWritten + reason +
               "); the work-space keeps its former content.";
  }
}

}  // namespace talvern
