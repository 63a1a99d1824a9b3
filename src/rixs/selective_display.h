#pragma once
// Pieces the RIXS Simulation commands share: reading a selective XAFS with
// the cautions of a short read, its ranges, its trace, and the range files.

#include <cstddef>
#include <optional>
#include <string>

#include "plot/panel.h"
#include "rixs/rixs_state.h"
#include "workspace/row_io.h"
#include "workspace/user_file.h"
#include "workspace/workspace.h"
#include "workspace/write_log.h"

namespace talvern::rixs_display {

// Reads a selective XAFS file (rows E, Y1, Y2); a file read short adds its
// lines to `caution`.
RowsRead read_selective(const WorkSpace& ws, const char* file, std::string& caution);

// Rows of `k` values of a work-space file, up to `capacity`; a file read
// short adds its lines to `caution`.
RowsRead read_checked(const WorkSpace& ws, const char* file, std::size_t k, std::size_t capacity,
                      std::string& caution);

// Widens [y_min, y_max] by 10000 x Y1 and 10000 x Y2 of the rows with
// lo <= E <= hi; a value replaces an extreme only when strictly beyond it.
void widen_intensity(const RowsRead& rows, double lo, double hi, double& y_min, double& y_max);

// The whole range of the rows: energies, and 10000 x Y1 and 10000 x Y2,
// from the start values 100000000 and 0.
plot::Range full_range(const RowsRead& rows);

// Reads the four values of a range file (MinMax layout); returns how many
// were read, the others keep what `range` held.
std::size_t read_range(const WorkSpace& ws, const char* file, plot::Range& range);

// True when all four values are finite numbers.
bool finite_range(const plot::Range& range);

// The message of a command refused because 10000 x intensity of the
// selective XAFS is not a finite number.
extern const char kRangeNotFinite[];

// Writes a range file: one row E_min, E_max, Y_min, Y_max. The values must
// be finite (see finite_range).
void write_range(const WorkSpace& ws, const char* file, const plot::Range& range, WriteLog& log);

// The selective XAFS trace, both components, of all rows over `range`; a
// range that cannot be mapped gives no trace and adds a caution line.
std::optional<plot::Trace> selective_trace(const RowsRead& rows, const plot::Range& range,
                                           std::string& caution);

// Saves `rows` to a file the user chooses in a dialog titled `title`; the
// message says where, after `caution`, or why not. A cancelled file dialog
// leaves the message as it was.
void save_rows(const WorkSpace& ws, const UserFiles& files, const char* title, const RowsRead& rows,
               const char* saved, const std::string& caution, RIXSState& state);

// Drops all five traces.
void drop_all(RIXSState& state);

}  // namespace talvern::rixs_display
