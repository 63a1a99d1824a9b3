#include "app/ui/CTALVERNView.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>
#include <QVBoxLayout>

#include "app/main_form.h"
#include "plot/ui/title_picture.h"

namespace {

// The message pane asks for a handful of lines; longer messages scroll.
class MessagePane : public QPlainTextEdit {
 public:
  using QPlainTextEdit::QPlainTextEdit;
  QSize sizeHint() const override {
    const int lines = 6;
    const int margins = 2 * frameWidth() + int(2 * document()->documentMargin());
    return {QPlainTextEdit::sizeHint().width(), lines * fontMetrics().lineSpacing() + margins};
  }
};

// Framed box that shows the title picture unscaled at its top-left corner.
class PictureFrame : public QFrame {
 public:
  explicit PictureFrame(QWidget* parent) : QFrame(parent), picture_(talvern_title_picture()) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    const int border = 2 * frameWidth();
    setFixedSize(picture_.width() + border, picture_.height() + border);
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.drawImage(contentsRect().topLeft(), picture_);
  }

 private:
  QImage picture_;
};

QPushButton* makeButton(const char* caption, const char* name, QWidget* parent,
                        bool enabled = true) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setEnabled(enabled);
  return button;
}

}  // namespace

CTALVERNView::CTALVERNView(talvern::WorkSpace ws, QWidget* parent)
    : QWidget(parent), ws_(std::move(ws)) {
  setObjectName("mainForm");

  auto* note = new QLabel("Be Sure to Do It at First!", this);
  note->setObjectName("firstNote");
  auto* construct = makeButton("Construct Work-Space", "constructButton", this);
  connect(construct, &QPushButton::clicked, this, &CTALVERNView::constructWorkSpace);

  // The loads and the setting steps are not available in this version yet.
  auto* loads = new QGroupBox("Load the Materials for Simulation", this);
  loads->setObjectName("loadGroup");
  auto* loadGrid = new QGridLayout(loads);
  loadGrid->addWidget(makeButton("Load Conventional XAFS", "loadConvXafsButton", loads, false), 0, 0);
  loadGrid->addWidget(makeButton("Load XRF", "loadXrfButton", loads, false), 0, 1);
  loadGrid->addWidget(makeButton("Load Exp. RIXS", "loadExpRixsButton", loads, false), 1, 0);
  loadGrid->addWidget(makeButton("Load Selective XAFS", "loadSelXafsButton", loads, false), 1, 1);

  auto* settingXafs = makeButton("Setting by XAFS", "settingXafsButton", this, false);
  auto* settingXrf = makeButton("Setting by XRF", "settingXrfButton", this, false);
  auto* rixs = makeButton("RIXS Simulation", "rixsSimulationButton", this, false);

  auto* paneLabel = new QLabel("Message from TALVERN", this);
  paneLabel->setObjectName("messageLabel");
  messagePane_ = new MessagePane(this);
  messagePane_->setObjectName("messagePane");
  messagePane_->setReadOnly(true);
  messagePane_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  messagePane_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  messagePane_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  messagePane_->setMinimumHeight(3 * messagePane_->fontMetrics().lineSpacing());
  paneLabel->setBuddy(messagePane_);

  auto* picture = new PictureFrame(this);
  picture->setObjectName("pictureFrame");

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(note);
  layout->addWidget(construct);
  layout->addSpacing(6);
  layout->addWidget(loads);
  layout->addSpacing(6);
  layout->addWidget(settingXafs);
  layout->addWidget(settingXrf);
  layout->addWidget(rixs);
  layout->addSpacing(6);
  layout->addWidget(paneLabel);
  layout->addWidget(messagePane_, 1);
  layout->addWidget(picture, 0, Qt::AlignHCenter);
}

void CTALVERNView::setMessage(const std::string& text) {
  QString shown = QString::fromStdString(text);
  shown.replace("\r\n", "\n");
  messagePane_->setPlainText(shown);
}

void CTALVERNView::constructWorkSpace() {
  talvern::MainFormState state;
  talvern::construct_work_space(ws_, state);
  setMessage(state.message);
}
