#include "RefreshTilesDialog.h"

#include <QGridLayout>
#include <QVBoxLayout>

#include "GuiPlatform.h"

namespace {

QString ToQt(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

RefreshTilesDialog::RefreshTilesDialog(GuiPlatform& platform, std::string configPathOverride, QWidget* parent)
    : QWidget(parent, Qt::Window), platform_(platform), logic_(platform, std::move(configPathOverride)) {
  setObjectName("RefreshTiles");
  setWindowTitle(RefreshTilesLogic::Caption);
  resize(600, 360);

  EditProject = new QLineEdit(this);
  ButtonBrowse = new QPushButton("...", this);
  ButtonBrowse->setFixedWidth(28);
  EditOlderThan = new QLineEdit(this);
  EditOlderThan->setPlaceholderText("the server's expiry, else 7");
  EditOlderThan->setToolTip("Ask again for tiles whose expiry has passed or that are this many days old");
  ButtonStart = new QPushButton(RefreshTilesLogic::StartCaption, this);
  LabelProgress = new QLabel(this);
  LabelProgress->setWordWrap(true);
  Memo1 = new QPlainTextEdit(this);
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel("Task:", this), 0, 0);
  grid->addWidget(EditProject, 0, 1);
  grid->addWidget(ButtonBrowse, 0, 2);
  grid->addWidget(new QLabel("Older than (days):", this), 1, 0);
  grid->addWidget(EditOlderThan, 1, 1);
  grid->addWidget(ButtonStart, 1, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(LabelProgress);
  layout->addWidget(Memo1, 1);

  const std::pair<QObject*, const char*> names[] = {
      {EditProject, "EditProject"}, {ButtonBrowse, "ButtonBrowse"},   {EditOlderThan, "EditOlderThan"},
      {ButtonStart, "ButtonStart"}, {LabelProgress, "LabelProgress"}, {Memo1, "Memo1"},
  };
  for (const auto& [object, name] : names) object->setObjectName(name);

  logic_.SetView(this);
  connect(ButtonBrowse, &QPushButton::clicked, this, [this] {
    WidgetsToLogic();
    platform_.RunGuarded([this] { logic_.ButtonBrowseClick(); });
  });
  connect(ButtonStart, &QPushButton::clicked, this, [this] {
    WidgetsToLogic();
    platform_.RunGuarded([this] { logic_.ButtonStartClick(); });
    ProgressChanged();
  });
}

RefreshTilesDialog::~RefreshTilesDialog() { logic_.SetView(nullptr); }

void RefreshTilesDialog::ShowModeless() {
  WidgetsToLogic();
  logic_.FormShow();
  if (!isVisible() && parentWidget()) move(parentWidget()->geometry().center() - rect().center());
  show();
  raise();
  activateWindow();
}

void RefreshTilesDialog::WidgetsToLogic() {
  if (logic_.Running()) return;
  logic_.EditProject = EditProject->text().toStdString();
  logic_.EditOlderThan = EditOlderThan->text().toStdString();
}

void RefreshTilesDialog::Memo1Appended(const std::string& line) { Memo1->appendPlainText(ToQt(line)); }

void RefreshTilesDialog::ProgressChanged() {
  if (EditProject->text() != ToQt(logic_.EditProject)) EditProject->setText(ToQt(logic_.EditProject));
  LabelProgress->setText(ToQt(logic_.LabelProgress));
  ButtonStart->setText(logic_.ButtonCaption());
  EditProject->setEnabled(!logic_.Running());
  ButtonBrowse->setEnabled(!logic_.Running());
  EditOlderThan->setEnabled(!logic_.Running());
}
