#include <cmath>
#include <string>

#include "python/bindings.h"

namespace talvern::python {

namespace {

// `obj` as an array, refused unless it holds real numbers.
py::array real_array(py::handle obj, const char* what) {
  const py::array any = py::module_::import("numpy").attr("asarray")(obj);
  const char kind = any.dtype().kind();
  if (kind != 'f' && kind != 'i' && kind != 'u')
    throw py::value_error(std::string(what) + " must hold real numbers (float64), not " +
                          py::str(any.dtype()).cast<std::string>());
  return any;
}

// `any` as float64 in C order, refused when a value is not finite; `where`
// names the place of value i in the message.
template <class Where>
py::array_t<double> finite_doubles(const py::array& any, const char* what, Where where) {
  auto a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(any);
  if (!a) throw py::error_already_set();
  const double* v = a.data();
  const auto size = static_cast<std::size_t>(a.size());
  for (std::size_t i = 0; i < size; ++i)
    if (!std::isfinite(v[i]))
      throw py::value_error(std::string(what) + " holds a value that is not finite (" + where(i) +
                            ")");
  return a;
}

// `values` in an array of `shape` that holds them: the vector is moved to
// the heap and freed with the array.
py::array_t<double> owned(std::vector<double>&& values, std::vector<py::ssize_t> shape) {
  auto* held = new std::vector<double>(std::move(values));
  py::capsule owner(held, [](void* p) { delete static_cast<std::vector<double>*>(p); });
  return py::array_t<double>(std::move(shape), held->data(), owner);
}

}  // namespace

py::array_t<double> rows_array(py::handle obj, const char* what, std::size_t k,
                               std::size_t min_rows) {
  const py::array any = real_array(obj, what);
  if (any.ndim() != 2)
    throw py::value_error(std::string(what) + " must be a 2-D array of rows" +
                          (k ? " of " + std::to_string(k) + " columns" : std::string()) +
                          ", not of " + std::to_string(any.ndim()) + " dimensions");
  const auto rows = static_cast<std::size_t>(any.shape(0));
  const auto cols = static_cast<std::size_t>(any.shape(1));
  if (k && cols != k)
    throw py::value_error(std::string(what) + " must have " + std::to_string(k) +
                          " columns, not " + std::to_string(cols));
  if (cols == 0)
    throw py::value_error(std::string(what) + " must have at least 1 column, not 0");
  if (rows < min_rows)
    throw py::value_error(std::string(what) + " must have at least " + std::to_string(min_rows) +
                          (min_rows == 1 ? " row" : " rows") + ", not " + std::to_string(rows));
  return finite_doubles(any, what, [cols](std::size_t i) {
    return "row " + std::to_string(i / cols) + ", column " + std::to_string(i % cols);
  });
}

py::array_t<double> values_array(py::handle obj, const char* what, std::size_t n,
                                 std::size_t min_values) {
  const py::array any = real_array(obj, what);
  if (any.ndim() != 1)
    throw py::value_error(std::string(what) + " must be a 1-D array" +
                          (n ? " of " + std::to_string(n) + " values" : std::string()) +
                          ", not of " + std::to_string(any.ndim()) + " dimensions");
  const auto size = static_cast<std::size_t>(any.shape(0));
  if (n && size != n)
    throw py::value_error(std::string(what) + " must hold " + std::to_string(n) +
                          " values, not " + std::to_string(size));
  if (size < min_values)
    throw py::value_error(std::string(what) + " must hold at least " +
                          std::to_string(min_values) + (min_values == 1 ? " value" : " values") +
                          ", not " + std::to_string(size));
  return finite_doubles(any, what, [](std::size_t i) { return "value " + std::to_string(i); });
}

std::string path_bytes(py::handle path) {
  std::string bytes = py::module_::import("os").attr("fsencode")(path).cast<std::string>();
  if (bytes.find('\0') != std::string::npos)
    throw py::value_error("embedded null byte in the path " + py::repr(py::bytes(bytes)).cast<std::string>());
  return bytes;
}

double number_value(py::handle obj, const char* what) {
  const py::array any = real_array(obj, what);
  if (any.ndim() != 0)
    throw py::value_error(std::string(what) + " must be a single number, not an array of " +
                          std::to_string(any.ndim()) + " dimensions");
  const double v = any.attr("item")().cast<double>();
  if (!std::isfinite(v))
    throw py::value_error(std::string(what) + " must be finite, not " +
                          py::repr(py::float_(v)).cast<std::string>());
  return v;
}

py::array_t<double> owned_array(std::vector<double>&& values, std::size_t rows, std::size_t k) {
  return owned(std::move(values), {static_cast<py::ssize_t>(rows), static_cast<py::ssize_t>(k)});
}

py::array_t<double> owned_values(std::vector<double>&& values) {
  const auto n = static_cast<py::ssize_t>(values.size());
  return owned(std::move(values), {n});
}

}  // namespace talvern::python
