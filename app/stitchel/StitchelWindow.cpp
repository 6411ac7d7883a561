#include "StitchelWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QUrl>
#include <QVBoxLayout>

#include "AppPaths.h"
#include "StitchelLogic.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

}  // namespace

StitchelWindow::StitchelWindow(std::string executableFolder, std::vector<std::string> projectPaths,
                               std::string configPath)
    : executableFolder_(std::move(executableFolder)), configPath_(std::move(configPath)) {
  setWindowTitle("Map Combiner");
  showMessage = [this](const std::string& text, bool warning) {
    if (warning)
      QMessageBox::warning(this, kApplicationTitle, Q(text));
    else
      QMessageBox::information(this, kApplicationTitle, Q(text));
  };
  openFolder = [](const std::string& folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(Q(folder))); };
  taskList = Named(new QListWidget, "taskList");
  taskList->setSelectionMode(QAbstractItemView::NoSelection);
  taskList->setMaximumHeight(taskList->fontMetrics().height() * 5);
  openButton = Named(new QPushButton("Open tasks..."), "openButton");
  levelsButton = Named(new QPushButton("Take its other levels"), "levelsButton");
  levelsButton->setToolTip("Add the other zoom levels of the job this task belongs to (NAME_z10 ... NAME_z14)");
  kindBox = Named(new QComboBox, "kindBox");
  for (const OutputChoice& choice : kOutputChoices) kindBox->addItem(choice.label);
  outputEdit = Named(new QLineEdit, "outputEdit");
  browseButton = Named(new QPushButton("Browse..."), "browseButton");
  forceBox = Named(new QCheckBox(kReplaceLabel), "forceBox");
  overviewsBox = Named(new QCheckBox("Overviews (GeoTIFF)"), "overviewsBox");
  clipCheck = Named(new QCheckBox(kClipLabel), "ClipCheck");
  clipCheck->setToolTip("A task over an area: clear the pixels outside its exact outline, not only the tiles "
                        "outside it (GeoTIFF and images)");
  minZoomBox = Named(new QCheckBox("Build lower levels down to zoom"), "minZoomBox");
  minZoomSpin = Named(new QSpinBox, "minZoomSpin");
  paletteBox = Named(new QCheckBox("Palette lower levels"), "paletteBox");
  paletteBox->setToolTip("Build lower levels from palette PNGs as palette PNGs of at most 256 colours, as small as "
                         "the tiles they come from");
  largeTilesBox = Named(new QCheckBox("512-pixel tiles"), "largeTilesBox");
  largeTilesBox->setToolTip("For high-density screens: each tile of the level above the tasks' is its four tiles "
                            "side by side; the tasks' own level is not written");
  combineButton = Named(new QPushButton("Combine"), "combineButton");
  cancelButton = Named(new QPushButton("Cancel"), "cancelButton");
  openFolderButton = Named(new QPushButton("Open folder"), "openFolderButton");
  progressBar = Named(new QProgressBar, "progressBar");
  statusLabel = Named(new QLabel, "statusLabel");
  statusLabel->setWordWrap(true);  // a long summary wraps instead of widening the window
  reportView = Named(new QPlainTextEdit, "reportView");
  reportView->setReadOnly(true);
  reportView->setPlaceholderText("Damaged tiles are listed here.");

  auto* taskButtons = new QVBoxLayout;
  taskButtons->addWidget(openButton);
  taskButtons->addWidget(levelsButton);
  taskButtons->addStretch(1);
  auto* taskRow = new QHBoxLayout;
  taskRow->addWidget(taskList, 1);
  taskRow->addLayout(taskButtons);
  auto* outputRow = new QHBoxLayout;
  outputRow->addWidget(outputEdit, 1);
  outputRow->addWidget(browseButton);
  auto* lowerRow = new QHBoxLayout;
  lowerRow->addWidget(minZoomBox);
  lowerRow->addWidget(minZoomSpin);
  lowerRow->addWidget(paletteBox);
  lowerRow->addWidget(largeTilesBox);
  lowerRow->addStretch(1);
  auto* form = new QFormLayout;
  form->addRow("Tasks:", taskRow);
  form->addRow("Output kind:", kindBox);
  form->addRow("Output:", outputRow);
  form->addRow("", forceBox);
  form->addRow("", overviewsBox);
  form->addRow("", clipCheck);
  form->addRow("", lowerRow);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(openFolderButton);
  buttons->addStretch(1);
  buttons->addWidget(combineButton);
  buttons->addWidget(cancelButton);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(progressBar);
  layout->addWidget(statusLabel);
  layout->addWidget(reportView, 1);
  layout->addLayout(buttons);
  resize(680, 520);

  connect(openButton, &QPushButton::clicked, this, &StitchelWindow::OpenClick);
  connect(levelsButton, &QPushButton::clicked, this, &StitchelWindow::LevelsClick);
  connect(kindBox, &QComboBox::currentIndexChanged, this, &StitchelWindow::KindChange);
  connect(browseButton, &QPushButton::clicked, this, &StitchelWindow::BrowseClick);
  connect(minZoomBox, &QCheckBox::toggled, this, &StitchelWindow::UpdateControls);
  connect(largeTilesBox, &QCheckBox::toggled, this, &StitchelWindow::UpdateControls);
  connect(combineButton, &QPushButton::clicked, this, &StitchelWindow::CombineClick);
  connect(cancelButton, &QPushButton::clicked, this, &StitchelWindow::CancelClick);
  connect(openFolderButton, &QPushButton::clicked, this, &StitchelWindow::OpenFolderClick);
  connect(&pollTimer_, &QTimer::timeout, this, &StitchelWindow::PollRun);
  pollTimer_.setInterval(100);
  OpenTasks(projectPaths);
}

StitchelWindow::~StitchelWindow() = default;  // a running combine is cancelled and joined

void StitchelWindow::OpenTasks(const std::vector<std::string>& projectPaths) {
  projectPaths_ = projectPaths;
  taskList->clear();
  for (const std::string& project : projectPaths_) taskList->addItem(Q(project));
  outputEdit->setText(Q(SuggestedOutputPath(projectPaths_, "", SelectedKind())));
  const std::optional<int32_t> lowest = LowestZoom(projectPaths_);
  minZoomSpin->setRange(0, lowest.value_or(0));
  minZoomSpin->setValue(DefaultMinZoom(lowest.value_or(0)));
  // The last run's outcome (a summary, a refusal, damaged tiles) was the other tasks'.
  writtenOutput_.clear();
  progressBar->setValue(0);
  statusLabel->clear();
  reportView->clear();
  UpdateControls();
}

OutputKind StitchelWindow::SelectedKind() const {
  return kOutputChoices[static_cast<std::size_t>(std::max(0, kindBox->currentIndex()))].kind;
}

void StitchelWindow::OpenClick() {
  const QStringList chosen = QFileDialog::getOpenFileNames(this, "Open project files:", {}, "Projects (*.qrnl)");
  std::vector<std::string> paths;
  for (const QString& path : chosen) paths.push_back(path.toStdString());
  if (!paths.empty()) OpenTasks(paths);
}

void StitchelWindow::LevelsClick() {
  if (!projectPaths_.empty()) OpenTasks(SiblingLevels(projectPaths_.front()));
}

void StitchelWindow::KindChange() {
  if (!projectPaths_.empty())
    outputEdit->setText(Q(SuggestedOutputPath(projectPaths_, outputEdit->text().toStdString(), SelectedKind())));
  UpdateControls();
}

void StitchelWindow::BrowseClick() {
  QString chosen;
  if (SelectedKind() == OutputKind::TileTree) {
    chosen = QFileDialog::getExistingDirectory(this, "Folder for the tile tree:");
    if (!chosen.isEmpty()) {
      const std::string suggested = SuggestedOutputPath(projectPaths_, "", OutputKind::TileTree);
      chosen += "/" + QFileInfo(Q(suggested.substr(0, suggested.size() - 1))).fileName() + "/";
    }
  } else {
    chosen = QFileDialog::getSaveFileName(this, "Combine into:", outputEdit->text(), {}, nullptr,
                                          QFileDialog::DontConfirmOverwrite);
  }
  if (!chosen.isEmpty()) outputEdit->setText(chosen);
}

void StitchelWindow::CombineClick() {
  if (run_ || projectPaths_.empty()) return;
  reportView->clear();
  progressBar->setValue(0);
  statusLabel->setText("Combining...");
  writtenOutput_.clear();
  CombineChoices choices;
  choices.projectFiles = projectPaths_;
  choices.outputPath = outputEdit->text().toStdString();
  choices.force = forceBox->isChecked();
  choices.overviews = overviewsBox->isEnabled() && overviewsBox->isChecked();
  choices.clip = clipCheck->isEnabled() && clipCheck->isChecked();
  if (minZoomBox->isEnabled() && minZoomBox->isChecked()) choices.minZoom = minZoomSpin->value();
  choices.palette = paletteBox->isEnabled() && paletteBox->isChecked();
  if (largeTilesBox->isEnabled() && largeTilesBox->isChecked()) choices.tileSize = 512;
  run_ = std::make_unique<CombineRun>(StitchelRequest(choices, executableFolder_, configPath_));
  elapsed_.start();
  pollTimer_.start();
  UpdateControls();
}

void StitchelWindow::CancelClick() {
  if (run_) run_->Cancel();
}

void StitchelWindow::OpenFolderClick() {
  if (!writtenOutput_.empty()) openFolder(FolderToOpen(writtenOutput_));
}

void StitchelWindow::PollRun() {
  if (!run_) return;
  for (const std::string& line : run_->TakeLines()) reportView->appendPlainText(Q(line));
  const int64_t total = run_->Total(), done = run_->Done();
  if (total > 0) {
    progressBar->setValue(static_cast<int>(done * 100 / total));
    statusLabel->setText(
        Q(ProgressText(run_->Stage(), done, total, static_cast<double>(elapsed_.elapsed()) / 1000)));
  }
  const auto outcome = run_->Finished();
  if (!outcome) return;
  for (const std::string& line : run_->TakeLines()) reportView->appendPlainText(Q(line));
  pollTimer_.stop();
  run_.reset();
  if (outcome->written) {
    writtenOutput_ = outputEdit->text().toStdString();
    progressBar->setValue(100);
    const std::string text = CombineSummaryText(outcome->summary, writtenOutput_);
    statusLabel->setText(Q(text));
    UpdateControls();
    showMessage(text, outcome->summary.badTiles > 0);
  } else {
    statusLabel->setText(Q(outcome->message));
    UpdateControls();
    showMessage(outcome->message, !outcome->cancelled);
  }
}

void StitchelWindow::UpdateControls() {
  const bool running = run_ != nullptr;
  const bool tasks = !projectPaths_.empty();
  combineButton->setEnabled(!running && tasks);
  cancelButton->setEnabled(running);
  openFolderButton->setEnabled(!running && !writtenOutput_.empty());
  levelsButton->setEnabled(!running && tasks && SiblingLevels(projectPaths_.front()) != projectPaths_);
  for (QWidget* widget : {static_cast<QWidget*>(openButton), static_cast<QWidget*>(kindBox),
                          static_cast<QWidget*>(outputEdit), static_cast<QWidget*>(browseButton),
                          static_cast<QWidget*>(forceBox)})
    widget->setEnabled(!running);
  overviewsBox->setEnabled(!running && SelectedKind() == OutputKind::GeoTiff);
  clipCheck->setEnabled(!running && !IsTileSet(SelectedKind()));
  minZoomBox->setEnabled(!running && IsTileSet(SelectedKind()));
  minZoomSpin->setEnabled(minZoomBox->isEnabled() && minZoomBox->isChecked());
  largeTilesBox->setEnabled(minZoomBox->isEnabled());
  // Only built levels have a palette to choose.
  paletteBox->setEnabled(minZoomBox->isEnabled() &&
                         (minZoomBox->isChecked() || largeTilesBox->isChecked()));
}

void StitchelWindow::closeEvent(QCloseEvent* event) {
  // The run's end removes its temporary; closing waits for that.
  if (run_) run_->Cancel();
  run_.reset();
  event->accept();
}
