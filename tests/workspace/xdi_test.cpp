#include "workspace/xdi.h"

#include <gtest/gtest.h>

#include <string>

#include "app/load_measured.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/row_io.h"
#include "xafs/conv_xafs.h"
#include "xafs/edge_table.h"

namespace {

namespace files = talvern::files;
using talvern::ColumnChoice;
using talvern::IntensityColumns;
using talvern::test::TempDir;
using talvern::test::write_file;

// An XDI file: energy, i0, itrans and mutrans, named out of order in the header.
constexpr char kXdi[] =
    "# XDI/1.0 GSE/1.0\n"
    "# Column.4: mutrans\n"
    "# Column.1: energy eV\n"
    "# Column.2: i0\n"
    "# Column.3: itrans\n"
    "# Element.symbol: Fe\n"
    "# Element.edge: K\n"
    "# Scan.start_time: 2020-01-01T10:00:00\n"
    "#----\n"
    "# energy i0 itrans mutrans\n"
    "7100.0 1000 400 0.9163\n"
    "7110.5 1000 200 1.6094\n"
    "7120.0 1000 150 1.8971\n";

TEST(Xdi, TheHeaderNamesTheColumnsAndAShellLoadTakesTheProposedOnes) {
  const talvern::TextLayout layout = talvern::sniff_columns(kXdi);
  ASSERT_EQ(layout.names.size(), 4u);
  EXPECT_EQ(layout.names[0], "energy eV");
  EXPECT_EQ(talvern::column_label(layout, 3), "c4 mutrans");
  ASSERT_TRUE(layout.proposal);
  EXPECT_EQ(talvern::column_choice_text(*layout.proposal), "1,4");

  TempDir tmp;
  const talvern::WorkSpace ws{tmp.file("ws")};
  std::filesystem::create_directory(ws.dir());
  write_file(tmp.file("fe.xdi"), kXdi);
  talvern::MainFormState form;
  // No column import (talvern-cli without --columns): the proposal is taken.
  talvern::LoadConventionalXAFS(
      ws, [p = tmp.file("fe.xdi")](talvern::FileKind) { return std::optional(p); }, form);
  EXPECT_NE(form.message.find("\r\nXDI: Fe K\r\nColumns: energy = c1, intensity = c4"),
            std::string::npos)
      << form.message;
  const talvern::RowsRead rows = talvern::read_rows(ws.file(files::kConventionalXAFS), 2);
  ASSERT_EQ(rows.rows, 3u);
  EXPECT_EQ(rows.at(1, 0), 7110.5);
  EXPECT_EQ(rows.at(1, 1), 1.6094);

  // The column import is shown the names and starts from the proposal.
  std::optional<talvern::TextLayout> shown;
  const talvern::UserFiles asked{
      [p = tmp.file("fe.xdi")](talvern::FileKind) { return std::optional(p); },
      [&](const talvern::ColumnRequest& r) {
        shown = r.layout;
        return std::optional(ColumnChoice{.energy = 0, .intensities = {{.a = 2}}});
      }};
  talvern::LoadConventionalXAFS(ws, asked, form);
  ASSERT_TRUE(shown && shown->proposal);
  EXPECT_EQ(shown->names[2], "itrans");
  EXPECT_EQ(talvern::read_rows(ws.file(files::kConventionalXAFS), 2).at(1, 1), 200.0);
}

TEST(Xdi, TheNamedEdgeIsProposedInTheEdgeListUntilAFileNamesNone) {
  TempDir tmp;
  const talvern::WorkSpace ws{tmp.file("ws")};
  std::filesystem::create_directory(ws.dir());
  write_file(tmp.file("fe.xdi"), kXdi);
  std::string pt_xdi = kXdi;
  pt_xdi.replace(pt_xdi.find("Fe\n"), 3, "pt\n").replace(pt_xdi.find("K\n"), 2, "L3\n");
  write_file(tmp.file("pt.xdi"), pt_xdi);
  write_file(tmp.file("plain.dat"), "7100 0.9\n7110 1.6\n7120 1.9\n");
  const auto load = [&](const char* name) {
    talvern::MainFormState form;
    talvern::LoadConventionalXAFS(
        ws, [p = tmp.file(name)](talvern::FileKind) { return std::optional(p); }, form);
  };
  const int fe = talvern::edge_named("Fe K").value();

  load("fe.xdi");
  talvern::ConvXAFSState state;
  talvern::LoadXAFS(ws, state);
  EXPECT_EQ(state.selected_edge, fe);
  EXPECT_NE(state.message.find("names the edge Fe K-edge; it was selected"), std::string::npos)
      << state.message;
  // An edge the user selected stays, with a caution; an edge beyond the
  // table is found by its name in any case.
  load("pt.xdi");
  talvern::LoadXAFS(ws, state);
  EXPECT_EQ(state.selected_edge, fe);
  EXPECT_NE(state.message.find("CAUTION!! The XDI file names the edge Pt L3-edge"),
            std::string::npos)
      << state.message;
  state.selected_edge = -1;
  talvern::LoadXAFS(ws, state);
  EXPECT_EQ(state.selected_edge, talvern::edge_named("Pt L3").value());
  // Scans merged propose the edge of the first file.
  talvern::UserFiles both;
  both.choose_several = [&](const talvern::FileRequest&) {
    return talvern::ChosenFiles{{tmp.file("fe.xdi"), tmp.file("pt.xdi")}};
  };
  talvern::MainFormState form;
  talvern::LoadConventionalXAFS(ws, both, form);
  talvern::ConvXAFSState merged;
  talvern::LoadXAFS(ws, merged);
  EXPECT_EQ(merged.selected_edge, fe) << form.message;
  // A file that names no edge proposes none, not the last file's.
  load("plain.dat");
  talvern::ConvXAFSState fresh;
  talvern::LoadXAFS(ws, fresh);
  EXPECT_EQ(fresh.selected_edge, -1);
  EXPECT_EQ(fresh.message.find("XDI"), std::string::npos) << fresh.message;
}

TEST(Xdi, ProposalPrefersNormalisedThenMuThenTheRatiosAndNeedsAnEnergy) {
  const auto proposed = [](std::vector<std::string> names) {
    const auto c = talvern::propose_xdi_columns(names);
    return c ? talvern::column_choice_text(*c) : std::string("none");
  };
  EXPECT_EQ(proposed({"Energy eV", "mutrans", "normtrans"}), "1,3");
  EXPECT_EQ(proposed({"i0", "E", "mufluor", "itrans"}), "2,3");
  EXPECT_EQ(proposed({"energy", "itrans", "i0"}), "1,ln(3/2)");
  EXPECT_EQ(proposed({"energy", "i0", "ifluor"}), "1,3/2");
  EXPECT_EQ(proposed({"angle", "mutrans"}), "none");
  EXPECT_EQ(proposed({"energy", "i0"}), "none");
  // The absorber is read from the header only, and said once.
  EXPECT_EQ(talvern::xdi_hint(talvern::read_xdi_header(kXdi)), "XDI: Fe K");
  EXPECT_EQ(talvern::xdi_hint(talvern::read_xdi_header("# XDI/1.0\n1 2\n# Element.edge: K\n")), "");
  EXPECT_FALSE(talvern::is_xdi("1 2\n# XDI/1.0\n"));
}

}  // namespace
