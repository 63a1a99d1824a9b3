// talvern.fit_rixs: the global fit of fit-rixs against a measured set held
// in arrays. Its options are set through the "Global Fit" sheet's fields,
// as talvern-cli sets them from its command line, so that both read peaks,
// components, names to fix and weights alike; the result is the JSON of
// fit-rixs --json with the fitted selective XAFS.

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "command/sheet.h"
#include "engine/kernel.h"
#include "python/bindings.h"
#include "python/engine_inputs.h"
#include "rixs/fit_sheet.h"
#include "rixs/global_fit.h"
#include "workspace/measured_set.h"

namespace talvern::python {

namespace {

// Sets the field of `option` as the command line would; a value the field
// refuses is a ValueError with talvern-cli's usage error.
void set_option(GlobalFitState& state, std::string_view option, std::string_view text) {
  for (const Field<GlobalFitState>& field : global_fit_sheet().fields)
    if (field.option == option) {
      try {
        field.set(state, text);
      } catch (const UsageError& e) {
        throw py::value_error(e.what);
      }
      return;
    }
}

// The names of `fix`: a str of comma-separated names, or a sequence of names.
std::string names_of(py::handle fix) {
  if (py::isinstance<py::str>(fix)) return fix.cast<std::string>();
  std::string names;
  for (py::handle name : fix) {
    if (!py::isinstance<py::str>(name))
      throw py::value_error("fix must hold parameter names (str), not " +
                            py::repr(name).cast<std::string>());
    names += (names.empty() ? "" : ",") + name.cast<std::string>();
  }
  return names;
}

// The measured set of rows (Omega, w, I, K), grouped as RIXS_Plane_Exp.DAT
// is read.
MeasuredSet measured_of(py::handle measured) {
  const py::array_t<double> rows = rows_array(measured, "measured", 4, 1);
  const auto n = static_cast<std::size_t>(rows.shape(0));
  if (n > kMeasuredSetCapacity)
    throw py::value_error("measured has " + std::to_string(n) +
                          " rows, more than the measured set's capacity of " +
                          std::to_string(kMeasuredSetCapacity) + " points");
  std::size_t bad = n;
  MeasuredSet set = measured_set_of_rows(rows.data(), n, bad);
  if (bad < n)
    throw py::value_error("measured row " + std::to_string(bad) +
                          ": K must be 0 (a point of an emission spectrum) or 1 (of a HERFD), "
                          "not " + py::repr(py::float_(rows.data()[4 * bad + 3])).cast<std::string>());
  return set;
}

py::dict fit_rixs(py::handle measured, py::handle selective, py::handle conv_xafs,
                  py::handle parameters, py::handle lorentz, py::handle peaks,
                  const std::string& components, bool fit_scale, bool fit_abs_corr,
                  bool fit_shift, py::handle fix, const std::string& weights,
                  py::object progress) {
  start_helper_thread();
  const MeasuredSet set = measured_of(measured);
  const EngineArgs a = engine_args(selective, conv_xafs, parameters, lorentz);

  GlobalFitState state;
  if (py::len(peaks) > 0) {
    const py::array_t<double> p = rows_array(peaks, "peaks", 3, 1);
    for (py::ssize_t i = 0; i < p.shape(0); ++i)
      set_option(state, "--peak",
                 shortest_text(p.at(i, 0)) + "," + shortest_text(p.at(i, 1)) + "," +
                     shortest_text(p.at(i, 2)));
  }
  set_option(state, "--components", components);
  if (fit_scale) set_option(state, "--fit-scale", "");
  if (fit_abs_corr) set_option(state, "--fit-abs-corr", "");
  if (fit_shift) set_option(state, "--fit-shift", "");
  set_option(state, "--fix", names_of(fix));
  set_option(state, "--weights", weights);
  std::string error;
  const std::optional<FitSetup> setup = fit_setup(state, error);
  if (!setup) throw py::value_error(python_text(error));

  std::optional<GlobalFitResult> result;
  run_stoppable(
      [&](const std::atomic<bool>* stop, const Post&) {
        result = fit_global(set, a.sel, a.in, *setup, error, stop);
      },
      std::move(progress));
  if (!result) throw py::value_error(python_text(error));

  py::dict out = py::module_::import("json").attr("loads")(fit_report_json(*result));
  const std::size_t n = result->selective.size() / 3;
  out["selective"] = owned_array(std::move(result->selective), n, 3);
  return out;
}

}  // namespace

void bind_fit_rixs(py::module_& m) {
  m.def("fit_rixs", &fit_rixs, py::arg("measured"), py::arg("selective"), py::arg("conv_xafs"),
        py::arg("parameters"), py::arg("lorentz"),
        py::arg("peaks") = py::tuple(), py::arg("components") = "AB",
        py::arg("fit_scale") = false, py::arg("fit_abs_corr") = false,
        py::arg("fit_shift") = false, py::arg("fix") = py::tuple(),
        py::arg("weights") = "none", py::arg("progress") = py::none(),
        R"(fit_rixs(measured, selective, conv_xafs, parameters, lorentz, peaks=(), components="AB",
         fit_scale=False, fit_abs_corr=False, fit_shift=False, fix=(), weights="none",
         progress=None) -> dict

The global fit of talvern-cli fit-rixs: least squares of the model against
every point of a measured set, with Lorentzians A / ((E - C)^2 + W^2) added
to the selective XAFS, the scale, the absorption correction and a shift.

measured      rows (Omega, w, I, K) as RIXS_Plane_Exp.DAT holds them: K = 0 for
              a point of an emission spectrum at fixed Omega, 1 for a point of a
              HERFD at fixed w (grouped and ordered as the file is read)
selective     rows (E, Y1, Y2) of the working selective XAFS
              (SelectiveXAFS_for_RIXS_Temp.DAT), at least 2, at most 5000
conv_xafs, parameters, lorentz  as for rixs(); the fit starts from the
              parameters' scale and absorption correction
peaks         a sequence of (C, A, W), one Lorentzian each (--peak C,A,W)
components    "A", "B" or "AB": the components the peaks go to
fit_scale, fit_abs_corr, fit_shift  free the scale (as a ratio to the
              parameters' one), the absorption correction, the shift
fix           names held at their starts ("peak1.width", "scale", ...): a
              sequence, or one str of comma-separated names
weights       "none" or "poisson" (1 / max(|I|, 1 % of the group's maximum))
progress      a callable of one str; the fit posts no lines at present

Returns the dict of fit-rixs --json ("parameters", "r_factor",
"chi2_reduced", "correlations_over_0_95", "iterations") and "selective", the
fitted selective XAFS (the rows "Apply" would write). A refusal of fit-rixs
("ERROR!!", "INPUT ERROR!!") is a ValueError with its text. The fit runs
without the GIL; Ctrl-C stops it after the iteration in hand and
KeyboardInterrupt is raised.)");
}

}  // namespace talvern::python
