#include "GuiPlatform.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

#include "FileDialogFilter.h"

namespace {

QString ToQt(const std::string& text) { return QString::fromStdString(text); }

QString ApplicationTitle() { return QApplication::applicationDisplayName(); }

bool IsAddress(const QString& target) {
  return target.contains("://") || target.startsWith("mailto:", Qt::CaseInsensitive);
}

}  // namespace

QWidget* GuiPlatform::DialogParent() const {
  if (QWidget* active = QApplication::activeModalWidget()) return active;
  return parent_.data();
}

void GuiPlatform::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::Information, ApplicationTitle(), ToQt(text), QMessageBox::Ok, DialogParent());
  box.exec();
}

void GuiPlatform::ShowError(const std::string& text) {
  QMessageBox box(QMessageBox::Critical, ApplicationTitle(), ToQt(text), QMessageBox::Ok, DialogParent());
  box.exec();
}

bool GuiPlatform::AskYesNo(const std::string& question) {
  QMessageBox box(QMessageBox::Question, ApplicationTitle(), ToQt(question), QMessageBox::Yes | QMessageBox::No,
                  DialogParent());
  box.setDefaultButton(QMessageBox::No);  // Enter never replaces a task by accident
  return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> GuiPlatform::OpenFileDialog(const std::string& title, const std::string& filter,
                                                       const std::string& startFolder) {
  const QString chosen =
      QFileDialog::getOpenFileName(DialogParent(), ToQt(title), ToQt(startFolder), ToQt(ToQtFileFilter(filter)));
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.toStdString();
}

std::optional<std::string> GuiPlatform::BrowseForFolder(const std::string& title) {
  const QString chosen = QFileDialog::getExistingDirectory(DialogParent(), ToQt(title));
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.toStdString();
}

std::optional<std::string> GuiPlatform::AskForText(const std::string& question, const std::string& fileFilter) {
  QDialog dialog(DialogParent());
  dialog.setObjectName("TextPrompt");
  dialog.setWindowTitle(ApplicationTitle());
  auto* grid = new QGridLayout(&dialog);
  auto* label = new QLabel(ToQt(question), &dialog);
  label->setWordWrap(true);
  auto* entry = new QLineEdit(&dialog);
  entry->setObjectName("TextPromptEntry");
  entry->setMinimumWidth(420);
  auto* file = new QPushButton("File...", &dialog);
  file->setObjectName("TextPromptFile");
  file->setAutoDefault(false);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  grid->addWidget(label, 0, 0, 1, 2);
  grid->addWidget(entry, 1, 0);
  grid->addWidget(file, 1, 1);
  grid->addWidget(buttons, 2, 0, 1, 2);
  QObject::connect(file, &QPushButton::clicked, &dialog, [&] {
    const QString chosen =
        QFileDialog::getOpenFileName(&dialog, "Open", entry->text(), ToQt(ToQtFileFilter(fileFilter)));
    if (!chosen.isEmpty()) entry->setText(chosen);
  });
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return entry->text().toStdString();
}

void GuiPlatform::ShellOpen(const std::string& target) {
  const QString text = ToQt(target);
  QDesktopServices::openUrl(IsAddress(text) ? QUrl(text) : QUrl::fromLocalFile(text));
}

void GuiPlatform::ShellOpenFile(const std::string& path, std::function<void()> noProgram) {
  // Only xdg-open's exit status tells whether a program took the file, and a
  // browser it starts may hold it until the browser ends. No parent, so that
  // quitting Quarnel does not kill a browser still showing the file.
  auto* opener = new QProcess;
  opener->setProcessChannelMode(QProcess::ForwardedChannels);
  opener->setStandardInputFile(QProcess::nullDevice());
  QObject::connect(opener, &QProcess::finished, opener, [opener, noProgram](int status, QProcess::ExitStatus how) {
    if (how == QProcess::NormalExit && status != 0) noProgram();
    opener->deleteLater();
  });
  QObject::connect(opener, &QProcess::errorOccurred, opener, [opener, noProgram](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;
    noProgram();
    opener->deleteLater();
  });
  opener->start("xdg-open", {ToQt(path)});
}

void GuiPlatform::StartProgram(const std::string& path, const std::vector<std::string>& arguments) {
  const QFileInfo program(ToQt(path));
  if (!program.isFile() || !program.isExecutable()) return;
  QStringList words;
  for (const std::string& word : arguments) words.append(ToQt(word));
  QProcess::startDetached(program.absoluteFilePath(), words);
}
