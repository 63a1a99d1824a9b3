#include "gui/file_chooser.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
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

// A file dialog that opens a typed name of an existing file as typed, even
// when it lacks the default extension (which the dialog would add).
class OpenFileDialog : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;
  QString typed;  // the existing file typed, when that was how the dialog closed

  void accept() override {
    if (acceptMode() == QFileDialog::AcceptOpen)
      if (auto* edit = findChild<QLineEdit*>("fileNameEdit"); edit && !edit->text().isEmpty()) {
        const QFileInfo file(directory(), edit->text());
        if (file.isFile()) {
          typed = file.absoluteFilePath();
          QDialog::accept();
          return;
        }
      }
    QFileDialog::accept();
  }
};

}  // namespace

FileChooser qt_file_chooser() {
  return [](const FileRequest& request) -> std::optional<std::filesystem::path> {
    OpenFileDialog dialog(dialogParent());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (*request.title) dialog.setWindowTitle(request.title);
    if (request.kind == FileKind::save_data) {
      // Qt asks before an existing file is replaced.
      dialog.setAcceptMode(QFileDialog::AcceptSave);
      dialog.setFileMode(QFileDialog::AnyFile);
    } else {
      dialog.setAcceptMode(QFileDialog::AcceptOpen);
      dialog.setFileMode(QFileDialog::ExistingFile);
    }
    const QString data = "Data (*.DAT *.dat)";
    QStringList filters;
    if (request.kind == FileKind::selective_xafs) {
      filters << "WIEN2k (*.xspec *.xspecup *.xspecdn)";
    } else {
      dialog.setDefaultSuffix("DAT");
    }
    filters << data << "All (*)";
    dialog.setNameFilters(filters);
    if (request.data_filter) dialog.selectNameFilter(data);
    dialog.setDirectory(lastFolder().isEmpty() ? toQString(initial_data_dir()) : lastFolder());

    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.typed.isEmpty() ? dialog.selectedFiles() : QStringList{dialog.typed};
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
