#include "app/ui/CAboutDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "gui/form_widgets.h"

namespace talvern {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Version INFO TALVERN");

  auto* icon = new QLabel(this);
  icon->setObjectName("aboutIcon");
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));

  auto* text = new QLabel(QString("TALVERN, Version ") + TALVERN_VERSION, this);
  text->setObjectName("aboutText");

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("okButton");
  ok->setDefault(true);
  set_files_tip(ok, {}, "closes this box");
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* row = new QHBoxLayout;
  row->addWidget(icon, 0, Qt::AlignTop);
  row->addSpacing(12);
  row->addWidget(text, 1, Qt::AlignVCenter);
  row->addSpacing(24);
  row->addWidget(ok, 0, Qt::AlignTop);

  auto* outer = new QVBoxLayout(this);
  outer->addLayout(row);
  outer->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace talvern
