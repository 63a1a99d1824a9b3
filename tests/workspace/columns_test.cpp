#include "workspace/columns.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "app/load_measured.h"
#include "import/selective_import.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/load_messages.h"

namespace {

namespace files = talvern::files;
using talvern::ColumnRequest;
using talvern::ColumnChoice;
using talvern::FileKind;
using talvern::IntensityColumns;
using talvern::MainFormState;
using talvern::WorkSpace;
using talvern::test::read_file;
using talvern::test::TempDir;
using talvern::test::write_file;

std::string exact(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

ColumnChoice choice_of(const char* text) {
  std::string error;
  auto choice = talvern::parse_column_choice(text, error);
  EXPECT_TRUE(choice) << error;
  return choice.value_or(ColumnChoice{});
}

// Two work-spaces: one loaded through the column import, one from the
// equivalent plain file.
struct ColumnImport : ::testing::Test {
  TempDir tmp;
  WorkSpace converted{tmp.file("converted")}, plain{tmp.file("plain")};
  MainFormState form;
  std::vector<std::string> asked;  // the commands the import was asked for

  void SetUp() override {
    std::filesystem::create_directory(converted.dir());
    std::filesystem::create_directory(plain.dir());
  }
  talvern::ColumnImporter import;  // the column import the next file is read with
  talvern::UserFiles file(const std::string& name, const std::string& text) {
    write_file(tmp.file(name), text);
    return {[p = tmp.file(name)](FileKind) { return std::optional(p); }, import};
  }
  talvern::ColumnImporter answer(ColumnChoice choice) {
    return [this, choice](const ColumnRequest& r) {
      asked.emplace_back(r.command);
      return std::optional(choice);
    };
  }
  template <class Load>
  void expect_same_files(Load load, const std::string& measured, const std::string& equivalent,
                         ColumnChoice choice, std::initializer_list<const char*> names) {
    import = answer(choice);
    load(converted, file("measured.dat", measured), form);
    import = nullptr;
    EXPECT_NE(form.message.find("\r\n" + talvern::describe_columns(choice)), std::string::npos)
        << form.message;
    MainFormState plain_form;
    load(plain, file("plain.DAT", equivalent), plain_form);
    EXPECT_FALSE(plain_form.message.starts_with("ERROR!!")) << plain_form.message;
    for (const char* name : names)
      EXPECT_EQ(read_file(converted.file(name)), read_file(plain.file(name))) << name;
  }
};

TEST_F(ColumnImport, TransmissionScanWithAHeaderAndKeVGivesThePlainFilesWorkSpace) {
  std::string scan, equivalent;
  for (int i = 0; i < 21; ++i) scan += "# beamline header line " + std::to_string(i) + "\n";
  scan += "#  Energy Time Ia I0 I1 I2 If Iref muT muRef Ring Temp\n";
  scan.erase(scan.find("# beamline header line 20\n"), 26);  // 21 lines in all
  const double i0[] = {120000.5, 119870.25, 120133.0}, i1[] = {90981.7, 88000.0, 60000.125};
  const char* kev[] = {"7.1120", "7.1125", "7.113"};
  for (int r = 0; r < 3; ++r) {
    scan += std::string(kev[r]) + "  1.0  9e4  " + exact(i0[r]) + "  " + exact(i1[r]) +
            "  1 2 3 4 5 400.1 295\n";
    equivalent += exact(std::stod(kev[r]) * 1000.0) + " " + exact(std::log(i0[r] / i1[r])) + "\n";
  }
  const talvern::TextLayout layout = talvern::sniff_columns(scan);
  EXPECT_EQ(layout.header_lines, 21u);
  EXPECT_EQ(layout.columns, 12u);
  EXPECT_EQ(talvern::column_label(layout, 3), "c4 I0");
  EXPECT_TRUE(talvern::column_below(scan, layout, 0, 100.0));
  EXPECT_FALSE(talvern::column_below(scan, layout, 3, 100.0));

  ColumnChoice choice = choice_of("1,ln(4/5)");
  choice.kev = true;
  expect_same_files(talvern::LoadConventionalXAFS, scan, equivalent, choice,
                    {files::kConventionalXAFS});
  EXPECT_EQ(asked, std::vector<std::string>{"Load Conventional XAFS"});
  EXPECT_TRUE(form.message.ends_with("Columns: energy = c1 (keV -> eV), intensity = ln(c4/c5)"));
}

TEST_F(ColumnImport, CommaSeparatedFileWithAHeaderLine) {
  const std::string csv = "energy, intensity, error\n7040.5, 0.25, 0.01\n7041,0.5,0.02\r\n";
  const talvern::TextLayout layout = talvern::sniff_columns(csv);
  EXPECT_EQ(layout.separator, talvern::Separator::comma);
  EXPECT_EQ(layout.names, (std::vector<std::string>{"energy", "intensity", "error"}));
  expect_same_files(talvern::LoadExpRIXS, csv, "7040.5 0.25\n7041 0.5\n", choice_of("1,2"),
                    {files::kExpMinMax, files::kRIXSExp});
}

TEST_F(ColumnImport, FluorescenceOverI0) {
  const std::string fluo = "! If and I0\n7020;  50;  2e4\n7020.25; 100 ; 2.5e4\n7020.5;20;1e4;\n";
  expect_same_files(talvern::LoadXRF, fluo,
                    "7020 " + exact(50 / 2e4) + "\n7020.25 " + exact(100 / 2.5e4) + "\n7020.5 " +
                        exact(20 / 1e4) + "\n",
                    choice_of("1,2/3"), {files::kExpNonResonantEmission});
}

TEST_F(ColumnImport, PlainFilesNeverReachTheImportAndRefusalsChangeNothing) {
  import = answer(choice_of("1,2"));
  talvern::LoadXRF(converted, file("plain.DAT", "7020 2\n7021 4\n"), form);
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(form.message, "XRF data were introduced into \r\nC:\\TALVERN_WORK_SPACE.");

  write_file(converted.file(files::kConventionalXAFS), "kept\n");
  struct Case {
    const char* columns;
    const char* text;
    const char* message;
  } cases[] = {
      {"1,ln(2/3)", "E mu a\n7000 -1 2\n", "ERROR!!\r\nNo row of the file is left: in each of its 1 rows"},
      {"1,2/3", "7000 1 0\n7001 1 -2\n", "ERROR!!\r\nNo row of the file is left: in each of its 2 rows"},
      {"1,2/3", "7000 1e308 0.5\n", "ERROR!!\r\nLine 1 of the file gives a value"},
      {"1,2", "7000 1 2\n7001 1\n", "ERROR!!\r\nLine 2 of the file holds 2 values; each line\r\nmust hold 3."},
      {"1,4", "7000 1 2\n", "ERROR!!\r\nLine 1 of the file holds 3 values; each line\r\nmust hold 4."},
      {"1,2", "7000 1 2\n7001 1 x\n", "ERROR!!\r\nLine 2 of the file holds text"},
      {"1,2,3", "7000 1 2\n", "ERROR!!\r\nThe columns chosen give 3 values a row;"},
  };
  for (const Case& c : cases) {
    import = answer(choice_of(c.columns));
    form.message = "before";
    talvern::LoadConventionalXAFS(converted, file("bad.dat", c.text), form);
    EXPECT_TRUE(form.message.starts_with(c.message)) << c.columns << "\n" << form.message;
  }
  // Cancelling the import ends the command as cancelling the file dialog does.
  import = [](const ColumnRequest&) { return std::optional<ColumnChoice>(); };
  form.message = "before";
  talvern::LoadConventionalXAFS(converted, file("bad.dat", "E mu\n7000 1\n"), form);
  EXPECT_EQ(form.message, "before");
  EXPECT_EQ(read_file(converted.file(files::kConventionalXAFS)), "kept\n");
}

// Past the edge a transmission scan's I1 can reach 0 or below: those rows
// are left out and counted, the rest is loaded. B below 0 leaves a row out
// even where A/B would be a number (the last row: both chambers below 0).
TEST_F(ColumnImport, RowsWhoseRatioHasNoValueAreLeftOutAndCounted) {
  const std::string scan = "# E I0 I1\n6540 2 1\n6541 2 0\n6542 4 1\n6543 -1 2\n6544 0 1\n"
                           "6545 2 -3\n6546 -2 -4\n";
  struct Case {
    const char* columns;
    const char* plain;  // the rows kept
    const char* caution;
  } cases[] = {
      {"1,ln(2/3)", "6540\t0.693147\n6542\t1.38629\n",
       "CAUTION!! 5 rows were left out, where the ratio has no value\r\n(B at 0 or below, or A/B at "
       "0 or below under ln); the first is line 3."},
      {"1,2/3", "6540\t2\n6542\t4\n6543\t-0.5\n6544\t0\n",
       "CAUTION!! 3 rows were left out, where the ratio has no value"},
      {"1,3/2", "6540\t0.5\n6541\t0\n6542\t0.25\n6545\t-1.5\n",
       "CAUTION!! 3 rows were left out, where the ratio has no value\r\n(B at 0 or below, or A/B at "
       "0 or below under ln); the first is line 5."},
  };
  for (const Case& c : cases) {
    import = answer(choice_of(c.columns));
    talvern::LoadConventionalXAFS(converted, file("scan.dat", scan), form);
    EXPECT_EQ(read_file(converted.file(files::kConventionalXAFS)), c.plain) << c.columns;
    EXPECT_NE(form.message.find(c.caution), std::string::npos) << form.message;
    EXPECT_TRUE(form.message.starts_with("Conventional XAFS data were introduced")) << form.message;
  }
}

TEST_F(ColumnImport, RowsOfTheWrongWidthAreRefusedWithoutAnImport) {
  write_file(converted.file(files::kConventionalXAFS), "kept\n");
  talvern::LoadConventionalXAFS(converted, file("a.DAT", "7000 1\n\n7001 2 3\n7002 1\n"), form);
  EXPECT_EQ(form.message,
            "ERROR!!\r\nLine 3 of the file holds 3 values; each line\r\nmust hold 2. Nothing was "
            "introduced into \r\nC:\\TALVERN_WORK_SPACE.\r\nThe file holds 2 columns of numbers. "
            "Choose its columns with\r\nthe column import (talvern-cli: --columns).");
  EXPECT_EQ(read_file(converted.file(files::kConventionalXAFS)), "kept\n");

  // Commas are named; the general import takes three values a line; a
  // WIEN2k file is counted after the line of its header words.
  talvern::LoadXRF(converted, file("b.csv", "7000,1\n"), form);
  EXPECT_NE(form.message.find("separated by commas (\",\")"), std::string::npos) << form.message;
  talvern::XAFSReadingState state;
  talvern::LoadGeneral(converted, file("c.DAT", "0 1 1\n0.1 1\n"), state);
  EXPECT_TRUE(state.message.starts_with("ERROR!!\r\nLine 2 of the file holds 2 values;")) << state.message;
  talvern::Load1CompoWIEN2k(converted, file("d.xspec", "# ENERGY XAS Fe-K\n0 1 5\n0.1 2 5\n"), state);
  EXPECT_TRUE(state.message.starts_with("ERROR!!\r\nLine 2 of the file holds 3 values;")) << state.message;
  EXPECT_FALSE(converted.exists(files::kSelectiveReadingOrg));
}

TEST_F(ColumnImport, CautionsAfterTheMessage) {
  talvern::LoadConventionalXAFS(converted, file("empty.DAT", " \n"), form);
  EXPECT_EQ(form.message, "Conventional XAFS data were introduced into \r\nC:\\TALVERN_WORK_SPACE."
                          "\r\nCAUTION!! The file is empty; no values were read."
                          "\r\nCAUTION!! The file holds no numbers, so the stored spectrum is now "
                          "empty.");
  const WorkSpace missing{tmp.file("none")};
  talvern::LoadExpRIXS(missing, file("a.DAT", "7000 1\n"), form);
  EXPECT_EQ(form.message, "Experimental RIXS data were introduced into \r\nC:\\TALVERN_WORK_SPACE."
                          "\r\n" + std::string(talvern::kNoWorkSpaceCaution));
  EXPECT_FALSE(std::filesystem::exists(missing.dir()));
}

// A line whose every field the C library reads as a number is data,
// whatever its values: header skipping never drops it, and one that is not
// finite refuses the file at its line, with --skip-headers as without.
TEST_F(ColumnImport, HeaderSkippingNeverTakesALineOfNumbersForAHeader) {
  write_file(converted.file(files::kConventionalXAFS), "kept\n");
  const std::string not_finite = " of the file holds a value that is not\r\na finite number";
  const std::string not_a_number = " of the file holds text that is\r\nnot a number";
  const std::pair<const char*, const std::string*> rows[] = {
      {"nan 1 2", &not_finite},     {"7000 -INF 2", &not_finite}, {"1e999 1 2", &not_finite},
      {"7000 1 NaN(1)", &not_finite}, {"0x1p3 1 2", &not_a_number},
  };
  for (const auto& [row, message] : rows) {
    const std::string data = std::string(row) + "\n7000 1 2\n7001 1 2\n";
    for (const bool skip : {true, false}) {
      ColumnChoice choice = choice_of("1,2/3");
      choice.skip_headers = skip;
      import = answer(choice);
      talvern::LoadConventionalXAFS(converted, file("lead.dat", data), form);
      EXPECT_TRUE(form.message.starts_with("ERROR!!\r\nLine 1" + *message)) << row << "\n" << form.message;
    }
    // After lines that are not numbers, the line is still the first of the data.
    import = answer(choice_of("1,2/3"));
    talvern::LoadConventionalXAFS(converted, file("lead.dat", "# scan\n1st_scan 2nd 3rd\n" + data), form);
    EXPECT_TRUE(form.message.starts_with("ERROR!!\r\nLine 3" + *message)) << row << "\n" << form.message;
    EXPECT_EQ(read_file(converted.file(files::kConventionalXAFS)), "kept\n");
  }
}

// The import reads no further than the rows the load keeps: nothing past
// the row after the capacity is looked at; a line longer than 1 MB that the
// reading reaches refuses the file, naming the line.
TEST_F(ColumnImport, ReadsNoFurtherThanTheCapacityAndRefusesOverlongLines) {
  std::string scan = "# E I0 I1\n";
  for (int i = 0; i < 5001; ++i) scan += std::to_string(7000 + i) + " 3 1.5\n";
  import = answer(choice_of("1,2/3"));
  talvern::LoadConventionalXAFS(
      converted, file("long.dat", scan + "x y\n" + std::string(3 << 20, '7') + "\n"), form);
  EXPECT_TRUE(form.message.starts_with(talvern::capped_caution(5000, "pairs") +
                                       "Conventional XAFS data were introduced"))
      << form.message;
  const talvern::RowsRead kept = talvern::read_rows(converted.file(files::kConventionalXAFS), 2);
  ASSERT_EQ(kept.rows, 5000u);
  EXPECT_EQ(kept.at(4999, 0), 11999);
  EXPECT_EQ(kept.at(4999, 1), 2);

  // A comment of exactly 1 MB is read and passed over; one byte more is refused.
  std::string longest(std::size_t{1} << 20, 'x');
  longest[0] = '#';
  talvern::LoadConventionalXAFS(converted, file("h.dat", "E I0 I1\n" + longest + "\n7000 2 1\n"), form);
  EXPECT_EQ(read_file(converted.file(files::kConventionalXAFS)), "7000\t2\n");
  talvern::LoadConventionalXAFS(converted, file("h.dat", "E I0 I1\n" + longest + "x\n7000 4 1\n"), form);
  EXPECT_EQ(form.message, "ERROR!!\r\nLine 2 of the file is longer than 1 MB; no measured\r\nfile "
                          "holds such a line. Nothing was introduced into \r\nC:\\TALVERN_WORK_SPACE.");
  EXPECT_EQ(read_file(converted.file(files::kConventionalXAFS)), "7000\t2\n");
}

TEST(ColumnChoiceText, ShellFormsReadAndWriteBack) {
  for (const char* text : {"1,2", "1,ln(4/5)", "2,3/2,4", "1,2,2"})
    EXPECT_EQ(talvern::column_choice_text(choice_of(text)), text);
  EXPECT_EQ(choice_of(" 3 , ln( 4/5 ) ").intensities,
            (std::vector<IntensityColumns>{{IntensityColumns::log_ratio, 3, 4}}));
  std::string error;
  for (const char* bad : {"", "1", "0,2", "1,", "1,ln(4)", "1,2/", "a,2", "1,log(2/3)"})
    EXPECT_FALSE(talvern::parse_column_choice(bad, error)) << bad;
}

}  // namespace
