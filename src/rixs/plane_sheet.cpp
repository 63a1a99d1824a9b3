#include "rixs/plane_sheet.h"

#include "command/usage.h"
#include "rixs/measured_plane.h"
#include "rixs/plane_picture.h"
#include "workspace/file_names.h"
#include "workspace/user_save.h"

namespace talvern {
namespace {

using S = PlaneState;

// A radio pair of the dialog given as a flag: the flag chooses the second.
Field<S> second_of_pair(const char* caption, const char* option, int S::*member) {
  return {caption, option, [member](S& s, std::string_view) { s.*member = 1; },
          [member](const S& s) {
            return s.*member == 1 ? std::optional<std::string>("") : std::nullopt;
          }};
}

// The plane's map as the user's file `file`: an SVG document or a PNG picture.
UserSave save_picture(const WorkSpace& ws, const std::filesystem::path& file, const S& state,
                      bool svg, int width, int height) {
  const bool log = state.scale == 1;
  const std::optional<std::string> bytes =
      svg ? plane_svg(state.plane, log, width, height)
          : plane_png(render_plane(state.plane, log, width, height));
  if (!bytes) return {WriteStatus::cannot_write, {}};
  return save_user_file(ws.dir(), file, *bytes);
}

// "RIXS Plane..." from the shell: Ctrl-C ends the run after the excitation
// energy in hand and keeps the rows done, as "Stop" does in the dialog;
// --png FILE saves the map as a picture, and a FILE the work-space keeps is
// refused before the calculation starts.
void calculate(const WorkSpace& ws, S& state, CommandRun& run) {
  const auto png = run.options.get("--png");
  if (png) {
    std::string refusal = work_space_target_error(ws.dir(), std::string(*png));
    if (!refusal.empty()) {
      state.message = std::move(refusal);
      return;
    }
  }
  PlaneWatch watch;
  if (const auto* own = std::any_cast<PlaneWatch>(&run.watch)) watch = *own;
  watch.stop = run.stop;
  if (run.progress)
    watch.progress = [progress = run.progress](std::size_t done, std::size_t total) {
      progress(plane_progress_line(done, total));
    };
  CalculatePlane(ws, state, watch);
  if (png && !state.plane.empty()) {
    const std::filesystem::path file{std::string(*png)};
    std::error_code ec;
    const auto full = std::filesystem::absolute(file, ec);
    run.replay_options.emplace_back("--png", (ec ? file : full).string());
    const UserSave save = save_picture(ws, file, state, false, 1000, 700);
    if (!save) {
      run.outcome.after = save.refusal.empty()
                              ? "ERROR!! " + file.string() + " could not be written.\n"
                              : save.refusal + "\n";
      run.outcome.failed = true;
    } else if (const std::string caution = picture_font_caution(); !caution.empty()) {
      run.outcome.after = caution + "\n";
    }
  }
}

// "exp-set": the measured set listed, emptied (--clear) or without one
// group (--remove exc:OMEGA or herfd:W, as the list names them).
void exp_set(const WorkSpace& ws, S& state, CommandRun& run) {
  if (run.options.has("--clear"))
    ClearExpSet(ws, state);
  else if (const auto group = run.options.get("--remove"))
    RemoveExpGroup(ws, state, *group);
  else
    ListExpSet(ws, state);
}

using namespace files;

// What the model is calculated from.
const std::vector<const char*> kModelInputs{kSelectiveForRIXS, kConvXAFSNormSpectrum, kParameters,
                                            kLorentz};

// A measured group added to the set from a file of the user's.
const Touches kAddGroup{.reads = {kPlaneExp}, .writes = {kPlaneExp}, .yours = Touches::Yours::read};

}  // namespace

void SavePlanePicture(const WorkSpace& ws, const UserFiles& files, PlaneState& state, int width,
                      int height) {
  if (state.plane.empty()) {
    state.message = "ERROR!!\r\nThere is no plane to save; press Calculate first.";
    return;
  }
  const auto file =
      files.choose ? files.choose(FileRequest(FileKind::save_picture, "Save Picture")) : std::nullopt;
  if (!file) return;
  // A name without extension is saved as PNG, and says so.
  const std::string path = file->has_extension() ? file->string() : file->string() + ".png";
  const bool svg = path.size() >= 4 && (path.ends_with(".svg") || path.ends_with(".SVG"));
  const UserSave save = save_picture(ws, path, state, svg, width, height);
  state.message = save                   ? "The picture was saved as " + path + "."
                  : !save.refusal.empty() ? save.refusal
                                         : "ERROR!! " + path + " could not be written.";
  if (const std::string caution = picture_font_caution(); save && !svg && !caution.empty())
    state.message += "\r\n" + caution;
}

Sheet<PlaneState>& plane_sheet() {
  static Sheet<S> sheet{
      .open = OpenRIXSPlane,
      .fields = {sheet::text<S>("Exc. Energy from", "--from", &S::from_energy),
                 sheet::text<S>("to", "--to", &S::to_energy),
                 sheet::text<S>("step", "--step", &S::step_energy),
                 second_of_pair("Emission Axis", "--transfer", &S::axis),
                 second_of_pair("Intensity Scale", "--log", &S::scale),
                 sheet::text<S>("Exc. Energy of the Cut", "--exc", &S::cut_exc),
                 sheet::text<S>("Emission Energy of the HERFD", "--emission", &S::herfd_emission)},
      .commands = {
          {"Calculate", "rixs-plane",
           "[--from T] [--to T] [--step T]\n[--transfer] [--png FILE] [--log]",
           "RIXS over excitation energies --from ... --to by --step eV into RIXS_Plane.DAT "
           "(\"RIXS Plane...\"); the energies default to XAFS_MinMax.DAT at 0.5 eV, --transfer "
           "gives the energy transfer, --png FILE saves the colour map (--log: logarithmic "
           "intensity); Ctrl-C stops after the excitation energy in hand",
           calculate, {.reads = kModelInputs, .writes = {kRIXSPlane}}, true},
          {"Save Data...", "", "", "", sheet::run<S>(SavePlaneData),
           {.reads = {kRIXSPlane}, .yours = Touches::Yours::written}},
          {"Load Exp. Plane...", "load-exp-plane", kFileUsage,
           "a measured plane, rows OMEGA w I, replaces the measured emission spectra of "
           "RIXS_Plane_Exp.DAT (\"Load Exp. Plane...\")",
           sheet::run<S>(LoadExpPlane),
           {.writes = {kPlaneExp}, .yours = Touches::Yours::read}, true},
          {"Add Exp. Cut...", "load-exp-cut",
           "FILE --exc T [--columns COLUMNS]\n[--kev] [--skip-headers]",
           "a measured emission spectrum, rows w I, at excitation energy T joins "
           "RIXS_Plane_Exp.DAT, replacing one at the same energy (\"Add Exp. Cut...\")",
           sheet::run<S>(AddExpCut), kAddGroup, true},
          {"Add Exp. HERFD...", "load-exp-herfd",
           "FILE --emission T [--columns COLUMNS]\n[--kev] [--skip-headers]",
           "a measured HERFD, rows OMEGA I, at emission energy T joins RIXS_Plane_Exp.DAT, "
           "replacing one at the same energy (\"Add Exp. HERFD...\")",
           sheet::run<S>(AddExpHERFD), kAddGroup, true},
          {"", "exp-set", "[--clear] [--remove GROUP]",
           "list the measured set of RIXS_Plane_Exp.DAT, empty it (--clear) or remove one "
           "group (--remove exc:OMEGA or herfd:W)",
           exp_set, {.reads = {kPlaneExp}, .writes = {kPlaneExp}}, true},
          {"Compare", "plane-compare", "[--transfer]",
           "the model at every measured point of RIXS_Plane_Exp.DAT into RIXS_Plane_Compare.DAT "
           "(--transfer: the energy transfer in its second column), with the R-factor of each "
           "group and of all",
           sheet::run<S>(ComparePlane),
           {.reads = {kPlaneExp, kSelectiveForRIXS, kConvXAFSNormSpectrum, kParameters, kLorentz},
            .writes = {kPlaneCompare}},
           true},
      }};
  return sheet;
}

}  // namespace talvern
