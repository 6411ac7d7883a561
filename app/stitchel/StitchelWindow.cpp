#include "StitchelWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
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

StitchelWindow::StitchelWindow(std::string executableFolder, std::string projectPath)
    : executableFolder_(std::move(executableFolder)) {
  setWindowTitle("Map Combiner");
  showMessage = [this](const std::string& text, bool warning) {
    if (warning)
      QMessageBox::warning(this, kApplicationTitle, Q(text));
    else
      QMessageBox::information(this, kApplicationTitle, Q(text));
  };
  taskLabel = Named(new QLabel("(no task)"), "taskLabel");
  taskLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  openButton = Named(new QPushButton("Open task..."), "openButton");
  kindBox = Named(new QComboBox, "kindBox");
  for (const OutputChoice& choice : kOutputChoices) kindBox->addItem(choice.label);
  outputEdit = Named(new QLineEdit, "outputEdit");
  browseButton = Named(new QPushButton("Browse..."), "browseButton");
  forceBox = Named(new QCheckBox(kReplaceLabel), "forceBox");
  overviewsBox = Named(new QCheckBox("Overviews (GeoTIFF)"), "overviewsBox");
  combineButton = Named(new QPushButton("Combine"), "combineButton");
  cancelButton = Named(new QPushButton("Cancel"), "cancelButton");
  progressBar = Named(new QProgressBar, "progressBar");
  statusLabel = Named(new QLabel, "statusLabel");
  reportView = Named(new QPlainTextEdit, "reportView");
  reportView->setReadOnly(true);
  reportView->setPlaceholderText("Damaged tiles are listed here.");

  auto* taskRow = new QHBoxLayout;
  taskRow->addWidget(taskLabel, 1);
  taskRow->addWidget(openButton);
  auto* outputRow = new QHBoxLayout;
  outputRow->addWidget(outputEdit, 1);
  outputRow->addWidget(browseButton);
  auto* form = new QFormLayout;
  form->addRow("Task:", taskRow);
  form->addRow("Output kind:", kindBox);
  form->addRow("Output:", outputRow);
  form->addRow("", forceBox);
  form->addRow("", overviewsBox);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(combineButton);
  buttons->addWidget(cancelButton);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(progressBar);
  layout->addWidget(statusLabel);
  layout->addWidget(reportView, 1);
  layout->addLayout(buttons);
  resize(640, 420);

  connect(openButton, &QPushButton::clicked, this, &StitchelWindow::OpenClick);
  connect(kindBox, &QComboBox::currentIndexChanged, this, &StitchelWindow::KindChange);
  connect(browseButton, &QPushButton::clicked, this, &StitchelWindow::BrowseClick);
  connect(combineButton, &QPushButton::clicked, this, &StitchelWindow::CombineClick);
  connect(cancelButton, &QPushButton::clicked, this, &StitchelWindow::CancelClick);
  connect(&pollTimer_, &QTimer::timeout, this, &StitchelWindow::PollRun);
  pollTimer_.setInterval(100);
  if (!projectPath.empty()) OpenTask(projectPath);
  UpdateControls();
}

StitchelWindow::~StitchelWindow() = default;  // a running combine is cancelled and joined

void StitchelWindow::OpenTask(const std::string& projectPath) {
  projectPath_ = projectPath;
  taskLabel->setText(Q(projectPath));
  outputEdit->setText(Q(SuggestedOutputPath(projectPath, "", SelectedKind())));
  UpdateControls();
}

OutputKind StitchelWindow::SelectedKind() const {
  return kOutputChoices[static_cast<std::size_t>(std::max(0, kindBox->currentIndex()))].kind;
}

void StitchelWindow::OpenClick() {
  const QString chosen = QFileDialog::getOpenFileName(this, "Open project file:", {}, "Projects (*.qrnl)");
  if (!chosen.isEmpty()) OpenTask(chosen.toStdString());
}

void StitchelWindow::KindChange() {
  if (!projectPath_.empty())
    outputEdit->setText(Q(SuggestedOutputPath(projectPath_, outputEdit->text().toStdString(), SelectedKind())));
  UpdateControls();
}

void StitchelWindow::BrowseClick() {
  QString chosen;
  if (SelectedKind() == OutputKind::TileTree) {
    chosen = QFileDialog::getExistingDirectory(this, "Folder for the tile tree:");
    if (!chosen.isEmpty()) chosen += "/" + QFileInfo(Q(projectPath_)).completeBaseName() + "_tiles/";
  } else {
    chosen = QFileDialog::getSaveFileName(this, "Combine into:", outputEdit->text(), {}, nullptr,
                                          QFileDialog::DontConfirmOverwrite);
  }
  if (!chosen.isEmpty()) outputEdit->setText(chosen);
}

void StitchelWindow::CombineClick() {
  if (run_ || projectPath_.empty()) return;
  reportView->clear();
  progressBar->setValue(0);
  statusLabel->setText("Combining...");
  run_ = std::make_unique<CombineRun>(StitchelRequest(projectPath_, outputEdit->text().toStdString(),
                                                      executableFolder_, forceBox->isChecked(),
                                                      overviewsBox->isChecked()));
  elapsed_.start();
  pollTimer_.start();
  UpdateControls();
}

void StitchelWindow::CancelClick() {
  if (run_) run_->Cancel();
}

void StitchelWindow::PollRun() {
  if (!run_) return;
  for (const std::string& line : run_->TakeLines()) reportView->appendPlainText(Q(line));
  const int64_t total = run_->Total(), done = run_->Done();
  if (total > 0) {
    progressBar->setValue(static_cast<int>(done * 100 / total));
    statusLabel->setText(Q(ProgressText(done, total, static_cast<double>(elapsed_.elapsed()) / 1000)));
  }
  const auto outcome = run_->Finished();
  if (!outcome) return;
  for (const std::string& line : run_->TakeLines()) reportView->appendPlainText(Q(line));
  pollTimer_.stop();
  run_.reset();
  UpdateControls();
  if (outcome->written) {
    progressBar->setValue(100);
    const std::string text = SummaryText(outcome->summary, outputEdit->text().toStdString());
    statusLabel->setText(Q(text));
    showMessage(text, outcome->summary.badTiles > 0);
  } else {
    statusLabel->setText(Q(outcome->message));
    showMessage(outcome->message, !outcome->cancelled);
  }
}

void StitchelWindow::UpdateControls() {
  const bool running = run_ != nullptr;
  combineButton->setEnabled(!running && !projectPath_.empty());
  cancelButton->setEnabled(running);
  for (QWidget* widget : {static_cast<QWidget*>(openButton), static_cast<QWidget*>(kindBox),
                          static_cast<QWidget*>(outputEdit), static_cast<QWidget*>(browseButton),
                          static_cast<QWidget*>(forceBox)})
    widget->setEnabled(!running);
  overviewsBox->setEnabled(!running && SelectedKind() == OutputKind::GeoTiff);
}

void StitchelWindow::closeEvent(QCloseEvent* event) {
  // The run's end removes its temporary; closing waits for that.
  if (run_) run_->Cancel();
  run_.reset();
  event->accept();
}
