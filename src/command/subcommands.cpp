#include "command/subcommands.h"

#include "workspace/write_log.h"

namespace talvern {

bool Outcome::refused() const {
  return failed || failure.has_value() || message.starts_with("ERROR!!") ||
         message.starts_with("INPUT ERROR!!") || has_write_caution(message);
}

std::shared_ptr<FileRecord> record_files(CommandRun& run) {
  auto record = std::make_shared<FileRecord>();
  if (run.files.choose)
    run.files.choose = [record, choose = std::move(run.files.choose)](const FileRequest& request) {
      auto file = choose(request);
      if (file) record->chosen.push_back(*file);
      return file;
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

}  // namespace talvern
