#include "xafs/ui/CConvXAFS.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QCompleter>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "xafs/conv_xafs_sheet.h"

namespace talvern {

CConvXAFS::CConvXAFS(WorkSpace ws, QWidget* parent, UserFiles files)
    : CommandDialog(std::move(ws), conv_xafs_sheet(), std::move(files), parent) {
  setWindowTitle("Conventional XAFS");
  bindWidgets(build());
  showState();
}

CConvXAFS::Widgets CConvXAFS::build() {
  Widgets w{};
  w.panel = make_panel("plotPanel", this, 300, 220, userFiles());

  w.load = commandButton("Load XAFS(for Abs. Correction)", "loadXafsButton", this);
  w.clear = commandButton("Clear XAFS", "clearXafsButton", this);
  w.confirm = commandButton("Confirm XAFS INFO", "confirmXafsInfoButton", this);
  w.complete = commandButton("Complete XAFS Setting", "completeXafsButton", this);
  w.edgeFromData = commandButton("Edge from Data", "edgeFromDataButton", this);

  w.edgeList = new QComboBox(this);
  w.edgeList->setObjectName("edgeList");
  w.edgeList->setMaxVisibleItems(20);
  // Typing into the list offers the entries that hold the text ("pt l3").
  w.edgeList->setEditable(true);
  w.edgeList->setInsertPolicy(QComboBox::NoInsert);
  w.edgeList->completer()->setFilterMode(Qt::MatchContains);
  w.edgeList->completer()->setCompletionMode(QCompleter::PopupCompletion);
  w.edgeList->completer()->setCaseSensitivity(Qt::CaseInsensitive);
  auto* edgeLabel = make_label("Select Abs. Edge", w.edgeList, this, "edgeLabel");
  w.coreEnergy = make_box("coreEnergyBox", this);
  auto* coreLabel = make_label("Core Energy (eV)", w.coreEnergy, this, "coreEnergyLabel");
  w.ownEnergy = make_box("ownEdgeEnergyBox", this, 8);
  auto* ownEnergyLabel = make_label("Other... Energy (eV)", w.ownEnergy, this, "ownEdgeEnergyLabel");
  w.ownWidth = make_box("ownEdgeWidthBox", this, 8);
  auto* ownWidthLabel = make_label("Other... Width (eV)", w.ownWidth, this, "ownEdgeWidthLabel");

  QLabel* paneLabel = nullptr;
  w.messagePane = make_message_pane(this, paneLabel);
  size_message_pane(w.messagePane, "directly in the edit box above.   Then, confirm it.  ", 10);

  auto* controls = new QVBoxLayout;
  controls->addWidget(w.load);
  controls->addWidget(w.clear);
  controls->addSpacing(8);
  controls->addWidget(edgeLabel);
  controls->addWidget(w.edgeList);
  controls->addWidget(coreLabel);
  controls->addWidget(w.coreEnergy);
  controls->addWidget(w.edgeFromData);
  controls->addSpacing(8);
  controls->addWidget(w.confirm);
  controls->addWidget(w.complete);
  controls->addStretch(1);

  auto* top = new QHBoxLayout;
  top->addWidget(new PlotFrame(w.panel, this), 1);
  top->addLayout(controls);
  // Beside "Load XAFS(for Abs. Correction)", not under it: the panel keeps its height.
  auto* normalisation = new QVBoxLayout;
  normalisation->addWidget(buildNormalisation(w));
  normalisation->addStretch(1);
  top->addLayout(normalisation);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  // The boxes of "Other...", under the list: the panel keeps its height.
  auto* own = new QHBoxLayout;
  own->addStretch(1);
  for (auto [label, box] : {std::pair{ownEnergyLabel, w.ownEnergy}, {ownWidthLabel, w.ownWidth}}) {
    own->addWidget(label);
    box->setMaximumWidth(box->minimumWidth());
    own->addWidget(box);
  }
  layout->addLayout(own);
  layout->addSpacing(6);
  layout->addWidget(paneLabel);
  layout->addWidget(w.messagePane, 1);
  layout->addLayout(make_recover_graphics_row(this, {w.panel}));
  layout->addLayout(make_ok_cancel_row(this));
  return w;
}

// The choice of the load's normalisation and, under it, the edge step's
// ranges relative to E0 (the core energy box, else "Edge from Data"); an
// empty box shows its default.
QGroupBox* CConvXAFS::buildNormalisation(Widgets& w) {
  auto* group = new QGroupBox("Normalization", this);
  w.normalise = new QButtonGroup(group);
  w.normalise->setObjectName("normaliseGroup");
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(make_radio("Divide by maximum", "normaliseGroup0", w.normalise, 0, group));
  layout->addWidget(make_radio("Edge step", "normaliseGroup1", w.normalise, 1, group));
  auto* grid = new QGridLayout;
  const auto box = [&](const char* caption, const char* name, const char* shown, int row,
                       int column) {
    QLineEdit* b = make_box(name, group, 5);
    b->setPlaceholderText(shown);
    grid->addWidget(make_label(caption, b, group), row, column);
    grid->addWidget(b, row, column + 1);
    return b;
  };
  w.pre1 = box("Pre-edge from", "pre1Box", "-150", 0, 0);
  w.pre2 = box("to", "pre2Box", "-30", 0, 2);
  w.norm1 = box("Post-edge from", "norm1Box", "150", 1, 0);
  w.norm2 = box("to", "norm2Box", "end", 1, 2);
  w.nnorm = box("Degree", "nnormBox", "auto", 2, 0);
  w.flatten = new QCheckBox("Flatten", group);
  w.flatten->setObjectName("flattenBox");
  grid->addWidget(w.flatten, 2, 2, 1, 2);
  layout->addLayout(grid);
  return group;
}

void CConvXAFS::bindWidgets(const Widgets& w) {
  bindPanel(w.panel, conv_xafs_curves, &ConvXAFSState::marker);
  // The core energy's marker follows the box as it is typed.
  bindPanelText(w.panel, conv_xafs_text);
  connect(w.coreEnergy, &QLineEdit::textChanged, w.panel, [panel = w.panel] { panel->update(); });
  connect(w.panel, &PlotPanel::panelClicked, this,
          [this](double x_l, double y_l) { runClick("xafs-click", plot::ClickPoint{x_l, y_l}); });
  bind(w.edgeList, &ConvXAFSState::edge_list, &ConvXAFSState::selected_edge);
  bind(w.coreEnergy, &ConvXAFSState::core_energy);
  bind(w.normalise, &ConvXAFSState::normalise);
  bind(w.pre1, &ConvXAFSState::pre1);
  bind(w.pre2, &ConvXAFSState::pre2);
  bind(w.norm1, &ConvXAFSState::norm1);
  bind(w.norm2, &ConvXAFSState::norm2);
  bind(w.nnorm, &ConvXAFSState::nnorm);
  bind(w.flatten, &ConvXAFSState::flatten);
  bind(w.ownEnergy, &ConvXAFSState::own_energy);
  bind(w.ownWidth, &ConvXAFSState::own_width);
  bindMessage(w.messagePane);
}

}  // namespace talvern
