// The RIXS plane: its rows against single calculations, the file layout,
// the energy-transfer axis, a stopped run, refused inputs, cuts and the picture.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "rixs/plane_picture.h"
#include "rixs/plane_sheet.h"
#include "rixs/rixs_plane.h"
#include "support/optim_workspace.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/number_text.h"
#include "workspace/row_io.h"

namespace {

namespace files = talvern::files;
using namespace talvern;
using namespace talvern::test;

class RixsPlaneTest : public ::testing::Test {
 protected:
  TempDir dir;
  WorkSpace ws{dir.path()};
  void SetUp() override { make_optim_workspace(ws, true); }

  PlaneState plane(const char* from, const char* to, const char* step, int axis = 0,
                   const PlaneWatch& watch = {}) {
    PlaneState s = OpenRIXSPlane(ws);
    s.from_energy = from;
    s.to_energy = to;
    s.step_energy = step;
    s.axis = axis;
    CalculatePlane(ws, s, watch);
    return s;
  }
};

TEST_F(RixsPlaneTest, EachBlockIsTheSingleCalculationAtItsExcitationEnergy) {
  const PlaneState opened = OpenRIXSPlane(ws);
  EXPECT_EQ(opened.from_energy, "7110.");
  EXPECT_EQ(opened.to_energy, "7115.9");
  EXPECT_EQ(opened.step_energy, "0.5");

  // 7110.3 ... 7116.3: the last one is reached within a millionth of a step.
  const PlaneState s = plane("7110.3", "7116.3", "1.2");
  EXPECT_EQ(s.message, "RIXS_Plane.DAT: 6 excitation energies x 25 emission energies.");
  const std::vector<std::string> lines = lines_of(read_file(dir.file(files::kRIXSPlane)));
  ASSERT_EQ(lines.size(), 6u * 26);
  for (std::size_t r = 0; r < 6; ++r) {
    const double omega = 7110.3 + 1.2 * static_cast<double>(r);
    ASSERT_EQ(CalculateRIXS(ws, omega).status, EngineReport::Status::ok);
    const std::vector<std::string> single = lines_of(read_file(dir.file(files::kCalculatedRIXS)));
    ASSERT_EQ(single.size(), 25u);
    for (std::size_t k = 0; k < 25; ++k)
      EXPECT_EQ(lines[r * 26 + k], format_g6(omega) + "\t" + single[k]) << r << " " << k;
    EXPECT_EQ(lines[r * 26 + 25], "") << "a blank line after each excitation energy";
  }
  // The reader of the work-space takes the file as rows of five.
  const RowsRead back = read_rows(dir.file(files::kRIXSPlane), 5, kPlanePointCapacity);
  ASSERT_EQ(back.rows, 150u);
  EXPECT_FALSE(back.bad_token);

  // Energy transfer: the second column is omega - w, the intensities stay.
  const PlaneState t = plane("7110.3", "7116.3", "1.2", 1);
  const RowsRead tb = read_rows(dir.file(files::kRIXSPlane), 5, kPlanePointCapacity);
  ASSERT_EQ(tb.rows, 150u);
  for (std::size_t i = 0; i < 150; ++i) {
    EXPECT_EQ(tb.at(i, 1), through_g6(tb.at(i, 0) - back.at(i, 1))) << i;
    for (std::size_t c : {0, 2, 3, 4}) EXPECT_EQ(tb.at(i, c), back.at(i, c));
  }
  EXPECT_DOUBLE_EQ(t.plane.axis_value(2, 0), t.plane.omega[2] - 7050.0);

  // 7110 ... 7111.4 by 0.2: (to - from) / step falls short of 7 by rounding
  // alone, and the last energy is still taken.
  ASSERT_LT((7111.4 - 7110.0) / 0.2, 7.0);
  const PlaneState short_of = plane("7110", "7111.4", "0.2");
  EXPECT_EQ(short_of.message, "RIXS_Plane.DAT: 8 excitation energies x 25 emission energies.");
  ASSERT_EQ(short_of.plane.omega.size(), 8u);
  EXPECT_DOUBLE_EQ(short_of.plane.omega.back(), 7111.4);
}

TEST_F(RixsPlaneTest, StopKeepsAWholeFileOfTheExcitationEnergiesDone) {
  std::atomic<bool> stop{false};
  PlaneWatch watch;
  watch.stop = &stop;
  std::vector<std::size_t> seen;
  watch.progress = [&](std::size_t done, std::size_t total) {
    seen.push_back(done);
    EXPECT_EQ(total, 11u);
    if (done == 3) stop.store(true);
  };
  const PlaneState s = plane("7110", "7115", "0.5", 0, watch);
  EXPECT_EQ(seen, (std::vector<std::size_t>{1, 2, 3}));
  EXPECT_EQ(s.message,
            "CAUTION!!\r\nThe calculation was stopped after 3 of 11\r\nexcitation energies; "
            "RIXS_Plane.DAT holds those done.\r\n"
            "RIXS_Plane.DAT: 3 excitation energies x 25 emission energies.");
  const std::string text = read_file(dir.file(files::kRIXSPlane));
  EXPECT_EQ(lines_of(text).size(), 3u * 26);
  EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
  EXPECT_EQ(s.plane.rows(), 3u);
}

TEST_F(RixsPlaneTest, RefusedInputsLeaveTheFileAndEngineFailuresEmptyIt) {
  write_file(dir.file(files::kRIXSPlane), "old\n");
  const struct { const char *from, *to, *step, *begins; } refused[] = {
      {"7110", "7115", "0", "ERROR!!\r\nThe step must be above 0"},
      {"7115", "7110", "0.5", "ERROR!!\r\nThe step must be above 0"},
      {"7110", "71x5", "0.5", "ERROR!!\r\nThe excitation energies (from, to, step) must be numbers."},
      {"", "7115", "0.5", "ERROR!!\r\nThe excitation energies (from, to, step) must be numbers."},
      {"900", "7115", "0.5", "ERROR!!\r\nThe excitation energies must lie within 1000"},
      {"7110", "17110", "0.001", "ERROR!!\r\n10000001 excitation energies x 25 emission energies exceed"},
  };
  for (const auto& c : refused) {
    const PlaneState s = plane(c.from, c.to, c.step);
    EXPECT_TRUE(s.message.starts_with(c.begins)) << s.message;
    EXPECT_TRUE(s.plane.empty());
  }
  EXPECT_EQ(read_file(dir.file(files::kRIXSPlane)), "old\n");

  std::filesystem::remove(dir.file(files::kLorentz));
  const PlaneState s = plane("7110", "7115", "0.5");
  EXPECT_EQ(s.message, "ERROR!!\r\nThe Lorentzian setting file is missing or incomplete.\r\n"
                       "RIXS_Plane.DAT was left empty.");
  EXPECT_EQ(read_file(dir.file(files::kRIXSPlane)), "");
}

TEST_F(RixsPlaneTest, CutsAndClicksFindThePointsOfBothAxes) {
  PlaneState s = plane("7110", "7115", "0.5", 1);
  const RIXSPlane& p = s.plane;
  // Along the emission axis at row 4: the energy transfer rising, the row's values.
  const std::vector<double> c0 = plane_cut(p, 0, 4, 0);
  ASSERT_EQ(c0.size(), 25u * 4);
  for (std::size_t j = 0; j < 25; ++j) {
    EXPECT_DOUBLE_EQ(c0[4 * j], p.omega[4] - p.emission[24 - j]);
    EXPECT_EQ(c0[4 * j + 1], p.at(4, 24 - j));
  }
  // Along the excitation energies at the energy transfer of (4, 10): the rows
  // whose emission grid (0.5 eV, as the excitation energies) holds omega - t.
  const std::vector<double> c1 = plane_cut(p, 1, 4, 10);
  ASSERT_EQ(c1.size(), 11u * 4);
  for (std::size_t r = 0; r < 11; ++r) {
    EXPECT_EQ(c1[4 * r], p.omega[r]);
    EXPECT_EQ(c1[4 * r + 1], p.at(r, 10 + r - 4));
  }
  s.cut = 1;
  PickPlanePoint(s, 4, 10);
  ASSERT_TRUE(s.cut_trace && s.cut_trace->has_values());
  EXPECT_EQ(s.cut_trace->size(), 11u);
  EXPECT_EQ(cut_panel_curves(s).size(), 3u);  // two components and the total
  EXPECT_EQ(s.message, "Cut at the energy transfer 57 eV.");

  // The pixel under each point's centre gives the point back; the corners of
  // the energy-transfer map hold none.
  const PlaneLayout l = plane_layout(p, 800, 600);
  for (std::size_t r : {0, 5, 10})
    for (std::size_t k : {0, 12, 24}) {
      const double x = (p.omega[r] - l.x_lo) / (l.x_hi - l.x_lo) * l.w + l.x0;
      const double y = l.y0 + (l.y_hi - p.axis_value(r, k)) / (l.y_hi - l.y_lo) * l.h;
      const auto at = plane_point_at(p, l, static_cast<int>(x), static_cast<int>(y));
      ASSERT_TRUE(at) << r << " " << k;
      EXPECT_EQ(*at, std::make_pair(r, k));
    }
  EXPECT_FALSE(plane_point_at(p, l, l.x0 + 1, l.y0 + 1));
  EXPECT_FALSE(plane_point_at(p, l, l.x0 - 1, l.y0 + l.h / 2));
}

TEST(PlanePicture, ColourScaleTicksAndFiles) {
  EXPECT_EQ(viridis(0), (plot::Rgb{71, 1, 85}));      // dark violet (tabulated 68, 1, 84)
  EXPECT_EQ(viridis(1), (plot::Rgb{252, 231, 33}));   // yellow (tabulated 253, 231, 37)
  EXPECT_EQ(viridis(-1), viridis(0));
  EXPECT_DOUBLE_EQ(colour_position(5, 0, 10, false), 0.5);
  EXPECT_DOUBLE_EQ(colour_position(1e-2, 1e-4, 1, true), 0.5);
  EXPECT_EQ(colour_position(0, 1e-4, 1, true), 0.0);
  EXPECT_EQ(colour_position(20, 0, 10, false), 1.0);

  const Ticks t = nice_ticks(7109.75, 7115.25, 6);
  EXPECT_EQ(t.values, (std::vector<double>{7110, 7111, 7112, 7113, 7114, 7115}));
  EXPECT_EQ(t.decimals, 0);
  EXPECT_EQ(nice_ticks(0.013, 0.051, 4).decimals, 2);

  RIXSPlane p;
  p.omega = {7110, 7111};
  p.emission = {7050, 7051, 7052};
  p.values = {0, 0, 0, 1e-6, 0, 0, 2e-6, 0, 0, 3e-6, 0, 0, 4e-6, 0, 0, 5e-6, 0, 0};
  const auto lin = colour_range(p, false), lg = colour_range(p, true);
  ASSERT_TRUE(lin && lg);
  EXPECT_EQ(*lin, std::make_pair(0.0, 5e-6));
  EXPECT_EQ(*lg, std::make_pair(1e-6, 5e-6));
  const PlanePicture pic = render_plane(p, false, 400, 300);
  const PlaneLayout& l = pic.layout;
  EXPECT_EQ(pic.pixel(l.x0 + 2, l.y0 + l.h - 2), viridis(0));  // lowest: first row, first column
  EXPECT_EQ(pic.pixel(l.x0 + l.w - 2, l.y0 + 2), viridis(1));  // highest: last row, last column
  EXPECT_EQ(pic.pixel(l.bar_x + 5, l.y0), viridis(1 - 0.5 / l.h));

  const std::optional<std::string> png = plane_png(pic);
  ASSERT_TRUE(png);
  EXPECT_EQ(png->substr(1, 3), "PNG");
  EXPECT_FALSE(plane_png(PlanePicture{}));
  const std::string svg = plane_svg(p, true, 400, 300);
  EXPECT_NE(svg.find(">Emission energy (eV)</text>"), std::string::npos);
  EXPECT_NE(svg.find(">Intensity (log)</text>"), std::string::npos);
  EXPECT_NE(svg.find("data:image/png;base64,iVBOR"), std::string::npos);
}

// "Save Picture..." gives a name typed without extension the PNG's.
TEST_F(RixsPlaneTest, APictureNamedWithoutExtensionIsSavedAsPng) {
  PlaneState s = plane("7110", "7111", "1");
  TempDir pictures;
  const UserFiles files([&](const FileRequest&) { return std::optional(pictures.file("plane")); });
  SavePlanePicture(ws, files, s, 400, 300);
  EXPECT_EQ(s.message, "The picture was saved as " + pictures.file("plane.png").string() + ".");
  EXPECT_EQ(read_file(pictures.file("plane.png")).substr(1, 3), "PNG");
  EXPECT_FALSE(std::filesystem::exists(pictures.file("plane")));
}

// The pictures' text is DejaVu Sans, smoothed at its edges; without the
// font file it is in the built-in glyphs, and a saved picture says so.
TEST_F(RixsPlaneTest, PictureTextIsDejaVuElseTheBuiltInGlyphsWithACaution) {
  struct Restore {
    ~Restore() { use_picture_font(kPictureFontFile); }
  } restore;
  PlaneState s = plane("7110", "7111", "1");
  // Grey pixels between the ink and the white around the map: smoothed text.
  const auto smoothed = [&] {
    const PlanePicture pic = render_plane(s.plane, false, 400, 300);
    int n = 0;
    for (int y = 0; y < pic.height; ++y)
      for (int x = 0; x < pic.layout.x0 - 2; ++x) {
        const plot::Rgb c = pic.pixel(x, y);
        n += c.r == c.g && c.g == c.b && c.r > 40 && c.r < 215;
      }
    return n;
  };
  ASSERT_TRUE(use_picture_font(kPictureFontFile));
  EXPECT_TRUE(picture_font_caution().empty());
  EXPECT_GT(smoothed(), 20);
  EXPECT_NE(text_width("7110"), 46);

  TempDir pictures;
  const UserFiles files([&](const FileRequest&) { return std::optional(pictures.file("p.png")); });
  EXPECT_FALSE(use_picture_font((pictures.path() / "missing.ttf").string()));
  EXPECT_EQ(smoothed(), 0);
  EXPECT_EQ(text_width("7110"), 46);  // four glyphs of 12 pixels less the last gap
  SavePlanePicture(ws, files, s, 400, 300);
  EXPECT_EQ(s.message, "The picture was saved as " + pictures.file("p.png").string() +
                           ".\r\nCAUTION!! " + kPictureFontFile +
                           " could not be read (Debian's fonts-dejavu-core); the picture's text "
                           "is in the built-in font.");
}

TEST_F(RixsPlaneTest, CommandLineWritesTheFileAndThePicture) {
  TempDir pictures;  // the user's files stay out of the work-space
  const std::string cmd = std::string("'") + TALVERN_CLI_PATH + "' --workspace '" +
                          dir.path().string() + "' rixs-plane --from 7110 --to 7112 --step 1 "
                          "--transfer --png '" + pictures.file("plane.png").string() + "'";
  std::FILE* pipe = ::popen(cmd.c_str(), "r");
  ASSERT_TRUE(pipe);
  char buf[512];
  std::string out;
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
  const int status = ::pclose(pipe);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(out, "RIXS_Plane.DAT: 3 excitation energies x 25 emission energies.\n");
  EXPECT_EQ(read_file(pictures.file("plane.png")).substr(1, 3), "PNG");
  EXPECT_EQ(read_rows(dir.file(files::kRIXSPlane), 5).at(0, 1), 7110.0 - 7050.0);

  const std::string bad = std::string("'") + TALVERN_CLI_PATH + "' --workspace '" +
                          dir.path().string() + "' rixs-plane --step 0 >/dev/null";
  EXPECT_EQ(WEXITSTATUS(std::system(bad.c_str())), 1);
}

}  // namespace
