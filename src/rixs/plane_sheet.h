#pragma once
// The "RIXS Plane" dialog as a command sheet.

#include "command/sheet.h"
#include "rixs/rixs_plane.h"

namespace talvern {

Sheet<PlaneState>& plane_sheet();

// "Save Picture...": the plane as drawn (`width` x `height` pixels, the
// intensity scale of the state) into a PNG or, for a name ending in ".svg",
// an SVG file the user chooses; a name without extension gets ".png". A
// cancelled file dialog changes nothing.
void SavePlanePicture(const WorkSpace& ws, const UserFiles& files, PlaneState& state, int width,
                      int height);
// The files it touches: the user's picture alone.
inline const Touches kSavePlanePicture{.yours = Touches::Yours::written};

}  // namespace talvern
