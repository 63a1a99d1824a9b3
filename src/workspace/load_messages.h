#pragma once
// Messages shared by the commands that bring a user's file into the
// work-space.

#include <cstddef>
#include <string>

namespace talvern {

// Reading stopped at a token that is not a number: nothing is imported.
std::string not_a_number_message(std::size_t line);

// The file held more than `kept` rows (or pairs, by `unit`); the first
// `kept` were used. Put before the command's own message.
std::string capped_caution(std::size_t kept, const char* unit);

// A value would not be a finite number in the work-space file.
std::string not_finite_message();

}  // namespace talvern
