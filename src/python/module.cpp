// `import talvern`: the work-space commands as methods of a WorkSpace, the
// engine's calculations as functions of NumPy arrays, and the .DAT files.

#include "python/bindings.h"

PYBIND11_MODULE(talvern, m) {
  m.doc() =
      "TALVERN from Python: RIXS from a conventional XAFS, an XRF model and a selective XAFS.\n\n"
      "WorkSpace(path) runs the commands of talvern-cli, one method each; rixs, rixs_plane,\n"
      "edge_step and fit_rixs calculate from arrays without a work-space; read_dat and\n"
      "write_dat read and write .DAT files as the work-space does.";
  m.attr("__version__") = TALVERN_VERSION;
  talvern::python::bind_work_space(m);
  talvern::python::bind_dat_files(m);
  talvern::python::bind_engine_functions(m);
}
