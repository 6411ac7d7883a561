#include "RedownloadWindow.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "GuiPlatform.h"

RedownloadWindow::RedownloadWindow(GuiPlatform& platform, std::string configPathOverride, QWidget* parent)
    : QWidget(parent, Qt::Window), platform_(platform), logic_(platform, std::move(configPathOverride)) {
  setObjectName("Form4");
  setWindowTitle(QString::fromStdString(logic_.Caption));
  resize(640, 360);

  Button1 = new QPushButton(TForm4::Button1Caption, this);
  Button1->setObjectName("Button1");
  StopButton = new QPushButton(TForm4::StopButtonCaption, this);
  StopButton->setObjectName("StopButton");
  StopButton->setEnabled(false);
  LabelProgress = new QLabel(this);
  LabelProgress->setObjectName("LabelProgress");
  LabelProgress->setWordWrap(true);
  LabelProgress->setMinimumWidth(140);
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  for (const std::string& line : logic_.Memo1) Memo1->appendPlainText(QString::fromStdString(line));

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(Button1);
  buttons->addWidget(StopButton);
  buttons->addWidget(LabelProgress);
  buttons->addStretch(1);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(Memo1, 1);

  logic_.SetView(this);
  connect(Button1, &QPushButton::clicked, this, &RedownloadWindow::Button1Click);
  connect(StopButton, &QPushButton::clicked, this, [this] { logic_.StopClick(); });
}

RedownloadWindow::~RedownloadWindow() { logic_.SetView(nullptr); }

void RedownloadWindow::ShowModeless() {
  show();
  raise();
  activateWindow();
}

void RedownloadWindow::Button1Click() {
  platform_.RunGuarded([this] { logic_.Button1Click(); });
  ProgressChanged();
}

void RedownloadWindow::Memo1Appended(const std::string& line) { Memo1->appendPlainText(QString::fromStdString(line)); }

void RedownloadWindow::ProgressChanged() {
  LabelProgress->setText(QString::fromStdString(logic_.LabelProgress));
  Button1->setEnabled(!logic_.Running());
  StopButton->setEnabled(logic_.Running());
}
