#pragma once
// The Python module `talvern`: what its parts share. The module speaks
// NumPy; every long calculation runs without the GIL and stops on Ctrl-C.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace talvern::python {

namespace py = pybind11;

// The parts of the module, each adding its names to `m`.
void bind_work_space(py::module_& m);  // WorkSpace, Result, CommandError
void bind_dat_files(py::module_& m);   // read_dat, write_dat
void bind_engine_functions(py::module_& m);  // rixs, rixs_plane, edge_step, fit_rixs

// A line on how far a long run is, handed to Python.
using Post = std::function<void(const std::string&)>;

// Runs `work` on a thread of its own with the GIL released while this
// thread waits. Ctrl-C (KeyboardInterrupt), or an exception that `progress`
// raises, sets the flag `work` is given, as "Stop" does; once `work` has
// returned, that exception is raised. The lines `work` posts are handed to
// `progress` (a callable of one str, or None) on this thread, `work` waiting
// at each until it has been, so that what the callable does takes effect at
// that step. An exception of `work` is thrown again here.
void run_stoppable(const std::function<void(const std::atomic<bool>* stop, const Post& post)>& work,
                   py::object progress = py::none());

// The rows of an array-like `obj` as float64, C order, `k` columns (any
// number when `k` is 0) and at least `min_rows` rows. A ValueError naming
// `what` for another shape, a dtype that is not of real numbers, or a value
// that is not finite.
py::array_t<double> rows_array(py::handle obj, const char* what, std::size_t k,
                               std::size_t min_rows = 1);

// The values of an array-like `obj` as a 1-D float64 array of `n` values
// (any number when `n` is 0, at least `min_values`). A ValueError naming
// `what` for another shape, a dtype that is not of real numbers, or a value
// that is not finite.
py::array_t<double> values_array(py::handle obj, const char* what, std::size_t n = 0,
                                 std::size_t min_values = 1);

// A path (str, bytes or os.PathLike) as the bytes the system takes: a str
// as os.fsencode encodes it, never the repr of bytes.
std::string path_bytes(py::handle path);

// A single real number that is finite: a ValueError naming `what` for an
// array, a dtype that is not of real numbers (a str, a bool, None) or NaN.
double number_value(py::handle obj, const char* what);

// `values` (rows x k, row-major) as an array that owns them: no copy.
py::array_t<double> owned_array(std::vector<double>&& values, std::size_t rows, std::size_t k);
// The same as a 1-D array.
py::array_t<double> owned_values(std::vector<double>&& values);

}  // namespace talvern::python
