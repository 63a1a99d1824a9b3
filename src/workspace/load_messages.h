#pragma once
// Messages shared by the commands that bring data into the work-space
// or read it back.

#include <cstddef>
#include <string>
#include <string_view>

#include "workspace/row_io.h"

namespace talvern {

// Reading stopped at a token that is not a number: nothing is imported.
std::string not_a_number_message(std::size_t line);

// A line of a user file holds `found` values where each line must hold
// `expected`: nothing is imported.
std::string wrong_width_message(std::size_t line, std::size_t found, std::size_t expected);

// The file held more than `kept` rows (or pairs, by `unit`); the first
// `kept` were used. Put before the command's own message.
std::string capped_caution(std::size_t kept, const char* unit);

// A value would not be a finite number in the work-space file.
std::string not_finite_message();

// Appends `lines` (each ended by "\r\n") to a caution that is put before a
// command's own message; the caution starts with one "CAUTION!!" line.
void add_caution(std::string& caution, std::string_view lines);

// Caution lines for a work-space file read short: more rows than
// `capacity`, or reading stopped at text that is not a number. "" when the
// whole file was read.
std::string short_read_lines(const RowsRead& read, const char* file, std::size_t capacity);

}  // namespace talvern
