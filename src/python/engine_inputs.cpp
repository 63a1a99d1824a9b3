#include "python/engine_inputs.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <iterator>
#include <string>

#include "command/history.h"

namespace talvern::python {

namespace {

// The names of the parameter file's values in a dict, in file order.
constexpr const char* kParameterNames[] = {"gamma",        "core_energy",    "emission_start",
                                           "emission_end", "emission_step", "abs_correction",
                                           "scale"};
static_assert(std::size(kParameterNames) == CalcParameters::kCount);

constexpr const char* kLorentzNames[] = {"two_component", "width", "position", "amplitude"};

bool is_mapping(py::handle obj) {
  return py::isinstance(obj, py::module_::import("collections.abc").attr("Mapping"));
}

// The dict `obj` must have exactly the keys `names`: a missing or an unknown
// key (a typing slip) is a ValueError.
template <std::size_t N>
void check_keys(py::handle obj, const char* what, const char* const (&names)[N]) {
  const py::dict given(py::reinterpret_borrow<py::object>(obj));
  std::string all;
  for (const char* name : names) all += std::string(all.empty() ? "" : ", ") + name;
  for (const char* name : names)
    if (!given.contains(name))
      throw py::value_error(std::string(what) + " has no '" + name + "'; it takes " + all);
  for (auto item : given) {
    const std::string key = py::str(item.first).cast<std::string>();
    if (std::find_if(std::begin(names), std::end(names),
                     [&](const char* n) { return key == n; }) == std::end(names))
      throw py::value_error(std::string(what) + " has an unknown key '" + key + "'; it takes " +
                            all);
  }
}

std::string entry(const char* what, const char* name) {
  return std::string(what) + "['" + name + "']";
}

// A file's one row as read_dat reads it, shape (1, n), as its n values.
py::object file_row(py::handle obj) {
  if (py::isinstance<py::array>(obj)) {
    const auto a = py::reinterpret_borrow<py::array>(obj);
    if (a.ndim() == 2 && a.shape(0) == 1) return a.attr("reshape")(-1);
  }
  return py::reinterpret_borrow<py::object>(obj);
}

}  // namespace

std::string python_text(const std::string& text) {
  std::string out = shell_lines(text);
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

CalcParameters parameters_of(py::handle obj) {
  std::array<double, CalcParameters::kCount> values{};
  if (is_mapping(obj)) {
    check_keys(obj, "parameters", kParameterNames);
    for (std::size_t i = 0; i < values.size(); ++i) {
      const std::string what = entry("parameters", kParameterNames[i]);
      values[i] = number_value(obj[kParameterNames[i]], what.c_str());
    }
  } else {
    const py::array_t<double> a = values_array(file_row(obj), "parameters", CalcParameters::kCount);
    std::copy(a.data(), a.data() + values.size(), values.begin());
  }
  CalcParameters par;
  par.from_array(values);
  return par;
}

LorentzSet lorentz_of(py::handle obj) {
  double flag = 0;
  LorentzSet set;
  if (is_mapping(obj)) {
    check_keys(obj, "lorentz", kLorentzNames);
    flag = number_value(obj[kLorentzNames[0]], entry("lorentz", kLorentzNames[0]).c_str());
    std::size_t name = 1;
    for (auto* group : {&set.width, &set.position, &set.amplitude}) {
      const std::string what = entry("lorentz", kLorentzNames[name]);
      const py::array_t<double> a = values_array(obj[kLorentzNames[name++]], what.c_str(), 4);
      std::copy(a.data(), a.data() + 4, group->begin());
    }
  } else {
    const py::array_t<double> a = values_array(file_row(obj), "lorentz", LorentzSet::kCount);
    const double* v = a.data();
    flag = *v++;
    for (auto* group : {&set.width, &set.position, &set.amplitude})
      for (double& x : *group) x = *v++;
  }
  if (flag != 0 && flag != 1)
    throw py::value_error("the two-component flag of lorentz must be 0 or 1, not " +
                          py::repr(py::float_(flag)).cast<std::string>());
  set.two_component = static_cast<long>(flag);
  return set;
}

RowsRead rows_of(const py::array_t<double>& rows, const char* what, std::size_t capacity) {
  RowsRead r;
  r.rows = static_cast<std::size_t>(rows.shape(0));
  r.k = static_cast<std::size_t>(rows.shape(1));
  if (r.rows > capacity)
    throw py::value_error(std::string(what) + " has " + std::to_string(r.rows) +
                          " rows, more than the engine's capacity of " +
                          std::to_string(capacity) + " (talvern-cli would take the first " +
                          std::to_string(capacity) + " and say CAUTION!!)");
  r.values.assign(rows.data(), rows.data() + r.rows * r.k);
  r.opened = true;
  return r;
}

EngineArgs engine_args(py::handle selective, py::handle conv_xafs, py::handle parameters,
                       py::handle lorentz) {
  EngineArgs a;
  a.sel = rows_of(rows_array(selective, "selective", 3, 2), "selective", kRowCapacity);
  a.in.conv = rows_of(rows_array(conv_xafs, "conv_xafs", 2, 0), "conv_xafs", kConvXAFSCapacity);
  a.in.par = parameters_of(parameters);
  a.in.lor = lorentz_of(lorentz);
  return a;
}

}  // namespace talvern::python
