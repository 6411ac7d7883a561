#include "OptionsDialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>

#include "GuiPlatform.h"
#include "NetworkSettings.h"
#include "UpDownArrows.h"

namespace {

QString ToQt(const std::string& text) { return QString::fromStdString(text); }

// An address has no blanks to wrap at: it may break after its separators.
QString Breakable(const std::string& text) {
  QString shown = ToQt(text);
  for (const QString separator : {"/", "&", "?", ",", "="}) shown.replace(separator, separator + QChar(0x200B));
  return shown;
}

void ShowSample(QLabel* label, const std::string& text) {
  label->setText(Breakable(text));
  label->setToolTip(ToQt(text));
}

}  // namespace

OptionsDialog::OptionsDialog(GuiPlatform& platform, std::string configPathOverride, QWidget* parent)
    : QDialog(parent), platform_(platform), logic_(platform, std::move(configPathOverride)) {
  setObjectName("frmOptions");
  setWindowTitle(TfrmOptions::Caption);
  setModal(true);

  Edit12 = new QLineEdit(this);
  Button3 = new QPushButton("...", this);
  Button3->setFixedWidth(28);
  Edit2 = new QLineEdit(this);
  Edit2->setReadOnly(true);
  Edit2->setFixedWidth(48);
  UpDown1 = new UpDownArrows(Edit2, TfrmOptions::UpDown1Min, TfrmOptions::UpDown1Max, this);
  CheckBoxUseProxy = new QCheckBox("Use proxy server", this);
  EditProxyServer = new QLineEdit(this);
  EditProxyPort = new QLineEdit(this);
  EditProxyUsername = new QLineEdit(this);
  EditProxyPassword = new QLineEdit(this);
  EditProxyPassword->setEchoMode(QLineEdit::Password);
  EditTileServer = new QLineEdit(this);
  EditTileServer->setPlaceholderText("tile.openstreetmap.org");
  EditTileServer->setToolTip("A host, or an address with {z}, {x}, {y}, {-y}, {s}, {switch:A,B}, {q} or {bbox}");
  LabelTileSample = new QLabel(this);
  LabelTileSample->setWordWrap(true);
  LabelTileSample->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // Room for a long template's address or a refusal: the dialog's size is fixed.
  LabelTileSample->setMinimumHeight(4 * LabelTileSample->fontMetrics().lineSpacing());
  EditUserAgent = new QLineEdit(this);
  EditUserAgent->setPlaceholderText(NetworkSettings::kDefaultUserAgent);
  Button1 = new QPushButton("OK", this);
  Button1->setDefault(true);
  Button2 = new QPushButton("Cancel", this);

  auto* grid = new QGridLayout(this);
  int row = 0;
  auto addRow = [&](const char* caption, QWidget* field, QWidget* extra = nullptr) {
    auto* label = new QLabel(caption, this);
    label->setBuddy(field);
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1, 1, extra ? 1 : 2);
    if (extra) grid->addWidget(extra, row, 2);
    ++row;
  };
  addRow("Default path to save :", Edit12, Button3);
  auto* threads = new QWidget(this);
  auto* threadsLayout = new QHBoxLayout(threads);
  threadsLayout->setContentsMargins(0, 0, 0, 0);
  threadsLayout->setSpacing(0);
  threadsLayout->addWidget(Edit2);
  threadsLayout->addWidget(UpDown1);
  threadsLayout->addStretch(1);
  addRow("Default threads number:", threads);
  grid->addWidget(CheckBoxUseProxy, row++, 0, 1, 3);
  addRow("Proxy Server Name (IP)", EditProxyServer);
  addRow("Proxy Port", EditProxyPort);
  addRow("Proxy Username", EditProxyUsername);
  addRow("Proxy Password", EditProxyPassword);
  addRow("Tile server", EditTileServer);
  grid->addWidget(LabelTileSample, row++, 0, 1, 3);
  addRow("User agent", EditUserAgent);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  grid->addLayout(buttons, row, 0, 1, 3);

  const std::pair<QObject*, const char*> names[] = {
      {Edit12, "Edit12"},
      {Button3, "Button3"},
      {Edit2, "Edit2"},
      {UpDown1, "UpDown1"},
      {CheckBoxUseProxy, "CheckBoxUseProxy"},
      {EditProxyServer, "EditProxyServer"},
      {EditProxyPort, "EditProxyPort"},
      {EditProxyUsername, "EditProxyUsername"},
      {EditProxyPassword, "EditProxyPassword"},
      {EditTileServer, "EditTileServer"},
      {LabelTileSample, "LabelTileSample"},
      {EditUserAgent, "EditUserAgent"},
      {Button1, "Button1"},
      {Button2, "Button2"},
  };
  for (const auto& [object, name] : names) object->setObjectName(name);

  resize(420, 300);
  setFixedSize(sizeHint().expandedTo(QSize(420, 0)));

  connect(Button1, &QPushButton::clicked, this, &OptionsDialog::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &OptionsDialog::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &OptionsDialog::Button3Click);
  connect(EditTileServer, &QLineEdit::textEdited, this, [this](const QString& text) {
    ShowSample(LabelTileSample, TfrmOptions::TileServerSampleText(text.toStdString()));
  });
}

void OptionsDialog::ShowModal() {
  FormShow();
  if (parentWidget()) move(parentWidget()->geometry().center() - rect().center());
  exec();
}

void OptionsDialog::FormShow() {
  TfrmOptionsFields fields;
  platform_.RunGuarded([&] { fields = logic_.FormShow(); });
  ShowFields(fields);
}

void OptionsDialog::Button1Click() {
  bool mayClose = false;
  platform_.RunGuarded([&] { mayClose = logic_.Button1Click(Fields()); });
  if (mayClose) accept();
}

void OptionsDialog::Button2Click() {
  logic_.Button2Click();
  reject();
}

void OptionsDialog::Button3Click() {
  std::optional<std::string> folder;
  platform_.RunGuarded([&] { folder = logic_.Button3Click(); });
  if (folder) Edit12->setText(ToQt(*folder));
}

TfrmOptionsFields OptionsDialog::Fields() const {
  TfrmOptionsFields fields;
  fields.Edit12 = Edit12->text().toStdString();
  fields.Edit2 = Edit2->text().toStdString();
  fields.CheckBoxUseProxy = CheckBoxUseProxy->isChecked();
  fields.EditProxyServer = EditProxyServer->text().toStdString();
  fields.EditProxyPort = EditProxyPort->text().toStdString();
  fields.EditProxyUsername = EditProxyUsername->text().toStdString();
  fields.EditProxyPassword = EditProxyPassword->text().toStdString();
  fields.EditTileServer = EditTileServer->text().toStdString();
  fields.EditUserAgent = EditUserAgent->text().toStdString();
  return fields;
}

void OptionsDialog::ShowFields(const TfrmOptionsFields& fields) {
  Edit12->setText(ToQt(fields.Edit12));
  Edit2->setText(ToQt(fields.Edit2));
  CheckBoxUseProxy->setChecked(fields.CheckBoxUseProxy);
  EditProxyServer->setText(ToQt(fields.EditProxyServer));
  EditProxyPort->setText(ToQt(fields.EditProxyPort));
  EditProxyUsername->setText(ToQt(fields.EditProxyUsername));
  EditProxyPassword->setText(ToQt(fields.EditProxyPassword));
  EditTileServer->setText(ToQt(fields.EditTileServer));
  ShowSample(LabelTileSample, TfrmOptions::TileServerSampleText(fields.EditTileServer));
  EditUserAgent->setText(ToQt(fields.EditUserAgent));
}
