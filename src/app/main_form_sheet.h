#pragma once
// The commands of the main form (and the engine's two, which only the
// shell offers) as a command sheet.

#include "app/main_form.h"
#include "command/sheet.h"

namespace talvern {

Sheet<MainFormState>& main_form_sheet();

}  // namespace talvern
