#include "rixs/ui/CGlobalFit.h"

#include <QBrush>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColor>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>

#include <any>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "rixs/fit_display.h"
#include "rixs/fit_sheet.h"
#include "rixs/ui/FitGroupPanels.h"

namespace talvern {
namespace {

using S = GlobalFitState;

// The table's columns: value, "±" and "Fix" of the centre, the amplitude
// and the width.
constexpr int kColumnsPerPart = 3;
const char* const kHeaders[] = {"Centre (eV)", "±", "Fix", "Amplitude", "±", "Fix",
                                "Width (eV)",  "±", "Fix"};
constexpr int kTableColumns = 9;

int valueColumn(std::size_t part) { return static_cast<int>(part) * kColumnsPerPart; }

// The item at (row, column), made when there is none yet.
QTableWidgetItem* itemAt(QTableWidget* table, int row, int column, Qt::ItemFlags flags) {
  QTableWidgetItem* item = table->item(row, column);
  if (!item) {
    item = new QTableWidgetItem;
    table->setItem(row, column, item);
  }
  if (item->flags() != flags) item->setFlags(flags);
  return item;
}

void setItemText(QTableWidget* table, int row, int column, const std::string& text,
                 Qt::ItemFlags flags) {
  QTableWidgetItem* item = itemAt(table, row, column, flags);
  const QString shown = QString::fromStdString(text);
  if (item->text() != shown) item->setText(shown);
}

// A check box and the value the fit left beside it.
QCheckBox* factorRow(QGridLayout* grid, const char* caption, const char* name, QLabel*& value,
                     const char* valueName, QWidget* parent) {
  const int row = grid->rowCount();
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(name);
  value = new QLabel(parent);
  value->setObjectName(valueName);
  value->setTextInteractionFlags(Qt::TextSelectableByMouse);
  // As wide from the start as the longest value a fit leaves.
  value->setMinimumWidth(value->fontMetrics().horizontalAdvance("-0.00000e-00 ± 0.00e-00"));
  grid->addWidget(box, row, 0);
  grid->addWidget(value, row, 1);
  return box;
}

// The correlations of the free parameters of `result`, those beyond the
// caution shaded; an empty table without them.
void showCorrelation(QTableWidget* table, const GlobalFitResult* result) {
  const std::size_t n = result ? result->free_names.size() : 0;
  const bool complete = result && result->correlation.size() == n * n;
  table->setRowCount(complete ? static_cast<int>(n) : 0);
  table->setColumnCount(complete ? static_cast<int>(n) : 0);
  if (!complete) return;
  for (std::size_t r = 0; r < n; ++r) {
    const QString name = QString::fromStdString(result->free_names[r]);
    table->setHorizontalHeaderItem(static_cast<int>(r), new QTableWidgetItem(name));
    table->setVerticalHeaderItem(static_cast<int>(r), new QTableWidgetItem(name));
    for (std::size_t c = 0; c < n; ++c) {
      const double v = result->correlation[r * n + c];
      char text[16];
      std::snprintf(text, sizeof text, "%.2f", v);
      auto* item = new QTableWidgetItem(text);
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      if (r != c && std::abs(v) > kCorrelationCaution) item->setBackground(QColor(255, 170, 170));
      table->setItem(static_cast<int>(r), static_cast<int>(c), item);
    }
  }
}

}  // namespace

CGlobalFit::CGlobalFit(WorkSpace ws, QWidget* parent, UserFiles files)
    : WorkerDialog(std::move(ws), global_fit_sheet(), std::move(files), parent) {
  setWindowTitle("Global Fit");
  bindWidgets(build());
  showState();
  // Room for the group panels beside the setup from the start, where a
  // window would otherwise open at two thirds of the screen.
  if (const QScreen* s = screen()) resize(sizeHint().boundedTo(s->availableGeometry().size()));
}

CGlobalFit::Widgets CGlobalFit::build() {
  Widgets w{};
  QWidget* setup = buildSetup(w);
  QWidget* results = buildResults(w);
  auto* columns = new QHBoxLayout;
  columns->addWidget(setup);
  columns->addWidget(results, 1);
  auto* all = new QVBoxLayout(this);
  all->addLayout(columns, 1);
  all->addLayout(make_ok_cancel_row(this));
  // During a run only "Stop" can be pressed.
  w.runInputs.push_back(findChild<QPushButton*>("okButton"));
  w.runInputs.push_back(findChild<QPushButton*>("cancelButton"));
  setRunControls(w.runInputs, w.stop);
  return w;
}

QWidget* CGlobalFit::buildSetup(Widgets& w) {
  auto* setup = new QWidget(this);
  auto* peaksGroup = new QGroupBox("Peaks added to the working selective XAFS", setup);
  peaksGroup->setObjectName("peaksGroup");
  peaks_ = new QTableWidget(0, kTableColumns, peaksGroup);
  peaks_->setObjectName("peakTable");
  for (int c = 0; c < kTableColumns; ++c)
    peaks_->setHorizontalHeaderItem(c, new QTableWidgetItem(kHeaders[c]));
  peaks_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  for (std::size_t part = 0; part < 3; ++part)
    peaks_->horizontalHeader()->setSectionResizeMode(valueColumn(part), QHeaderView::Stretch);
  peaks_->verticalHeader()->setDefaultSectionSize(peaks_->fontMetrics().height() + 6);
  peaks_->setMinimumHeight(4 * (peaks_->fontMetrics().height() + 6));
  w.addPeak = make_button("Add Peak", "addPeakButton", peaksGroup);
  w.removePeak = make_button("Remove Peak", "removePeakButton", peaksGroup);
  set_files_tip(w.addPeak, {}, "adds a row of peak values to the list");
  set_files_tip(w.removePeak, {}, "removes the chosen row of peak values (else the last)");
  auto* peakButtons = new QHBoxLayout;
  peakButtons->addWidget(w.addPeak);
  peakButtons->addWidget(w.removePeak);
  peakButtons->addStretch(1);
  auto* peaksColumn = new QVBoxLayout(peaksGroup);
  peaksColumn->addWidget(peaks_, 1);
  peaksColumn->addLayout(peakButtons);

  auto* factorsGroup = new QGroupBox("Factors", setup);
  factorsGroup->setObjectName("factorsGroup");
  auto* factors = new QGridLayout(factorsGroup);
  w.fitScale = factorRow(factors, "Fit Scale Fac.", "fitScaleBox", w.scaleValue, "scaleValue", factorsGroup);
  w.fitAbsCorr = factorRow(factors, "Fit Abs. Corr. Fac.", "fitAbsCorrBox", w.absCorrValue,
                           "absCorrValue", factorsGroup);
  w.fitShift = factorRow(factors, "Fit Shift", "fitShiftBox", w.shiftValue, "shiftValue", factorsGroup);
  factors->setColumnStretch(1, 1);

  QGroupBox* components = make_radio_row("Components", "components", {"A", "B", "AB"}, w.components, setup);
  QGroupBox* weights = make_radio_row("Weights", "weights", {"none", "poisson"}, w.weights, setup);

  auto* freeGroup = new QGroupBox("Free Form", setup);
  freeGroup->setObjectName("freeFormGroup");
  w.free = new QCheckBox("Free Form", freeGroup);
  w.free->setObjectName("freeFormBox");
  w.smooth = make_box("smoothBox", freeGroup, 8);
  w.smooth->setPlaceholderText("auto");
  auto* freeRow = new QHBoxLayout(freeGroup);
  freeRow->addWidget(w.free);
  freeRow->addSpacing(12);
  freeRow->addWidget(make_label("Smoothness", w.smooth, freeGroup));
  freeRow->addWidget(w.smooth);
  freeRow->addStretch(1);

  // "Fit" and "Apply" run on the worker, not as a button of the sheet runs it.
  w.fit = runButton("Fit", "fitButton", setup);
  w.stop = make_button("Stop", "stopButton", setup, false);
  w.apply = runButton("Apply", "applyButton", setup);
  auto* run = new QHBoxLayout;
  run->addWidget(w.fit);
  run->addWidget(w.stop);
  run->addStretch(1);
  run->addWidget(w.apply);

  auto* correlationGroup = new QGroupBox("Correlation of the free parameters", setup);
  correlationGroup->setObjectName("correlationGroup");
  w.correlationGroup = correlationGroup;
  w.correlation = new QTableWidget(correlationGroup);
  w.correlation->setObjectName("correlationTable");
  w.correlation->setEditTriggers(QAbstractItemView::NoEditTriggers);
  w.correlation->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  w.correlation->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  w.correlation->setMaximumHeight(8 * w.correlation->fontMetrics().height());
  auto* correlationColumn = new QVBoxLayout(correlationGroup);
  correlationColumn->addWidget(w.correlation);

  // A free-form result has no correlations: its panel takes their place.
  w.freeGroup = new QGroupBox("Free-form selective XAFS with its one-sigma band", setup);
  w.freeGroup->setObjectName("freeResultGroup");
  w.freePanel = make_panel("freeFormPanel", w.freeGroup, 360, 90, userFiles());
  auto* freeColumn = new QVBoxLayout(w.freeGroup);
  freeColumn->addWidget(new PlotFrame(w.freePanel, w.freeGroup));
  w.freeGroup->hide();

  auto* choices = new QGridLayout;
  choices->addWidget(components, 0, 0);
  choices->addWidget(weights, 0, 1);
  choices->addWidget(freeGroup, 1, 0, 1, 2);
  auto* options = new QHBoxLayout;
  options->addWidget(factorsGroup, 1);
  options->addLayout(choices);

  auto* column = new QVBoxLayout(setup);
  column->setContentsMargins(0, 0, 0, 0);
  column->addWidget(peaksGroup, 1);
  column->addLayout(options);
  column->addLayout(run);
  column->addWidget(correlationGroup);
  column->addWidget(w.freeGroup);
  w.runInputs = {peaksGroup, factorsGroup, components, weights, freeGroup, w.fit, w.apply};
  return setup;
}

QWidget* CGlobalFit::buildResults(Widgets& w) {
  auto* results = new QWidget(this);
  auto* groupsBox = new QGroupBox("Measured (red), calculated (blue) and their difference", results);
  groupsBox->setObjectName("groupsGroup");
  groups_ = new FitGroupPanels(userFiles(), groupsBox);
  groups_->setObjectName("groupPanels");
  auto* groupsColumn = new QVBoxLayout(groupsBox);
  groupsColumn->addWidget(groups_);

  QLabel* paneLabel = nullptr;
  w.messagePane = make_message_pane(results, paneLabel);
  size_message_pane(w.messagePane, "CAUTION!! The measurements do not tell peak1.amplitude and", 6);

  auto* column = new QVBoxLayout(results);
  column->setContentsMargins(0, 0, 0, 0);
  column->addWidget(groupsBox, 1);
  column->addWidget(paneLabel);
  column->addWidget(w.messagePane);
  return results;
}

void CGlobalFit::bindWidgets(const Widgets& w) {
  bind(w.components, &S::components);
  bind(w.weights, &S::weights);
  bind(w.fitScale, &S::fit_scale);
  bind(w.fitAbsCorr, &S::fit_abs_corr);
  bind(w.fitShift, &S::fit_shift);
  bind(w.free, &S::free);
  bind(w.smooth, &S::smooth);
  bindView([this](const S& s) { showPeaks(s); });
  connect(peaks_, &QTableWidget::itemChanged, this, [this] { takePeakEdit(); });
  addCommand(w.addPeak, [](const WorkSpace&, S& s) { AddPeakRow(s); }, false);
  // The new row's centre is typed at once.
  connect(w.addPeak, &QPushButton::clicked, this, [this] {
    peaks_->setCurrentCell(peaks_->rowCount() - 1, valueColumn(0));
    peaks_->setFocus();
    peaks_->editItem(peaks_->currentItem());
  });
  connect(w.removePeak, &QPushButton::clicked, this, [this] {
    const int row = peaks_->currentRow() >= 0 ? peaks_->currentRow() : peaks_->rowCount() - 1;
    if (row < 0) return;
    runCommand([row](const WorkSpace&, S& s) { RemovePeakRow(s, static_cast<std::size_t>(row)); }, false);
  });

  bindView([w, this](const S& s) { showResults(w, s); });
  bindPanel(w.freePanel, [this](const S&) { return free_fit_curves(freeTrace_); });
  w.freePanel->setText(free_fit_text);
  bindMessage(w.messagePane);

  connect(w.fit, &QPushButton::clicked, this, [this] {
    showNotice("Fitting...");
    startCommand("Fit", std::any());
  });
  connect(w.apply, &QPushButton::clicked, this, [this] { startCommand("Apply", std::any()); });
}

void CGlobalFit::showResults(const Widgets& w, const S& s) {
  w.scaleValue->setText(QString::fromStdString(fitted_text(s, "scale")));
  w.absCorrValue->setText(QString::fromStdString(fitted_text(s, "abs_corr")));
  w.shiftValue->setText(QString::fromStdString(fitted_text(s, "shift")));
  const SetComparison* c = fitted_comparison(s);
  groups_->showPlots(c ? fit_group_plots(*c) : std::vector<FitGroupPlot>{});
  freeTrace_ = free_fit_trace(s);
  w.freeGroup->setVisible(freeTrace_.has_value());
  w.correlationGroup->setVisible(!freeTrace_);
  w.freePanel->redraw();
  showCorrelation(w.correlation, s.result ? &*s.result : nullptr);
}

void CGlobalFit::showPeaks(const S& s) {
  showingPeaks_ = true;
  const std::vector<PeakRow> rows = peak_rows(s);
  peaks_->setRowCount(static_cast<int>(rows.size()));
  const Qt::ItemFlags editable = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
  const Qt::ItemFlags shown = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  const Qt::ItemFlags checkable = Qt::ItemIsEnabled | Qt::ItemIsUserCheckable;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const int r = static_cast<int>(i);
    for (std::size_t part = 0; part < 3; ++part) {
      const int c = valueColumn(part);
      setItemText(peaks_, r, c, rows[i].value[part], editable);
      setItemText(peaks_, r, c + 1, rows[i].sigma[part], shown);
      QTableWidgetItem* fix = itemAt(peaks_, r, c + 2, checkable);
      const Qt::CheckState want = rows[i].fixed[part] ? Qt::Checked : Qt::Unchecked;
      if (fix->data(Qt::CheckStateRole).isNull() || fix->checkState() != want) fix->setCheckState(want);
    }
  }
  showingPeaks_ = false;
}

void CGlobalFit::takePeakEdit() {
  if (showingPeaks_) return;
  std::vector<PeakRow> rows(static_cast<std::size_t>(peaks_->rowCount()));
  for (std::size_t i = 0; i < rows.size(); ++i)
    for (std::size_t part = 0; part < 3; ++part) {
      const int r = static_cast<int>(i), c = valueColumn(part);
      const QTableWidgetItem* value = peaks_->item(r, c);
      const QTableWidgetItem* fix = peaks_->item(r, c + 2);
      rows[i].value[part] = value ? value->text().trimmed().toStdString() : std::string();
      rows[i].fixed[part] = fix && fix->checkState() == Qt::Checked;
    }
  set_peak_rows(editState(), rows);
}

void CGlobalFit::runFinished() {
  for (PlotPanel* p : panels()) p->redraw();
}

}  // namespace talvern
