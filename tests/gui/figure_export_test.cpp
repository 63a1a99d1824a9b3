// Figures for a paper from a plot panel ("Save Figure..."), and the file
// dialogs that remember their folder and filter per kind of file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QSettings>
#include <QSvgRenderer>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "gui/PlotPanel.h"
#include "gui/file_chooser.h"
#include "support/panel_pixels.h"
#include "support/temp_dir.h"

namespace plot = talvern::plot;
using talvern::FigureOptions;
using talvern::PlotPanel;

namespace {

constexpr double kPointsPerCm = 72 / 2.54;

// Runs `act` on the first modal dialog of type D to appear, once, while
// `run` (which opens it) goes on.
template <class D>
void whenModal(std::function<void(D*)> act, const std::function<void()>& run) {
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget())) {
      poll.stop();
      act(dialog);
    }
  });
  poll.start();
  run();
  EXPECT_FALSE(poll.isActive()) << "the dialog never opened";
}

// A panel of a red "measured" curve over 7000..7250 eV with the "edge from
// data" marker at 7120 eV, 300 x 220 pixels on the screen.
struct Figure {
  std::vector<double> rows{7000, 0.2, 7100, 0.9, 7250, 0.4};
  plot::Trace trace = *plot::standard_trace(rows.data(), 3, 2, 1, {7000, 7250, 0, 10000});
  PlotPanel panel;

  explicit Figure(talvern::UserFiles files = {}) : panel(nullptr, std::move(files)) {
    panel.resize(300, 220);
    panel.setCurves([this] {
      return std::vector<plot::Curve>{
          {&trace, 0, plot::Pen::red, {}, false, "measured", plot::names::kMeasured}};
    });
    panel.setText([] {
      plot::PanelText text;
      text.markers.push_back({7120, plot::names::kEdgeFromData});
      return text;
    });
  }
  // Height on paper of a figure `width_cm` wide: the proportions on the screen.
  static double heightCm(double width_cm) {
    return width_cm * (PlotFrame::kTop + 220 + PlotFrame::kBottom) /
           (PlotFrame::kLeft + 300 + PlotFrame::kRight);
  }
  using PlotFrame = talvern::PlotFrame;
};

QByteArray readAll(const QString& file) {
  QFile in(file);
  return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

}  // namespace

// SVG keeps its words as text, the PDF page is the size chosen, the PNG has
// the pixels of its width at its resolution; each shows the curve, the
// values, titles, legend and marker.
TEST(FigureExport, EachFormatHoldsTheWholeFigureAtItsSize) {
  Figure f;
  talvern::test::TempDir tmp;
  const QString dir = QString::fromStdString(tmp.path().string());

  FigureOptions svg{FigureOptions::Format::svg, talvern::kOneColumnCm, 300};
  ASSERT_TRUE(f.panel.saveFigure(dir + "/figure.svg", svg));
  const QString text = QString::fromUtf8(readAll(dir + "/figure.svg"));
  for (const char* word : {plot::kEnergyTitle, plot::kIntensityTitle, plot::names::kMeasured,
                           plot::names::kEdgeFromData, "7100", "DejaVu Sans"})
    EXPECT_TRUE(text.contains(QString::fromUtf8(word))) << word;
  QSvgRenderer rendered(dir + "/figure.svg");
  ASSERT_TRUE(rendered.isValid());
  EXPECT_NEAR(rendered.viewBoxF().width(), 8.5 * kPointsPerCm, 0.01);
  EXPECT_NEAR(rendered.viewBoxF().height(), Figure::heightCm(8.5) * kPointsPerCm, 0.01);

  FigureOptions pdf{FigureOptions::Format::pdf, talvern::kTwoColumnsCm, 300};
  ASSERT_TRUE(f.panel.saveFigure(dir + "/figure.pdf", pdf));
  const QByteArray bytes = readAll(dir + "/figure.pdf");
  EXPECT_TRUE(bytes.startsWith("%PDF-"));
  EXPECT_TRUE(bytes.trimmed().endsWith("%%EOF"));
  const QRegularExpressionMatch box =
      QRegularExpression(R"(/MediaBox \[\s*0 0 ([0-9.]+) ([0-9.]+)\s*\])").match(QString::fromLatin1(bytes));
  ASSERT_TRUE(box.hasMatch());
  EXPECT_NEAR(box.captured(1).toDouble(), 17.5 * kPointsPerCm, 0.5);
  EXPECT_NEAR(box.captured(2).toDouble(), Figure::heightCm(17.5) * kPointsPerCm, 0.5);

  FigureOptions png{FigureOptions::Format::png, talvern::kOneColumnCm, 300};
  ASSERT_TRUE(f.panel.saveFigure(dir + "/figure.png", png));
  const QImage image(dir + "/figure.png");
  EXPECT_EQ(image.width(), 1004);
  EXPECT_EQ(image.height(), std::lround(Figure::heightCm(8.5) / 2.54 * 300));
  EXPECT_NEAR(image.dotsPerMeterX() * 0.0254, 300, 0.5);
  EXPECT_GT(talvern::test::count_pixels(image, talvern::test::kRedPen), 1000);
  // The marker line and the legend's box.
  EXPECT_GT(talvern::test::count_pixels(image, talvern::test::kMarkerPen), 300);
  EXPECT_GT(talvern::test::count_pixels(image, QColor(160, 160, 160)), 300);

  // A figure may no more replace a work-space file than any other save.
  talvern::UserFiles files;
  files.work_space = tmp.path();
  Figure inside(files);
  EXPECT_FALSE(inside.panel.saveFigure(dir + "/kept.png", png).refusal.empty());
  EXPECT_FALSE(std::filesystem::exists(tmp.path() / "kept.png"));
}

// "Save Figure..." of the context menu: the dialog's choices reach the file
// asked for, and a name without extension gets the format's.
TEST(FigureExport, TheMenuAsksFormatAndSizeThenTheFile) {
  talvern::test::TempDir tmp;
  std::vector<std::string> asked;
  Figure f([&](const talvern::FileRequest& r) {
    EXPECT_EQ(r.kind, talvern::FileKind::save_plot);
    asked.push_back(std::string(r.title) + " " + r.suffix);
    return std::optional(tmp.path() / "figure");
  });
  f.panel.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.panel));

  whenModal<QDialog>(
      [](QDialog* dialog) {
        EXPECT_EQ(dialog->objectName(), "saveFigure");
        auto* format = dialog->findChild<QComboBox*>("figureFormat");
        auto* size = dialog->findChild<QComboBox*>("figureSize");
        if (!format || !size) return dialog->reject();
        format->setCurrentIndex(format->findText("SVG"));
        size->setCurrentIndex(1);  // two columns
        dialog->accept();
      },
      [&] {
        QTimer::singleShot(0, [] {
          auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
          ASSERT_TRUE(menu);
          for (QAction* action : menu->actions())
            if (action->text() == "Save Figure…") {
              menu->setActiveAction(action);
              QTest::keyClick(menu, Qt::Key_Return);
              return;
            }
          ADD_FAILURE() << "no entry Save Figure…";
          menu->close();
        });
        const QPoint at(150, 110);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, f.panel.mapToGlobal(at));
        QApplication::sendEvent(&f.panel, &event);
      });
  EXPECT_EQ(asked, std::vector<std::string>{"Save Figure .svg"});
  QSvgRenderer saved(QString::fromStdString((tmp.path() / "figure.svg").string()));
  ASSERT_TRUE(saved.isValid());
  EXPECT_NEAR(saved.viewBoxF().width(), 17.5 * kPointsPerCm, 0.01);
}

namespace {

// The file the program's dialog gives for `request` after `act` chose in it.
std::optional<std::filesystem::path> chooseIn(talvern::FileKind kind,
                                              std::function<void(QFileDialog*)> act) {
  std::optional<std::filesystem::path> chosen;
  whenModal<QFileDialog>(std::move(act),
                         [&] { chosen = talvern::qt_file_chooser()(talvern::FileRequest(kind)); });
  return chosen;
}

// Types `name` in the dialog's folder `folder` (when given) and accepts it.
void typeName(QFileDialog* dialog, const QString& name, const QString& folder = {}) {
  if (!folder.isEmpty()) dialog->setDirectory(folder);
  auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
  if (!edit) return dialog->reject();
  edit->setText(name);
  static_cast<QDialog*>(dialog)->accept();  // as the Save button does
}

}  // namespace

// A save adds the extension of the filter chosen; each kind of file opens
// where its last file was chosen, with that filter, whatever other kinds
// chose since; a kind not chosen yet opens where the last file was.
TEST(FileDialogs, RememberFolderAndFilterPerKindAndAddTheExtension) {
  QSettings().remove("FileDialogs");
  talvern::test::TempDir pictures, tables;
  const QString a = QString::fromStdString(pictures.path().string());
  const QString b = QString::fromStdString(tables.path().string());
  using talvern::FileKind;

  auto picture = chooseIn(FileKind::save_picture, [&](QFileDialog* d) {
    auto* types = d->findChild<QComboBox*>("fileTypeCombo");
    if (!types) return d->reject();
    const int svg = types->findText("SVG (*.svg)");
    types->setCurrentIndex(svg);
    emit types->activated(svg);  // as the user's choice
    typeName(d, "fig", a);
  });
  ASSERT_TRUE(picture);
  EXPECT_EQ(*picture, pictures.path() / "fig.svg");

  auto table = chooseIn(FileKind::save_data, [&](QFileDialog* d) { typeName(d, "rows", b); });
  ASSERT_TRUE(table);
  EXPECT_EQ(*table, tables.path() / "rows.DAT");

  QString opened, filter;
  const auto none = chooseIn(FileKind::data, [&](QFileDialog* d) {
    opened = d->directory().absolutePath();
    d->reject();
  });
  EXPECT_FALSE(none);
  EXPECT_EQ(opened, QDir(b).absolutePath());
  picture = chooseIn(FileKind::save_picture, [&](QFileDialog* d) {
    opened = d->directory().absolutePath();
    filter = d->selectedNameFilter();
    typeName(d, "again");
  });
  EXPECT_EQ(opened, QDir(a).absolutePath());
  EXPECT_EQ(filter, "SVG (*.svg)");
  ASSERT_TRUE(picture);
  EXPECT_EQ(*picture, pictures.path() / "again.svg");

  QSettings().remove("FileDialogs");
}
