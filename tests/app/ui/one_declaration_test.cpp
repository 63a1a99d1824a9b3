// One declaration is enough: a command added to a dialog's sheet, and to
// nothing else, is a subcommand of talvern-cli with its help and its usage
// errors, a binding of the dialog, and a line of the history from both.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include <QLineEdit>
#include <QPlainTextEdit>

#include "app/commands.h"
#include "app/main_form.h"
#include "command/shell.h"
#include "support/temp_dir.h"
#include "xafs/conv_xafs_sheet.h"
#include "xafs/ui/CConvXAFS.h"

namespace {

namespace fs = std::filesystem;
using talvern::ConvXAFSState;

// What `print` writes into a FILE*, as a string.
template <class Print>
std::string printed(Print print) {
  char* data = nullptr;
  std::size_t size = 0;
  std::FILE* f = ::open_memstream(&data, &size);
  print(f);
  std::fclose(f);
  std::string text(data, size);
  std::free(data);
  return text;
}

std::string last_line(const fs::path& history) {
  std::string text = talvern::test::read_file(history);
  if (!text.empty()) text.pop_back();
  return text.substr(text.rfind('\n') + 1);
}

TEST(OneDeclaration, ACommandAddedToASheetIsASubcommandAndABindingOfItsDialog) {
  auto& sheet = talvern::conv_xafs_sheet();
  sheet.commands.push_back(
      {"Echo Core Energy", "xafs-echo", "--core-energy TEXT [--loud]", "say the core energy box",
       [](const talvern::WorkSpace&, ConvXAFSState& s, talvern::CommandRun& run) {
         s.message = "core energy " + s.core_energy + (run.options.has("--loud") ? "!" : "");
       }});
  struct Restore {
    talvern::Sheet<ConvXAFSState>& sheet;
    ~Restore() { sheet.commands.pop_back(); }
  } restore{sheet};

  talvern::test::TempDir tmp;
  const talvern::WorkSpace ws(tmp.path() / "ws");
  talvern::MainFormState form;
  talvern::construct_work_space(ws, form);

  // The shell: help, usage errors, the run and its line.
  const std::vector<talvern::Subcommand> list = talvern::all_subcommands();
  EXPECT_NE(printed([&](std::FILE* f) { talvern::print_help(f, list); })
                .find("  xafs-echo --core-energy TEXT [--loud]\n"),
            std::string::npos);
  const talvern::Subcommand* echo = talvern::find_subcommand(list, "xafs-echo");
  ASSERT_NE(echo, nullptr);
  EXPECT_THROW(talvern::parse_command_line(*echo, {"--loud"}), talvern::UsageError);
  EXPECT_THROW(talvern::parse_command_line(*echo, {"--core-energy", "1", "--edge", "7"}),
               talvern::UsageError);
  const std::string out = printed([&](std::FILE* f) {
    talvern::ShellRun shell;
    shell.out = f;
    EXPECT_EQ(talvern::run_command_line(
                  ws, *echo, talvern::parse_command_line(*echo, {"--core-energy", "7113.8", "--loud"}),
                  shell),
              0);
  });
  EXPECT_EQ(out, "core energy 7113.8!\n");
  EXPECT_EQ(last_line(ws.file("TALVERN_History.sh")),
            "talvern-cli xafs-echo --core-energy 7113.8 --loud");

  // The dialog: bound with the others, it runs on the boxes and is written down.
  talvern::CConvXAFS dialog(ws);
  const auto names = dialog.commandNames();
  EXPECT_NE(std::find(names.begin(), names.end(), "Echo Core Energy"), names.end());
  dialog.findChild<QLineEdit*>("coreEnergyBox")->setText("7000 eV");
  ASSERT_TRUE(dialog.runNamed("Echo Core Energy"));
  EXPECT_EQ(dialog.findChild<QPlainTextEdit*>("messagePane")->toPlainText().toStdString(),
            "core energy 7000 eV");
  EXPECT_EQ(last_line(ws.file("TALVERN_History.sh")),
            "talvern-cli xafs-echo --core-energy '7000 eV'");
}

}  // namespace
