#include "app/main_form_sheet.h"

#include "app/load_measured.h"
#include "command/usage.h"
#include "engine/engine.h"
#include "xrf/emission_model.h"
#include "workspace/file_names.h"
#include "workspace/load_messages.h"
#include "workspace/project_file.h"
#include "workspace/row_io.h"

namespace talvern {
namespace {

// A load of the main form; without a work-space it is refused.
template <auto Load>
void load(const WorkSpace& ws, MainFormState& form, CommandRun& run) {
  run.outcome.failure = Load(ws, run.files, form);
  run.outcome.failed |= form.message.find(kNoWorkSpaceCaution) != std::string::npos;
}

// What the engine reads and writes at one excitation energy.
const Touches kCalculation{.reads = {files::kSelectiveForRIXS, files::kConvXAFSNormSpectrum,
                                     files::kParameters, files::kLorentz},
                           .writes = {files::kCalculatedRIXS}};

}  // namespace

Sheet<MainFormState>& main_form_sheet() {
  using S = MainFormState;
  static Sheet<S> sheet{
      .commands = {
          {"Construct Work-Space", "construct", "",
           "make the work-space and its placeholder files (\"Construct Work-Space\")",
           sheet::run<S>(construct_work_space),
           {.writes = {files::kParameters, files::kLorentz, files::kEmissionExcEnergy,
                       files::kNonResonantEmission, files::kSelectiveForRIXSTemp,
                       files::kCalculatedRIXS}}},
          {"", "calc-rixs", "OMEGA", "calculate the RIXS spectrum at excitation energy OMEGA (eV)",
           [](const WorkSpace& ws, S& form, CommandRun& run) {
             const double omega = number_arg(run.arguments.at(0));
             const EngineReport report = CalculateRIXS(ws, omega);
             form.message = engine_message(report, files::kCalculatedRIXS);
             if (report.status != EngineReport::Status::ok) return;
             // The correction's caution before the engine's own lines.
             std::string caution;
             add_caution(caution, absorption_correction_caution(ws, omega));
             if (!caution.empty() && form.message.starts_with("CAUTION!!\r\n"))
               form.message = form.message.substr(std::string_view("CAUTION!!\r\n").size());
             form.message = caution + form.message;
           },
           kCalculation},
          {"", "calc-emission", "OMEGA",
           "calculate the Lorentzian emission model at excitation energy OMEGA (eV)",
           [](const WorkSpace& ws, S& form, CommandRun& run) {
             const double omega = number_arg(run.arguments.at(0));
             form.message = engine_message(CalculateNonResonantEmission(ws, omega),
                                           files::kNonResonantEmission);
           },
           {.reads = {files::kParameters, files::kLorentzTemp},
            .writes = {files::kNonResonantEmission}}},
          {"Load Exp. RIXS", "load-exp-rixs", kScansUsage,
           "bring a measured RIXS spectrum into the work-space (\"Load Exp. RIXS\")",
           load<LoadExpRIXS>,
           {.writes = {files::kRIXSExp, files::kExpMinMax, files::kMergedScans},
            .yours = Touches::Yours::read}},
          {"Load Conventional XAFS", "load-conv-xafs", kScansUsage,
           "bring a conventional XAFS spectrum into the work-space (\"Load Conventional XAFS\")",
           load<LoadConventionalXAFS>,
           {.writes = {files::kConventionalXAFS, files::kConventionalXAFSAbsorber,
                       files::kMergedScans},
            .yours = Touches::Yours::read}},
          {"Load XRF", "load-xrf", kScansUsage,
           "bring an XRF spectrum into the work-space (\"Load XRF\")", load<LoadXRF>,
           {.writes = {files::kExpNonResonantEmission, files::kMergedScans},
            .yours = Touches::Yours::read}},
          {"", "project-list", "FILE",
           "list the groups of a project file: index, label, number of points and energy range "
           "(for --group of the loads)",
           [](const WorkSpace&, S& form, CommandRun& run) {
             run.record = false;  // it changes nothing
             const auto file = run.files.choose ? run.files.choose(FileRequest(FileKind::data))
                                                : std::nullopt;
             if (!file) return;
             std::string bytes;
             if (!read_text(*file, bytes)) {
               run.outcome.failure = read_failure(*file);
               return;
             }
             const ProjectFile project = is_gzip(bytes)
                                             ? read_project(bytes, file->string())
                                             : ProjectFile{{}, "ERROR!!\r\n" + file->string() +
                                                                   "\r\nis not a project file: it is not gzip "
                                                                   "compressed."};
             form.message = project.error.empty()
                                ? std::to_string(project.groups.size()) + " groups in " +
                                      file->string() + ":" + group_list(project.groups)
                                : project.error;
           },
           {.yours = Touches::Yours::read}},
      }};
  return sheet;
}

}  // namespace talvern
