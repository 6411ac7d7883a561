#include "ConverterDialog.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

#include "GuiPlatform.h"

ConverterDialog::ConverterDialog(GuiPlatform& platform, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint),
      platform_(platform),
      logic_(platform) {
  setObjectName("frmConvert");
  setWindowTitle(TfrmConvert::Caption);
  setModal(false);

  Edit1 = new QLineEdit(this);
  Edit2 = new QLineEdit(this);
  Edit3 = new QLineEdit(this);
  Button1 = new QPushButton("convert", this);
  Button1->setDefault(true);
  Edit4 = new QLineEdit(this);
  Edit4->setReadOnly(true);
  Edit1->setObjectName("Edit1");
  Edit2->setObjectName("Edit2");
  Edit3->setObjectName("Edit3");
  Button1->setObjectName("Button1");
  Edit4->setObjectName("Edit4");

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Degrees, Minutes, Seconds:", this));
  auto* fields = new QHBoxLayout;
  fields->addWidget(Edit1);
  fields->addWidget(Edit2);
  fields->addWidget(Edit3);
  fields->addWidget(Button1);
  layout->addLayout(fields);
  layout->addWidget(new QLabel("Degrees:", this));
  layout->addWidget(Edit4);
  setFixedSize(QSize(380, sizeHint().height()));

  connect(Button1, &QPushButton::clicked, this, &ConverterDialog::Button1Click);
}

void ConverterDialog::ShowModeless() {
  if (!placed_) {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
      move(screen->availableGeometry().center() - rect().center());
    placed_ = true;
  }
  show();
  raise();
  activateWindow();
}

void ConverterDialog::Button1Click() {
  logic_.Edit1 = Edit1->text().toStdString();
  logic_.Edit2 = Edit2->text().toStdString();
  logic_.Edit3 = Edit3->text().toStdString();
  platform_.RunGuarded([this] { logic_.Button1Click(); });
  Edit4->setText(QString::fromStdString(logic_.Edit4));
}
