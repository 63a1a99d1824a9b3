#include "gui/ImportColumnsDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <map>

#include "gui/form_widgets.h"

namespace talvern {
namespace {

// The last choice per command in this run.
std::map<std::string, ColumnChoice>& remembered() {
  static std::map<std::string, ColumnChoice> choices;
  return choices;
}

QComboBox* column_box(const TextLayout& layout) {
  auto* box = new QComboBox;
  for (std::size_t c = 0; c < layout.columns; ++c)
    box->addItem(QString::fromStdString(column_label(layout, c)));
  return box;
}

// What an intensity of each command stands for.
QString intensity_caption(std::size_t k, std::size_t i) {
  return k == 2 ? QString("Intensity") : QString("Intensity Y%1").arg(i + 1);
}

bool fits(const ColumnChoice& choice, std::size_t columns, std::size_t intensities) {
  if (choice.energy >= columns || choice.intensities.size() != intensities) return false;
  for (const IntensityColumns& i : choice.intensities)
    if (i.a >= columns || i.b >= columns) return false;
  return true;
}

QString layout_text(const TextLayout& layout) {
  const char* sep = layout.separator == Separator::comma       ? "commas"
                    : layout.separator == Separator::semicolon ? "semicolons"
                                                               : "white space";
  return QString("%1 header line(s) skipped; %2 column(s) separated by %3.")
      .arg(layout.header_lines)
      .arg(layout.columns)
      .arg(sep);
}

}  // namespace

ImportColumnsDialog::ImportColumnsDialog(const ColumnRequest& request, QWidget* parent)
    : QDialog(parent), command_(request.command) {
  setWindowTitle("Import Columns");
  const TextLayout& layout = request.layout;
  auto* top = new QVBoxLayout(this);
  top->addWidget(new QLabel(QString("%1: %2").arg(request.command, QString::fromStdString(
                                                                        request.file.filename().string()))));
  auto* preview = new QPlainTextEdit;
  preview->setReadOnly(true);
  preview->setLineWrapMode(QPlainTextEdit::NoWrap);
  preview->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  QString lines;
  for (const std::string& line : first_lines(request.text, 40)) lines += QString::fromStdString(line) + "\n";
  preview->setPlainText(lines);
  top->addWidget(preview, 1);
  top->addWidget(new QLabel(layout_text(layout)));

  auto* form = new QFormLayout;
  energy_ = column_box(layout);
  unit_ = new QComboBox;
  unit_->addItems({"eV", "keV"});
  auto* energy_row = new QHBoxLayout;
  energy_row->addWidget(energy_, 1);
  energy_row->addWidget(unit_);
  form->addRow("Energy", energy_row);
  for (std::size_t i = 0; i + 1 < request.k; ++i) {
    IntensityBoxes boxes{new QComboBox, column_box(layout), column_box(layout)};
    boxes.mode->addItems({"column A", "ratio A/B", "ln(A/B)"});
    auto* row = new QHBoxLayout;
    row->addWidget(boxes.mode);
    row->addWidget(new QLabel("A"));
    row->addWidget(boxes.a, 1);
    row->addWidget(new QLabel("B"));
    row->addWidget(boxes.b, 1);
    QComboBox* b = boxes.b;
    connect(boxes.mode, &QComboBox::currentIndexChanged, b,
            [b](int mode) { b->setEnabled(mode != IntensityColumns::column); });
    form->addRow(intensity_caption(request.k, i), row);
    intensities_.push_back(boxes);
  }
  top->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  set_files_tip(buttons->button(QDialogButtonBox::Ok), {},
                "takes these columns for the load");
  set_files_tip(buttons->button(QDialogButtonBox::Cancel), {}, "nothing is loaded");
  top->addWidget(buttons);
  resize(640, 480);

  const auto last = remembered().find(command_);
  if (last != remembered().end() && fits(last->second, layout.columns, intensities_.size())) {
    showChoice(last->second);
    return;
  }
  ColumnChoice start;
  const std::size_t columns = layout.columns ? layout.columns : 1;
  for (std::size_t i = 0; i < intensities_.size(); ++i)
    start.intensities.push_back({.a = std::min(i + 1, columns - 1)});
  start.kev = column_below(request.text, layout, 0, 100.0);
  if (layout.proposal && fits(*layout.proposal, layout.columns, intensities_.size()))
    start = *layout.proposal;  // an XDI file's names
  showChoice(start);
}

void ImportColumnsDialog::showChoice(const ColumnChoice& choice) {
  energy_->setCurrentIndex(static_cast<int>(choice.energy));
  unit_->setCurrentIndex(choice.kev ? 1 : 0);
  for (std::size_t i = 0; i < intensities_.size(); ++i) {
    const IntensityColumns& in = choice.intensities[i];
    intensities_[i].mode->setCurrentIndex(in.mode);
    intensities_[i].a->setCurrentIndex(static_cast<int>(in.a));
    intensities_[i].b->setCurrentIndex(static_cast<int>(in.b));
    intensities_[i].b->setEnabled(in.mode != IntensityColumns::column);
  }
}

ColumnChoice ImportColumnsDialog::choice() const {
  ColumnChoice choice;
  choice.energy = static_cast<std::size_t>(std::max(energy_->currentIndex(), 0));
  choice.kev = unit_->currentIndex() == 1;
  for (const IntensityBoxes& boxes : intensities_) {
    IntensityColumns in;
    in.mode = static_cast<IntensityColumns::Mode>(std::max(boxes.mode->currentIndex(), 0));
    in.a = static_cast<std::size_t>(std::max(boxes.a->currentIndex(), 0));
    in.b = in.mode == IntensityColumns::column
               ? 0
               : static_cast<std::size_t>(std::max(boxes.b->currentIndex(), 0));
    choice.intensities.push_back(in);
  }
  return choice;
}

void ImportColumnsDialog::remember() const { remembered()[command_] = choice(); }

ColumnImporter qt_column_importer() {
  return [](const ColumnRequest& request) -> std::optional<ColumnChoice> {
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent) parent = QApplication::activeWindow();
    ImportColumnsDialog dialog(request, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    dialog.remember();
    return dialog.choice();
  };
}

}  // namespace talvern
