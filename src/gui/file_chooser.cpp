#include "gui/file_chooser.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include "workspace/workspace.h"

namespace talvern {
namespace {

// Folder of the last file chosen in this run; empty until the first choice.
QString& lastFolder() {
  static QString folder;
  return folder;
}

QWidget* dialogParent() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return QApplication::activeWindow();
}

// File names go between Qt and the file system in the local encoding.
QString toQString(const std::filesystem::path& p) { return QFile::decodeName(p.c_str()); }

}  // namespace

FileChooser qt_file_chooser() {
  return [](FileKind kind) -> std::optional<std::filesystem::path> {
    QFileDialog dialog(dialogParent());
    if (kind == FileKind::save_data) {
      // Qt asks before an existing file is replaced.
      dialog.setAcceptMode(QFileDialog::AcceptSave);
      dialog.setFileMode(QFileDialog::AnyFile);
    } else {
      dialog.setAcceptMode(QFileDialog::AcceptOpen);
      dialog.setFileMode(QFileDialog::ExistingFile);
    }
    QStringList filters;
    if (kind == FileKind::selective_xafs) {
      filters << "WIEN2k (*.xspec *.xspecup *.xspecdn)";
    } else {
      dialog.setDefaultSuffix("DAT");
    }
    filters << "Data (*.DAT *.dat)" << "All (*)";
    dialog.setNameFilters(filters);
    dialog.setDirectory(lastFolder().isEmpty() ? toQString(initial_data_dir()) : lastFolder());

    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return std::nullopt;
    lastFolder() = QFileInfo(chosen.first()).absolutePath();
    return std::filesystem::path(QFile::encodeName(chosen.first()).toStdString());
  };
}

OpenFailureReporter qt_open_failure_reporter() {
  return [](const OpenFailure& failure) {
    QString text = QString::fromStdString(failure.text());
    text.replace("\r\n", "\n");
    QMessageBox::warning(dialogParent(), "TALVERN", text);
  };
}

}  // namespace talvern
