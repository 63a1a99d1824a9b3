// The load buttons of the main form: a chosen file into the work-space, a
// cancelled or unreadable choice changing nothing, and the modal Load
// Selective XAFS dialog sharing the form's file dialog and failure report.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/ui/CTALVERNView.h"
#include "import/ui/CXAFSReading.h"
#include "workspace/file_names.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using talvern::CTALVERNView;
using talvern::FileKind;

namespace {

struct LoadFixture {
  talvern::test::TempDir tmp;
  fs::path ws = tmp.path() / "TALVERN_WORK_SPACE";
  std::optional<fs::path> chosen;  // the file dialog's answer
  std::vector<FileKind> asked;
  std::vector<talvern::OpenFailure> reported;
  CTALVERNView view{talvern::WorkSpace(ws)};

  LoadFixture() {
    fs::create_directory(ws);
    view.setUserFiles(talvern::UserFiles([this](FileKind kind) {
      asked.push_back(kind);
      return chosen;
    }));
    view.setOpenFailureReporter([this](const talvern::OpenFailure& f) { reported.push_back(f); });
    view.setMessage("before\r\nsecond line");
    view.show();
  }
  void click(QWidget* in, const char* name) {
    auto* button = in->findChild<QPushButton*>(name);
    ASSERT_TRUE(button && button->isEnabled()) << name;
    QTest::mouseClick(button, Qt::LeftButton);
  }
  std::string pane() const {
    return view.findChild<QPlainTextEdit*>("messagePane")->toPlainText().toStdString();
  }
};

}  // namespace

TEST(LoadButtons, MeasuredLoadsWriteReportOrChangeNothing) {
  struct Load {
    const char* button;
    const char* file;
    const char* message;
  };
  const Load loads[] = {
      {"loadExpRixsButton", "RIXSEXP.DAT",
       "Experimental RIXS data were introduced into \nC:\\TALVERN_WORK_SPACE."},
      {"loadConvXafsButton", "Conventional_XAFS.DAT",
       "Conventional XAFS data were introduced into \nC:\\TALVERN_WORK_SPACE."},
      {"loadXrfButton", "Exp_Non_Resonant_Emission.DAT",
       "XRF data were introduced into \nC:\\TALVERN_WORK_SPACE."}};
  LoadFixture f;
  for (const auto& load : loads) f.click(&f.view, load.button);  // cancelled
  f.chosen = f.tmp.file("missing.DAT");
  for (const auto& load : loads) f.click(&f.view, load.button);
  ASSERT_EQ(f.reported.size(), 3u);
  EXPECT_EQ(f.reported.at(0).file, *f.chosen);
  EXPECT_EQ(f.pane(), "before\nsecond line");
  // Nothing written but the history of the refusals; the form holds the
  // work-space lock since its first click.
  EXPECT_EQ(std::distance(fs::directory_iterator(f.ws), {}), 2);
  EXPECT_TRUE(fs::exists(f.ws / talvern::files::kLock));
  EXPECT_TRUE(fs::exists(f.ws / talvern::files::kHistory));

  f.chosen = f.tmp.file("measured.DAT");
  talvern::test::write_file(*f.chosen, "7000 1\n7001 2\n7002 4\n");
  for (const auto& load : loads) {
    f.click(&f.view, load.button);
    EXPECT_TRUE(fs::is_regular_file(f.ws / load.file)) << load.button;
    EXPECT_EQ(f.pane(), load.message) << load.button;
  }
  EXPECT_EQ(f.asked, std::vector<FileKind>(9, FileKind::data));
  EXPECT_EQ(f.reported.size(), 3u);
}

TEST(LoadButtons, SelectiveXafsRunsModalDialogWithTheFormsChooser) {
  LoadFixture f;
  f.chosen = f.tmp.file("one.xspec");
  talvern::test::write_file(*f.chosen, "# ENERGY XAS_tot x\n0 1\n0.1 2\n0.2 4\n");
  QString title;
  QTimer::singleShot(0, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    ASSERT_NE(modal, nullptr);
    title = modal->windowTitle();
    f.click(modal, "load1CompoButton");
    f.chosen = f.tmp.file("missing.xspec");
    f.click(modal, "load1CompoButton");
    modal->close();
  });
  f.click(&f.view, "loadSelXafsButton");  // returns once the dialog is closed

  EXPECT_EQ(title, "Load Selective XAFS");
  EXPECT_TRUE(fs::is_regular_file(f.ws / "SelectiveXAFS_for_Reading_Org.DAT"));
  EXPECT_EQ(f.asked, std::vector<FileKind>(2, FileKind::selective_xafs));
  EXPECT_EQ(f.reported.size(), 1u);
  EXPECT_EQ(f.pane(), "before\nsecond line");
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_TRUE(f.view.findChildren<talvern::CXAFSReading*>().isEmpty());  // destroyed on close
}
