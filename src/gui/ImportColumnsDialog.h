#pragma once
// "Import Columns": how a measured file that is not plain rows of numbers
// becomes them. Shows the first lines of the file and lets the user pick
// the energy column and its unit and, for each intensity, a column, a
// ratio A/B (fluorescence over I0) or ln(A/B) (transmission).

#include <QDialog>
#include <vector>

#include "workspace/user_file.h"

class QComboBox;

namespace talvern {

class ImportColumnsDialog : public QDialog {
 public:
  // Starts with the last choice made for the same command in this run when
  // it fits the file, else energy in the first column and the intensities
  // in the next ones; keV when every energy is below 100.
  ImportColumnsDialog(const ColumnRequest& request, QWidget* parent = nullptr);

  // The columns as chosen now.
  ColumnChoice choice() const;
  // Remembers the choice for the command (done when the user presses OK).
  void remember() const;

  QComboBox* energyBox() const { return energy_; }
  QComboBox* unitBox() const { return unit_; }
  // Per intensity: the mode (column, A/B, ln(A/B)), column A and column B.
  QComboBox* modeBox(std::size_t i) const { return intensities_[i].mode; }
  QComboBox* columnBox(std::size_t i, bool b) const {
    return b ? intensities_[i].b : intensities_[i].a;
  }

 private:
  struct IntensityBoxes {
    QComboBox* mode;
    QComboBox* a;
    QComboBox* b;
  };
  void showChoice(const ColumnChoice& choice);
  std::string command_;
  QComboBox* energy_;
  QComboBox* unit_;
  std::vector<IntensityBoxes> intensities_;
};

// The column import of the program: runs "Import Columns" over the active
// window for each file that needs it.
ColumnImporter qt_column_importer();

}  // namespace talvern
