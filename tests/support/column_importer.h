// Test helper: a column import set for the life of the object.
#pragma once

#include "workspace/user_file.h"

namespace talvern::test {

class ScopedColumnImporter {
 public:
  explicit ScopedColumnImporter(ColumnImporter importer, bool every_file = false)
      : before_(set_column_importer(std::move(importer), every_file)) {}
  ~ScopedColumnImporter() { set_column_importer(std::move(before_)); }
  ScopedColumnImporter(const ScopedColumnImporter&) = delete;
  ScopedColumnImporter& operator=(const ScopedColumnImporter&) = delete;

 private:
  ColumnImporter before_;
};

}  // namespace talvern::test
