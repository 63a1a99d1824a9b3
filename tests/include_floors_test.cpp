// The floors of src/ (CONTRIBUTING.md, "Floors"): every #include of every
// source file points to its own folder or down, never up or sideways.

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

namespace fs = std::filesystem;

namespace {

// The core folders from low to high; the dialog folders share a floor and
// do not include one another.
const std::map<std::string, int> kFloor = {
    {"workspace", 0}, {"plot", 1}, {"command", 2}, {"engine", 3}, {"xafs", 4},
    {"import", 4},    {"xrf", 4},  {"rixs", 4},    {"refine", 4}, {"app", 5},
};

// Where a file lies: its top folder under src/, and whether in its ui/.
struct Place {
  std::string folder;
  bool ui = false;
};

Place place_of(const fs::path& relative) {
  auto part = relative.begin();
  Place p{part->string()};
  ++part;
  p.ui = part != relative.end() && *part == "ui";
  return p;
}

// Whether a file at `from` may include one at `to`; nothing when a folder
// has no place in the floors yet.
std::optional<bool> may_include(const Place& from, const Place& to) {
  // talvern-cli and the Python module stand on top, each of its own, and
  // use the core only.
  const auto top = [](const Place& p) { return p.folder == "cli" || p.folder == "python"; };
  for (const Place* p : {&from, &to})
    if (p->folder != "gui" && !top(*p) && !kFloor.contains(p->folder)) return std::nullopt;
  if (top(to)) return from.folder == to.folder;
  if (top(from)) return !to.ui && to.folder != "gui";  // the core only
  if (from.folder == "app" && from.ui) return true;               // opens every dialog
  if (to.folder == "gui") return from.folder == "gui" || from.ui;
  if (to.ui) return from.ui && from.folder == to.folder;
  if (from.folder == "gui") return true;  // the shared widgets use only the core
  return from.folder == to.folder || kFloor.at(to.folder) < kFloor.at(from.folder);
}

TEST(IncludeFloors, TheRuleRefusesWhatTheLayoutForbids) {
  const struct {
    Place from, to;
    bool allowed;
  } cases[] = {
      {{"plot"}, {"workspace"}, true},        {{"workspace"}, {"plot"}, false},
      {{"refine"}, {"engine"}, true},         {{"refine"}, {"rixs"}, false},
      {{"xrf"}, {"rixs"}, false},             {{"engine"}, {"rixs"}, false},
      {{"rixs", true}, {"rixs", true}, true}, {{"rixs", true}, {"refine", true}, false},
      {{"rixs", true}, {"refine"}, false},    {{"rixs"}, {"rixs", true}, false},
      {{"app", true}, {"refine", true}, true}, {{"app"}, {"rixs"}, true},
      {{"gui"}, {"rixs", true}, false},        {{"rixs"}, {"gui"}, false},
      {{"cli"}, {"app"}, true},                {{"cli"}, {"app", true}, false},
      {{"python"}, {"engine"}, true},          {{"python"}, {"gui"}, false},
      {{"python"}, {"cli"}, false},            {{"app"}, {"python"}, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(may_include(c.from, c.to), c.allowed)
        << c.from.folder << (c.from.ui ? "/ui" : "") << " -> " << c.to.folder
        << (c.to.ui ? "/ui" : "");
  EXPECT_EQ(may_include({"newfolder"}, {"workspace"}), std::nullopt);
}

TEST(IncludeFloors, EveryIncludeOfTheSourcesPointsDown) {
  const fs::path src = fs::path(__FILE__).parent_path().parent_path() / "src";
  ASSERT_TRUE(fs::is_directory(src / "engine")) << src;
  std::size_t arrows = 0;
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    const fs::path& file = entry.path();
    if (file.extension() != ".h" && file.extension() != ".cpp") continue;
    const fs::path relative = fs::relative(file, src);
    const Place from = place_of(relative);
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
      if (!line.starts_with("#include \"")) continue;
      const std::string target = line.substr(10, line.find('"', 10) - 10);
      const std::optional<bool> allowed = may_include(from, place_of(target));
      ++arrows;
      if (!allowed) ADD_FAILURE() << relative << " or " << target << " lies in no floor";
      else if (!*allowed) ADD_FAILURE() << relative << " includes " << target;
    }
  }
  EXPECT_GT(arrows, 100u);
}

}  // namespace
