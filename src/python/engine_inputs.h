#pragma once
// The engine's inputs as the pure functions of the module take them: NumPy
// rows for the selective and the conventional XAFS, and the parameter and
// Lorentzian files' values as a sequence in file order or a dict by name.
// Where talvern-cli would cut the inputs at a capacity (and say
// "CAUTION!!"), a function of the module refuses them instead, so that it
// never gives another result than the work-space would without saying so.

#include <string>

#include "engine/engine.h"
#include "python/bindings.h"
#include "workspace/parameters.h"
#include "workspace/row_io.h"

namespace talvern::python {

// The selective XAFS rows (E, Y1, Y2) and the other inputs of the engine.
struct EngineArgs {
  RowsRead sel;
  EngineInputs in;
};

// The engine's inputs from Python: `selective` rows of three (at least two,
// at most kRowCapacity), `conv_xafs` rows of two (none for no absorption,
// at most kConvXAFSCapacity), `parameters` and `lorentz`. A ValueError
// names the argument that cannot be taken.
EngineArgs engine_args(py::handle selective, py::handle conv_xafs, py::handle parameters,
                       py::handle lorentz);

// The seven values of RIXS_Calculation_Parameters.DAT: a sequence in file
// order or a dict of CalcParameters' names.
CalcParameters parameters_of(py::handle obj);

// The thirteen values of RIXS_Calculation_Lorentz.DAT: a sequence in file
// order (flag, widths A-D, positions A-D, amplitudes A-D) or a dict with
// two_component, width, position and amplitude; the flag 0 or 1.
LorentzSet lorentz_of(py::handle obj);

// Rows of an array checked by rows_array, as the engine holds rows read
// from a file, refused beyond `capacity` rows: `what` is the argument.
RowsRead rows_of(const py::array_t<double>& rows, const char* what, std::size_t capacity);

// A text of the core for an exception: "\n" for "\r\n", no line break at
// the end.
std::string python_text(const std::string& text);

// fit_rixs, bound by bind_engine_functions.
void bind_fit_rixs(py::module_& m);

}  // namespace talvern::python
