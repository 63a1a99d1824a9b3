// read_dat and write_dat: .DAT files as the work-space keeps them, rows of
// numbers apart by white space, written with six significant digits, TAB
// between values and replaced whole.

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "python/bindings.h"
#include "workspace/row_io.h"

namespace talvern::python {

namespace {

// A ValueError on a line of the file `path`, which is named as Python names
// it (a name that is not UTF-8 too).
[[noreturn]] void refuse_line(const std::string& path, std::size_t line, const std::string& what) {
  const std::string text = path + ": line " + std::to_string(line) + " " + what;
  const auto message = py::reinterpret_steal<py::object>(
      PyUnicode_DecodeFSDefaultAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
  if (message) PyErr_SetObject(PyExc_ValueError, message.ptr());
  throw py::error_already_set();
}

py::array_t<double> read_dat(py::handle path_like) {
  const std::string path = path_bytes(path_like);
  std::string text;
  if (!read_text(path, text)) {
    // read_text refuses a folder without a system error of its own.
    const int error = errno;
    std::error_code ec;
    errno = std::filesystem::is_directory(path, ec) ? EISDIR : error;
    // OSError takes its kind from errno: FileNotFoundError, IsADirectoryError...
    PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
    throw py::error_already_set();
  }
  std::vector<double> values;
  std::size_t k = 0, rows = 0, line = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const std::string_view one(text.data() + at, end - at);
    at = end + 1;
    ++line;
    NumberScanner s(one);
    std::size_t n = 0;
    for (double v; s.next(v); ++n) values.push_back(v);
    if (s.bad_token()) refuse_line(path, line, "holds a word that is not a number");
    if (n == 0) continue;  // a blank line (between the groups of a measured set)
    if (k == 0) k = n;
    if (n != k)
      refuse_line(path, line, "holds " + std::to_string(n) + (n == 1 ? " value" : " values") +
                                  ", the first row " + std::to_string(k));
    ++rows;
  }
  if (rows == 0) return owned_array({}, 0, 0);
  return owned_array(std::move(values), rows, k);
}

void write_dat(py::handle path_like, py::handle array) {
  const std::string path = path_bytes(path_like);
  const py::array_t<double> a = rows_array(array, "the array", 0);
  const auto rows = static_cast<std::size_t>(a.shape(0)), k = static_cast<std::size_t>(a.shape(1));
  std::string text;
  {
    py::gil_scoped_release unlocked;
    text = format_rows(a.data(), rows, k);
  }
  if (write_text_atomic(path, text) != WriteStatus::ok) {
    PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
    throw py::error_already_set();
  }
}

}  // namespace

void bind_dat_files(py::module_& m) {
  m.def("read_dat", &read_dat, py::arg("path"),
        "The rows of a .DAT file as a 2-D float64 array (rows x values of a row).\n\n"
        "Values are apart by blanks or TABs, one row a line; blank lines are passed over.\n"
        "A line with a word that is not a number, or with another number of values than\n"
        "the first row, is a ValueError naming the line; an empty file gives shape (0, 0).");
  m.def("write_dat", &write_dat, py::arg("path"), py::arg("array"),
        "Writes a 2-D array as the work-space writes its files: six significant digits,\n"
        "one TAB between values, a line break after each row, and the file replaced as a\n"
        "whole (a temporary file renamed over it). A value that is not finite is a\n"
        "ValueError and nothing is written. A file of a work-space is better written by\n"
        "its command (WorkSpace), which takes the work-space's lock.");
}

}  // namespace talvern::python
