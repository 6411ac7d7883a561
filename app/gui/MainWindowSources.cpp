#include <QGridLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "MainWindow.h"

// The source selector sits above the zoom controls, since the chosen source
// sets their range: its row holds "Add source...", the row below the chosen
// source's attribution and terms link, what the last Test said, and "Test".
void MainWindow::BuildSourceControls(QWidget* parent, QGridLayout* grid, int& row) {
  ComboBoxSource = new QComboBox(parent);
  ComboBoxSource->setObjectName("ComboBoxSource");
  ComboBoxSource->setToolTip("Where the tiles come from; the configured server is [Hosts] of the configuration file");
  ButtonAddSource = new QPushButton("Add source...", parent);
  ButtonAddSource->setObjectName("ButtonAddSource");
  ButtonAddSource->setToolTip("Add sources from a TileJSON, WMTS capabilities, a QGIS connections file or a tile address");
  auto* label = new QLabel("Source:", parent);
  label->setBuddy(ComboBoxSource);
  grid->addWidget(label, row, 0);
  grid->addWidget(ComboBoxSource, row, 1);
  grid->addWidget(ButtonAddSource, row, 2);
  ++row;

  auto* about = new QWidget(parent);
  auto* lines = new QVBoxLayout(about);
  lines->setContentsMargins(0, 0, 0, 0);
  lines->setSpacing(2);
  LabelSourceTerms = new QLabel(about);
  LabelSourceTerms->setObjectName("LabelSourceTerms");
  LabelSourceTerms->setTextFormat(Qt::RichText);
  LabelSourceTerms->setWordWrap(true);
  LabelSourceStatus = new QLabel(about);
  LabelSourceStatus->setObjectName("LabelSourceStatus");
  LabelSourceStatus->setTextFormat(Qt::PlainText);
  LabelSourceStatus->setWordWrap(true);
  // Room for two lines, so that a source's attribution and a Test's answer do not move the rows below.
  about->setMinimumHeight(2 * about->fontMetrics().lineSpacing() + lines->spacing());
  lines->addWidget(LabelSourceTerms);
  lines->addWidget(LabelSourceStatus);
  ButtonTestSource = new QPushButton("Test", parent);
  ButtonTestSource->setObjectName("ButtonTestSource");
  ButtonTestSource->setToolTip("Fetch one tile of the chosen source and say what came");
  grid->addWidget(about, row, 1);
  grid->addWidget(ButtonTestSource, row, 2, Qt::AlignTop);
  ++row;
}

void MainWindow::ConnectSourceControls() {
  connect(ComboBoxSource, &QComboBox::currentIndexChanged, this,
          [this] { Handle([this] { logic_.SourceChange(TypedEntries()); }); });
  connect(ButtonAddSource, &QPushButton::clicked, this,
          [this] { Handle([this] { logic_.AddSourceClick(TypedEntries()); }); });
  connect(ButtonTestSource, &QPushButton::clicked, this,
          [this] { Handle([this] { logic_.TestSourceClick(TypedEntries()); }); });
  connect(LabelSourceTerms, &QLabel::linkActivated, this, [this] { Handle([this] { logic_.SourceTermsClick(); }); });
}

// Row 0 is the configured server; a source is its item's text.
std::string MainWindow::ChosenSourceName() const {
  const int index = ComboBoxSource->currentIndex();
  return index > 0 ? ComboBoxSource->itemText(index).toStdString() : std::string();
}

void MainWindow::DrawSources(const TForm1Face& face) {
  const QSignalBlocker blockSelector(ComboBoxSource);
  const std::string chosen = face.entries ? face.entries->task.source : ChosenSourceName();
  QStringList items;
  for (const std::string& item : face.sourceItems) items.append(QString::fromStdString(item));
  QStringList shown;
  for (int i = 0; i < ComboBoxSource->count(); ++i) shown.append(ComboBoxSource->itemText(i));
  if (items != shown) {
    ComboBoxSource->clear();
    ComboBoxSource->addItems(items);
  }
  int index = 0;
  for (int i = 1; i < ComboBoxSource->count() && !chosen.empty(); ++i)
    if (ComboBoxSource->itemText(i).toStdString() == chosen) index = i;
  ComboBoxSource->setCurrentIndex(ComboBoxSource->count() > 0 ? index : -1);

  QString terms = QString::fromStdString(face.LabelSourceAttribution).toHtmlEscaped();
  if (!face.SourceTermsUrl.empty()) {
    const QString url = QString::fromStdString(face.SourceTermsUrl).toHtmlEscaped();
    terms += QString(terms.isEmpty() ? "" : " \u00b7 ") + "<a href=\"" + url + "\">Terms of use</a>";
  }
  if (LabelSourceTerms->text() != terms) LabelSourceTerms->setText(terms);
  LabelSourceTerms->setToolTip(QString::fromStdString(face.SourceTermsUrl));
  LabelSourceTerms->setVisible(!terms.isEmpty());
  const QString status = QString::fromStdString(face.LabelSourceStatus);
  if (LabelSourceStatus->text() != status) LabelSourceStatus->setText(status);
  LabelSourceStatus->setVisible(!status.isEmpty());
  ButtonTestSource->setEnabled(face.ButtonTestSourceEnabled);
  ButtonAddSource->setEnabled(face.ButtonAddSourceEnabled);
}
