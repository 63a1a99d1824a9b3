#include <cmath>
#include <string>

#include "python/bindings.h"

namespace talvern::python {

py::array_t<double> rows_array(py::handle obj, const char* what, std::size_t k,
                               std::size_t min_rows) {
  const py::array any = py::module_::import("numpy").attr("asarray")(obj);
  const char kind = any.dtype().kind();
  if (kind != 'f' && kind != 'i' && kind != 'u')
    throw py::value_error(std::string(what) + " must hold real numbers (float64), not " +
                          py::str(any.dtype()).cast<std::string>());
  if (any.ndim() != 2)
    throw py::value_error(std::string(what) + " must be a 2-D array of rows" +
                          (k ? " of " + std::to_string(k) + " columns" : std::string()) +
                          ", not of " + std::to_string(any.ndim()) + " dimensions");
  const auto rows = static_cast<std::size_t>(any.shape(0));
  const auto cols = static_cast<std::size_t>(any.shape(1));
  if (k && cols != k)
    throw py::value_error(std::string(what) + " must have " + std::to_string(k) +
                          " columns, not " + std::to_string(cols));
  if (rows < min_rows || cols == 0)
    throw py::value_error(std::string(what) + " must have at least " + std::to_string(min_rows) +
                          (min_rows == 1 ? " row" : " rows") + ", not " + std::to_string(rows));
  auto a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(any);
  if (!a) throw py::error_already_set();
  const double* v = a.data();
  for (std::size_t i = 0; i < rows * cols; ++i)
    if (!std::isfinite(v[i]))
      throw py::value_error(std::string(what) + " holds a value that is not finite (row " +
                            std::to_string(i / cols) + ", column " + std::to_string(i % cols) +
                            ")");
  return a;
}

py::array_t<double> owned_array(std::vector<double>&& values, std::size_t rows, std::size_t k) {
  auto* held = new std::vector<double>(std::move(values));
  py::capsule owner(held, [](void* p) { delete static_cast<std::vector<double>*>(p); });
  return py::array_t<double>({static_cast<py::ssize_t>(rows), static_cast<py::ssize_t>(k)},
                             held->data(), owner);
}

}  // namespace talvern::python
