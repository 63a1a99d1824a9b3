// The engine's calculations as functions of NumPy arrays, touching no
// work-space: rixs (one spectrum), rixs_plane (one spectrum per excitation
// energy) and edge_step (the normalisation of xafs-load --normalise
// edge-step); fit_rixs is in fit_rixs.cpp. Each gives what the work-space's
// command computes from the same values, and refuses with a ValueError
// where the command would say "ERROR!!" or cut its inputs.

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/kernel.h"
#include "engine/plane.h"
#include "python/bindings.h"
#include "python/engine_inputs.h"
#include "workspace/number_text.h"
#include "workspace/row_io.h"
#include "xafs/edge_step.h"

namespace talvern::python {

namespace {

// The number of emission energies of `par`'s grid, which must fit the
// engine: talvern-cli would cut it at kRowCapacity points (a step of 0 or
// below never ends).
std::size_t checked_emission_grid(const CalcParameters& par) {
  bool capped = false;
  const std::size_t n = emission_grid(par.emission_start, par.emission_end, par.emission_step,
                                      kRowCapacity, capped)
                            .size();
  if (capped)
    throw py::value_error("the emission grid from " + format_g6(par.emission_start) + " to " +
                          format_g6(par.emission_end) + " by " + format_g6(par.emission_step) +
                          " eV holds more than the engine's capacity of " +
                          std::to_string(kRowCapacity) + " points (talvern-cli would take the first " +
                          std::to_string(kRowCapacity) + " and say CAUTION!!)");
  return n;
}

// The engine's refusal of a result that is not finite.
void check_finite(const std::vector<double>& values) {
  if (!all_finite(values.data(), values.size()))
    throw py::value_error(python_text(engine_failure_reason(EngineReport::Status::not_finite)));
}

py::array_t<double> rixs(py::handle selective, py::handle conv_xafs, py::handle parameters,
                         py::handle lorentz, py::handle exc) {
  // The helper thread shares the sum; it starts while the inputs are read.
  start_helper_thread();
  const EngineArgs a = engine_args(selective, conv_xafs, parameters, lorentz);
  const double omega = number_value(exc, "exc");
  checked_emission_grid(a.in.par);
  std::vector<double> rows;
  {
    py::gil_scoped_release unlocked;
    bool capped = false;
    rows = rixs_rows(a.sel, a.in.conv, a.in.par, a.in.lor, omega, capped);
  }
  check_finite(rows);
  const std::size_t n = rows.size() / 4;
  return owned_array(std::move(rows), n, 4);
}

py::tuple rixs_plane(py::handle selective, py::handle conv_xafs, py::handle parameters,
                     py::handle lorentz, py::handle exc_energies, py::object progress) {
  start_helper_thread();
  const EngineArgs a = engine_args(selective, conv_xafs, parameters, lorentz);
  const py::array_t<double> exc = values_array(exc_energies, "exc_energies");
  const std::vector<double> omegas(exc.data(), exc.data() + exc.size());
  const std::size_t columns = checked_emission_grid(a.in.par);
  const bool watched = !progress.is_none();
  RIXSPlane plane;
  plane.values.reserve(omegas.size() * columns * 3);
  run_stoppable(
      [&](const std::atomic<bool>* stop, const Post& post) {
        PlaneWatch watch;
        watch.stop = stop;
        if (watched)
          watch.progress = [&post](std::size_t done, std::size_t total) {
            post(plane_progress_line(done, total));
          };
        calculate_plane_rows(a.sel, a.in, omegas, watch, plane);
      },
      std::move(progress));
  check_finite(plane.values);

  // I, I1 and I2 are views of the plane's values, which hold the three of
  // each point together: nothing is copied.
  const auto rows = static_cast<py::ssize_t>(plane.rows());
  const auto width = static_cast<py::ssize_t>(plane.columns());
  const py::array_t<double> values = owned_values(std::move(plane.values));
  const auto step = static_cast<py::ssize_t>(sizeof(double));
  py::list parts;
  for (py::ssize_t c = 0; c < 3; ++c)
    parts.append(py::array_t<double>({rows, width}, {3 * width * step, 3 * step},
                                     values.data() + c, values));
  return py::make_tuple(owned_values(std::move(plane.omega)),
                        owned_values(std::move(plane.emission)), parts[0], parts[1], parts[2]);
}

// An optional number of edge_step: none for None.
std::optional<double> optional_number(const py::object& obj, const char* what) {
  if (obj.is_none()) return std::nullopt;
  return number_value(obj, what);
}

py::dict edge_step(py::handle energy, py::handle mu, const py::object& e0, const py::object& pre1,
                   const py::object& pre2, const py::object& norm1, const py::object& norm2,
                   const py::object& nnorm, bool flatten) {
  const py::array_t<double> e = values_array(energy, "energy");
  const py::array_t<double> m = values_array(mu, "mu");
  const auto n = static_cast<std::size_t>(e.size());
  if (static_cast<std::size_t>(m.size()) != n)
    throw py::value_error("energy and mu must hold as many values, not " + std::to_string(n) +
                          " and " + std::to_string(m.size()));
  if (n > kRowCapacity)
    throw py::value_error("energy and mu hold " + std::to_string(n) +
                          " values, more than the load's capacity of " +
                          std::to_string(kRowCapacity) + " (talvern-cli would take the first " +
                          std::to_string(kRowCapacity) + " and say CAUTION!!)");
  EdgeStepRequest request;
  const std::optional<double> given = optional_number(e0, "e0");
  request.pre1 = optional_number(pre1, "pre1");
  request.pre2 = optional_number(pre2, "pre2");
  request.norm1 = optional_number(norm1, "norm1");
  request.norm2 = optional_number(norm2, "norm2");
  if (const std::optional<double> degree = optional_number(nnorm, "nnorm")) {
    if (*degree != 0 && *degree != 1 && *degree != 2)
      throw py::value_error("nnorm, the degree of the post-edge polynomial, must be 0, 1 or 2, "
                            "not " + py::repr(nnorm).cast<std::string>());
    request.nnorm = static_cast<int>(*degree);
  }

  // The rows (E, mu) in the order given, as the load reads them from
  // Conventional_XAFS.DAT.
  std::vector<double> pairs(2 * n);
  for (std::size_t i = 0; i < n; ++i) {
    pairs[2 * i] = e.data()[i];
    pairs[2 * i + 1] = m.data()[i];
  }
  EdgeStepResult result;
  {
    py::gil_scoped_release unlocked;
    result = fit_edge_step_at(pairs.data(), n, given, request);
    if (result.fit) normalise_to_step(pairs.data(), n, *result.fit, flatten);
  }
  if (!result.fit) throw py::value_error(python_text(result.why));
  std::vector<double> norm(n);
  for (std::size_t i = 0; i < n; ++i) norm[i] = pairs[2 * i + 1];
  if (!all_finite(norm.data(), n))
    throw py::value_error("the normalised absorption is too large to be held (the edge step " +
                          format_g6(result.fit->step) + " is too small for the data)");

  const EdgeStepFit& f = *result.fit;
  py::dict out;
  out["norm"] = owned_values(std::move(norm));
  out["e0"] = f.e0;
  out["step"] = f.step;
  out["pre"] = owned_values({f.pre[0], f.pre[1]});
  out["post"] = owned_values({f.post[0], f.post[1], f.post[2]});
  out["pre1"] = f.pre1;
  out["pre2"] = f.pre2;
  out["norm1"] = f.norm1;
  out["norm2"] = f.norm2;
  out["nnorm"] = f.nnorm;
  out["e0_source"] = given ? "given" : "Edge from Data";
  return out;
}

}  // namespace

void bind_engine_functions(py::module_& m) {
  // Each docstring begins with its signature in Python's words.
  py::options options;
  options.disable_function_signatures();
  m.def("rixs", &rixs, py::arg("selective"), py::arg("conv_xafs"), py::arg("parameters"),
        py::arg("lorentz"), py::arg("exc"),
        R"(rixs(selective, conv_xafs, parameters, lorentz, exc) -> numpy.ndarray

The RIXS spectrum at excitation energy `exc` (eV), as "Calculate RIXS" writes it
into Calculated_RIXS.DAT: an array of rows (emission energy, total, component 1,
component 2), one per emission energy of the parameters' grid.

selective   rows (E, Y1, Y2) of the selective XAFS (SelectiveXAFS_for_RIXS.DAT),
            at least 2 and at most 5000, on a uniform energy step
conv_xafs   rows (E, mu) of the normalised conventional XAFS
            (ConvXAFS_Norm_Spectrum.DAT), at most 2000; none (shape (0, 2))
            takes the absorption as 1
parameters  the 7 values of RIXS_Calculation_Parameters.DAT in file order, or a
            dict of gamma, core_energy, emission_start, emission_end,
            emission_step, abs_correction and scale
lorentz     the 13 values of RIXS_Calculation_Lorentz.DAT in file order (flag
            0 or 1, widths A-D, positions A-D, amplitudes A-D), or a dict of
            two_component, width, position and amplitude (4 values each)

Rows beyond the engine's capacities, or an emission grid of more than 5000
points, are a ValueError (talvern-cli would cut them with a CAUTION!!), as are
arrays of another shape or of values that are not finite real numbers, and a
result that is not finite. The GIL is released while the sum runs.)");

  m.def("rixs_plane", &rixs_plane, py::arg("selective"), py::arg("conv_xafs"),
        py::arg("parameters"), py::arg("lorentz"), py::arg("exc_energies"), py::kw_only(),
        py::arg("progress") = py::none(),
        R"(rixs_plane(selective, conv_xafs, parameters, lorentz, exc_energies, *, progress=None)
    -> (omega, emission, I, I1, I2)

The RIXS plane: the spectrum of rixs() at each excitation energy of
`exc_energies` (a 1-D array, eV, in the order given), as "RIXS Plane..." and
talvern-cli rixs-plane calculate it.

Returns (omega, emission, I, I1, I2): omega the excitation energies (rows),
emission the emission energies (columns), and the total and the two components
as 2-D arrays of rows x columns. The other arguments are those of rixs(), with
its refusals. progress=callable receives a line after each excitation energy
("excitation energy 3/10"). The calculation runs without the GIL; Ctrl-C (or
an exception of progress) stops it after the excitation energy in hand, and
KeyboardInterrupt (or that exception) is raised.)");

  m.def("edge_step", &edge_step, py::arg("energy"), py::arg("mu"),
        py::arg("e0") = py::none(), py::arg("pre1") = py::none(), py::arg("pre2") = py::none(),
        py::arg("norm1") = py::none(), py::arg("norm2") = py::none(),
        py::arg("nnorm") = py::none(), py::arg("flatten") = false,
        R"(edge_step(energy, mu, e0=None, pre1=None, pre2=None, norm1=None, norm2=None,
          nnorm=None, flatten=False) -> dict

A measured absorption normalised to its edge step, as talvern-cli xafs-load
--normalise edge-step writes it into ConvXAFS_Norm_Spectrum.DAT.

energy, mu  1-D arrays of the same length (at most 5000), in any order
e0          the core energy E0 (eV); None takes the steepest rise of the data,
            as "Edge from Data" finds it (at least 5 energies)
pre1, pre2  the pre-edge line's range relative to E0 (default -150, -30 eV)
norm1, norm2  the post-edge polynomial's range relative to E0 (default 150 eV
            to the highest energy); each range is limited to the data
nnorm       the post-edge polynomial's degree, 0, 1 or 2 (default 2 for a
            post-edge range wider than 300 eV, else 1)
flatten     above E0 1 + (mu - post(E)) / step instead of (mu - pre(E)) / step

Returns a dict: "norm" (the normalised mu, in the order given), "e0", "step",
"pre" (pre(E) = pre[0] + pre[1] (E - E0)), "post" (post(E) = post[0] +
post[1] (E - E0) + post[2] (E - E0)^2), the ranges "pre1", "pre2", "norm1",
"norm2" as fitted (limited to the data) and "nnorm", and "e0_source" ("given"
or "Edge from Data"). Where no fit can be made, a ValueError gives the reason
xafs-load gives.)");

  bind_fit_rixs(m);
}

}  // namespace talvern::python
