#pragma once
// The plot panel widget: a white surface with the grey plot frame, the
// dotted grid and the curves of its owner, drawn completely at every paint.
//
// The panel keeps no picture and no traces. Its owner hands it a provider
// that lists the curves to draw; the provider is called at every paint, so
// radio buttons and work-space flags read inside it take effect at the next
// paint. The curves point at traces the owner keeps alive.
//
// The user may zoom (drag a rectangle with the left button, or turn the
// wheel) and go back to the full view with a double click; the zoom changes
// only what is drawn and where a click lands. The context menu saves the
// panel as PNG or SVG and its curves as CSV, into a file asked for through
// the panel's UserFiles, saves a figure for a paper ("Save Figure..."),
// shows every curve whole ("Full View") and switches the legend. PlotFrame puts the axis values, the axis titles and the
// readout of the point under the mouse around a panel.
//
// Over the curves the panel draws what its owner's text provider gives
// (plot::PanelText): the markers of energies the owner holds, redrawn from
// their energies at every paint, and the legend in the corner where it
// hides least; and a "▲ clipped" mark where its scale cuts a curve.

#include <QPoint>
#include <QPointF>
#include <QSize>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "gui/file_chooser.h"
#include "plot/figure.h"
#include "plot/view.h"
#include "workspace/user_file.h"
#include "workspace/user_save.h"

class QPainter;
class QPaintDevice;

namespace talvern {

// A figure of a panel for a paper: its format, its width on paper (the
// height keeps the proportions of the panel on the screen) and, for PNG,
// its resolution.
struct FigureOptions {
  enum class Format { png, svg, pdf };
  Format format = Format::png;
  double width_cm = 8.5;
  int dpi = 300;
};

// The widths of the size presets: one column and two columns of a journal.
inline constexpr double kOneColumnCm = 8.5, kTwoColumnsCm = 17.5;
// The resolution the "screen" preset takes the panel's pixels at.
inline constexpr double kScreenDpi = 96;

class PlotPanel : public QWidget {
  Q_OBJECT

 public:
  using CurveProvider = std::function<std::vector<plot::Curve>()>;

  // The panel starts at its minimum size and grows with its dialog; its
  // pictures and tables go into files asked for through `files`.
  explicit PlotPanel(QWidget* parent = nullptr, UserFiles files = qt_user_files());
  QSize sizeHint() const override { return minimumSize(); }

  // Curves to draw, in drawing order (later curves over earlier ones).
  // An empty provider draws frame and grid only.
  void setCurves(CurveProvider provider);

  // Titles, markers and the click's digits, asked for at every paint like
  // the curves; without a provider the titles are energy and intensity.
  using TextProvider = std::function<plot::PanelText()>;
  void setText(TextProvider provider);
  // As of the last paint.
  const plot::PanelText& text() const { return text_; }

  // The legend is shown unless the user switched it off in the context menu.
  bool legendShown() const { return legend_; }
  void setLegendShown(bool shown);

  // Dotted sky-blue vertical line at panel x coordinate x_l from y = -95 to
  // 95, shown at the next paint and gone at the one after.
  void showClickMarker(double x_l);

  // Draws the whole panel again at once.
  void redraw();

  const plot::View& view() const { return view_; }
  void setView(const plot::View& view);
  // Physical scale of the curves as last drawn; empty when none has values.
  const std::optional<plot::Axes>& axes() const { return axes_; }

  // The panel with its axis values, as PNG or SVG, and its curves as CSV,
  // saved as the user's file `file` (save_user_file), which the work-space
  // of the panel's files may not keep.
  UserSave savePng(const QString& file);
  UserSave saveSvg(const QString& file);
  UserSave saveCsv(const QString& file);

  // The panel as a figure for a paper, saved as the user's file `file`:
  // axis values, titles, legend, markers and the clipped mark in DejaVu
  // Sans at 9 and 8 points of the chosen width, lines 0.75 point wide.
  UserSave saveFigure(const QString& file, const FigureOptions& options);
  // "Save Figure..." of the context menu: asks for format, size and
  // resolution (the "saveFigure" dialog), then for the file, adds the
  // format's suffix to a name without one and saves. Nothing happens when
  // the user cancels either.
  void saveFigureAs();
  // Width in centimetres of the "screen" preset: the saved picture's pixels
  // at kScreenDpi.
  double screenWidthCm() const;

  // "Save as PNG...", "Save as SVG..." and "Save curves as CSV..." of the
  // context menu, by `suffix` (".png", ".svg", ".csv"): asks the panel's
  // files for a file to save (FileKind::save_plot), adds the suffix to a
  // name without it and saves; a file that cannot be written or that the
  // work-space keeps is reported.
  // Nothing happens when the user cancels.
  void saveAs(const char* suffix);

  // Draws one panel of `size` pixels onto `painter`: white surface, frame,
  // grid, the curves, the markers held at panel x coordinates `held` and,
  // when given, the click marker over them, as `view` shows them. Nothing
  // is drawn when the size is empty. The painter's state is restored
  // afterwards.
  static void paintPanel(QPainter& painter, QSize size,
                         const std::vector<plot::Curve>& curves,
                         std::optional<double> marker = std::nullopt,
                         const plot::View& view = {}, const std::vector<double>& held = {},
                         double line = 1);

 signals:
  // A left-button click without a drag, in panel coordinates of this panel
  // (whole units in the full view).
  void panelClicked(double x_l, double y_l);
  // "E = ... eV, I = ..." under the mouse; empty when it leaves the panel.
  // Sent only when the text changes.
  void readoutChanged(const QString& text);
  // The view, the axes or the titles changed, so the axis values must be
  // drawn again.
  void axesChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  std::vector<plot::Curve> curves() const;
  UserSave saveFile(const QString& file, std::string_view bytes) const;
  // The file the panel's files give for a save titled `title` of a
  // picture or table `suffix` (FileKind::save_plot), the suffix added to a
  // name without it; none when cancelled.
  std::optional<QString> chooseFile(const char* title, const char* suffix) const;
  plot::PanelText currentText() const;
  // Markers, legend and clipped mark over a panel drawn at `size`, in a
  // font a point smaller than the painter's, lines `line` device pixels wide.
  void paintOverlay(QPainter& painter, QSize size, const std::vector<plot::Curve>& curves,
                    const plot::PanelText& text, double line = 1) const;
  // Panel x coordinates of the markers of `text` on the axes as last drawn.
  std::vector<double> heldAt(const plot::PanelText& text) const;
  // The figure on a painter whose units are points, `size` of them.
  void paintFigure(QPainter& painter, QSizeF size, double line);
  void paintPicture(QPainter& painter, QSize size);
  // The saved picture: the panel with the frame's margins around it.
  QSize pictureSize() const;
  QPointF frameAt(QPointF pixel) const;
  // Keeps `text` as the readout and tells the frame when it differs.
  void setReadout(const QString& text);

  UserFiles files_;
  CurveProvider provider_;
  TextProvider textProvider_;
  plot::PanelText text_;
  bool legend_ = true;
  std::optional<double> marker_;
  plot::View view_;
  std::optional<plot::Axes> axes_;
  std::optional<QPoint> pressedAt_;  // left button down, not yet released
  bool dragging_ = false;
  QPoint dragTo_;
  QString readout_;  // as last sent
};

// A plot panel with its energy values under it, its intensity values at its
// left and the readout above it, all outside the panel itself.
class PlotFrame : public QWidget {
  Q_OBJECT

 public:
  // Takes `panel` into the frame. Without `energyTitle` the frame leaves the
  // energy's title to a panel under it that shares its energies.
  explicit PlotFrame(PlotPanel* panel, QWidget* parent = nullptr, bool energyTitle = true);
  PlotPanel* panel() const { return panel_; }

  // Margins around the panel that hold the values, the titles and the
  // readout.
  static constexpr int kLeft = 72, kTop = 16, kRight = 12, kBottom = 34;
  // The margin under the panel of a frame without the energy's title.
  static constexpr int kValuesBottom = 18;

  // Axis values and titles of `panel` for a panel drawn at `area`.
  static void paintAxes(QPainter& painter, QRect area, const PlotPanel& panel,
                        bool energyTitle = true);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // The strip above the panel that holds the readout.
  QRect readoutRect() const;

  PlotPanel* panel_;
  bool energyTitle_;
  QString readout_;
};

// The main form's title picture, copied unscaled with its top-left corner at
// `topLeft` (the picture frame's origin).
void paintTitlePicture(QPainter& painter, QPoint topLeft);

}  // namespace talvern
