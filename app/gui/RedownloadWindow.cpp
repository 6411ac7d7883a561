#include "RedownloadWindow.h"

#include <QCoreApplication>
#include <QHBoxLayout>

#include "GuiPlatform.h"

RedownloadWindow::RedownloadWindow(GuiPlatform& platform, std::string configPathOverride, QWidget* parent)
    : QWidget(parent, Qt::Window), platform_(platform), logic_(platform, std::move(configPathOverride)) {
  setObjectName("Form4");
  setWindowTitle(QString::fromStdString(logic_.Caption));
  resize(640, 360);

  Button1 = new QPushButton(TForm4::Button1Caption, this);
  Button1->setObjectName("Button1");
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  for (const std::string& line : logic_.Memo1) Memo1->appendPlainText(QString::fromStdString(line));

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(Button1, 0, Qt::AlignTop);
  layout->addWidget(Memo1, 1);

  logic_.SetView(this);
  connect(Button1, &QPushButton::clicked, this, &RedownloadWindow::Button1Click);
}

RedownloadWindow::~RedownloadWindow() { logic_.SetView(nullptr); }

void RedownloadWindow::ShowModeless() {
  show();
  raise();
  activateWindow();
}

void RedownloadWindow::Button1Click() { platform_.RunGuarded([this] { logic_.Button1Click(); }); }

// The re-download fetches on the GUI thread, one entry after another; each
// line is painted as it comes, and a running task's workers keep reporting.
void RedownloadWindow::Memo1Appended(const std::string& line) {
  Memo1->appendPlainText(QString::fromStdString(line));
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
