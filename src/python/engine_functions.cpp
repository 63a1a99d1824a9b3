#include "python/bindings.h"

namespace talvern::python {

void bind_engine_functions(py::module_&) {}

}  // namespace talvern::python
