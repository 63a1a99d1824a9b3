#include "command/subcommands.h"

namespace talvern {

std::shared_ptr<FileRecord> record_files(CommandRun& run) {
  auto record = std::make_shared<FileRecord>();
  if (run.files.choose)
    run.files.choose = [record, choose = std::move(run.files.choose)](const FileRequest& request) {
      auto file = choose(request);
      if (file) record->chosen.push_back(*file);
      return file;
    };
  if (run.files.choose_several)
    run.files.choose_several = [record, choose = std::move(run.files.choose_several)](
                                   const FileRequest& request) {
      ChosenFiles chosen = choose(request);
      record->chosen.insert(record->chosen.end(), chosen.files.begin(), chosen.files.end());
      record->align = chosen.align && chosen.files.size() > 1;
      return chosen;
    };
  if (run.files.choose_groups)
    run.files.choose_groups = [record, choose = std::move(run.files.choose_groups)](
                                  const GroupRequest& request, std::string& error) {
      auto picked = choose(request, error);
      if (picked)
        for (std::size_t i : *picked)
          if (i < request.groups.size()) record->groups.push_back(group_name(request.groups, i));
      return picked;
    };
  if (run.files.import_columns)
    run.files.import_columns = [record, ask = std::move(run.files.import_columns)](
                                   const ColumnRequest& request) {
      auto choice = ask(request);
      if (choice) record->columns = choice;
      return choice;
    };
  return record;
}

std::string absolute_text(const std::filesystem::path& file) {
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(file, ec);
  return (ec ? file : full).string();
}

}  // namespace talvern
