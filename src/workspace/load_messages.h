#pragma once
// Messages shared by the commands that bring data into the work-space
// or rewrite its files.

#include <cstddef>
#include <string>

#include "workspace/row_io.h"

namespace talvern {

// Reading stopped at a token that is not a number: nothing is imported.
std::string not_a_number_message(std::size_t line);

// The file held more than `kept` rows (or pairs, by `unit`); the first
// `kept` were used. Put before the command's own message.
std::string capped_caution(std::size_t kept, const char* unit);

// A value would not be a finite number in the work-space file.
std::string not_finite_message();

// A work-space file could not be written (the work-space is missing or
// read-only); the file keeps what it held.
std::string cannot_write_message(const char* file);

// The message for a failed write of `file`, or "" when it succeeded.
std::string write_failure_message(WriteStatus status, const char* file);

}  // namespace talvern
