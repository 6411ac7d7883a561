#include "MainWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

#include "GuiPlatform.h"
#include "LogHighlighter.h"
#include "UpDownArrows.h"

namespace {

QString ToQt(const std::string& text) { return QString::fromStdString(text); }

void ShowText(QLineEdit* entry, const std::string& text) {
  const QString value = ToQt(text);
  if (entry->text() != value) entry->setText(value);
}

void ShowText(QLabel* label, const std::string& text) {
  const QString value = ToQt(text);
  if (label->text() != value) label->setText(value);
}

QFont FontOfSize(const QFont& base, int points, bool bold = false) {
  QFont font = base;
  font.setPointSize(points);
  font.setBold(bold);
  return font;
}

void SetTextColours(QPlainTextEdit* view, const QColor& text, const QColor* background) {
  QPalette palette = view->palette();
  palette.setColor(QPalette::Text, text);
  if (background) palette.setColor(QPalette::Base, *background);
  view->setPalette(palette);
}

LogHighlighter::Line ViewLine(const std::string& text, LogLineKind kind) {
  return {static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1, kind};
}

// The last `count` lines of a view, as one text for a text widget.
QString LastLines(const MemoLines& lines, std::size_t count) {
  const std::size_t first = lines.Count() > count ? lines.Count() - count : 0;
  QStringList shown;
  shown.reserve(static_cast<qsizetype>(lines.Count() - first));
  for (std::size_t i = first; i < lines.Count(); ++i) shown.append(ToQt(lines[i]));
  return shown.join('\n');
}

}  // namespace

MainWindow::MainWindow(GuiPlatform& platform, std::string configPathOverride, QWidget* parent,
                       TaskRunOptions runOptions)
    : QMainWindow(parent),
      platform_(platform),
      configPathOverride_(configPathOverride),
      logic_(platform, std::move(configPathOverride), runOptions) {
  setObjectName("Form1");
  QFont font(QStringLiteral("Sans Serif"), 8);
  font.setStyleHint(QFont::SansSerif);
  setFont(font);
  resize(773, 495);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  BuildControls();
  BuildMenus();
  ConnectControls();
  ConnectAreaControls();
  ConnectSourceControls();
  AddMapPicker();
  AddServerTools();

  lineFlush_.setSingleShot(true);
  lineFlush_.setInterval(100);
  connect(&lineFlush_, &QTimer::timeout, this, &MainWindow::FlushPendingLines);

  // A session ending quits the application without closing the window first.
  connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
    if (logic_.TaskRunning()) {
      platform_.RunGuarded([this] { logic_.SaveProgressForExit(); });
      EndRunKeepingProgress();
    }
  });
  platform_.SetParentWindow(this);
  platform_.SetTickHandler([this] { logic_.Timer1Timer(); });
  logic_.SetView(this);
  TForm1Face first = logic_.Face();
  first.entries = logic_.Entries();
  Draw(first);
  Memo1Replaced();
  Memo2Replaced();
}

MainWindow::~MainWindow() {
  logic_.SetView(nullptr);
  platform_.SetTickHandler(nullptr);
}

void MainWindow::BuildControls() {
  auto* central = new QWidget(this);
  auto* columns = new QHBoxLayout(central);
  columns->setContentsMargins(4, 4, 4, 4);

  auto* entries = new QWidget(central);
  entries->setObjectName("PanelEntries");
  entries->setFixedWidth(433);
  auto* grid = new QGridLayout(entries);
  grid->setContentsMargins(4, 4, 4, 4);
  int row = 0;
  auto addRow = [&](const char* caption, QWidget* field, QWidget* extra = nullptr) {
    auto* label = new QLabel(QString::fromUtf8(caption), entries);
    label->setBuddy(field);
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1, 1, extra ? 1 : 2);
    if (extra) grid->addWidget(extra, row, 2);
    ++row;
    return label;
  };

  EditTaskName = new QLineEdit(entries);
  Button4 = new QPushButton("Open task ...", entries);
  addRow("Task name:", EditTaskName, Button4);

  comboMapsType = new QComboBox(entries);
  LabelMapsType = addRow("Maps type:", comboMapsType);
  LabelMapsType->setObjectName("LabelMapsType");
  LabelMapsType->hide();
  comboMapsType->hide();
  BuildSourceControls(entries, grid, row);

  TrackBar1 = new QSlider(Qt::Horizontal, entries);
  TrackBar1->setSingleStep(1);
  TrackBar1->setPageStep(1);
  TrackBar1->setTickInterval(1);
  TrackBar1->setTickPosition(QSlider::TicksBelow);
  Label8 = new QLabel(entries);
  Label8->setMinimumWidth(24);
  QPalette navy = Label8->palette();
  navy.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0x80));
  Label8->setPalette(navy);
  addRow("Zoom level:", TrackBar1, BuildZoomToControls(entries));

  Edit1 = new QLineEdit(entries);
  addRow("Left Longitude:", Edit1);
  Edit3 = new QLineEdit(entries);
  addRow("Right Longitude:", Edit3);
  Edit2 = new QLineEdit(entries);
  addRow("Top Latitude:", Edit2);
  Edit4 = new QLineEdit(entries);
  addRow("Bottom Latitude:", Edit4);
  AreaButton = new QPushButton("Area...", entries);
  addRow("Area:", BuildAreaControls(entries), AreaButton);

  Edit6 = new QLineEdit(entries);
  Button1 = new QPushButton("...", entries);
  Button1->setToolTip(TForm1::Button1Hint);
  Button1->setFixedWidth(28);
  addRow("Path to save:", Edit6, Button1);

  auto* threads = new QWidget(entries);
  auto* threadsLayout = new QHBoxLayout(threads);
  threadsLayout->setContentsMargins(0, 0, 0, 0);
  threadsLayout->setSpacing(0);
  Edit10 = new QLineEdit(threads);
  Edit10->setReadOnly(true);
  Edit10->setFixedWidth(48);
  UpDown2 = new UpDownArrows(Edit10, TForm1::UpDown2Min, TForm1::UpDown2Max, threads);
  threadsLayout->addWidget(Edit10);
  threadsLayout->addWidget(UpDown2);
  threadsLayout->addStretch(1);
  // Beside the threads, so that the window keeps its height.
  comboStorage = new QComboBox(threads);
  for (const char* item : TForm1::kStorageItems) comboStorage->addItem(item);
  comboStorage->setToolTip("One file suits millions of tiles: it spares the disk's inodes, copies fast, "
                           "and keeps identical tiles (the sea) once");
  auto* storageLabel = new QLabel(TForm1::kStorageLabel, threads);
  storageLabel->setBuddy(comboStorage);
  threadsLayout->addWidget(storageLabel);
  threadsLayout->addSpacing(6);
  threadsLayout->addWidget(comboStorage);
  addRow("Threads count:", threads);

  // Above the lines that come and go, so that Stop never moves under the pointer.
  BitBtn1 = new QPushButton(entries);
  BitBtn1->setFont(FontOfSize(font(), 10, true));
  BitBtn1->setDefault(true);
  BitBtn1->setMinimumHeight(32);
  grid->addWidget(BitBtn1, row++, 0, 1, 3);

  LabelTotalxy = new QLabel(entries);
  grid->addWidget(LabelTotalxy, row++, 0, 1, 3);
  grid->addWidget(BuildProgressControls(entries), row++, 0, 1, 3);
  grid->setRowStretch(row, 1);

  auto* logColumn = new QWidget(central);
  auto* logLayout = new QVBoxLayout(logColumn);
  logLayout->setContentsMargins(0, 0, 0, 0);
  Memo1 = new QPlainTextEdit(logColumn);
  Memo1->setReadOnly(true);
  Memo1->setFont(FontOfSize(font(), 10));
  const QColor tooltipBase = Memo1->palette().color(QPalette::ToolTipBase);
  SetTextColours(Memo1, QColor(0x00, 0x80, 0x00), &tooltipBase);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setToolTip(TForm1::Memo1Hint);
  Memo1->setMaximumBlockCount(kShownLogLines);
  Memo1->viewport()->installEventFilter(this);
  new LogHighlighter(Memo1->document());
  logLayout->addWidget(Memo1);

  // The failed-tile list lives in the logic; this view is never shown.
  PanelFailed = new QWidget(logColumn);
  PanelFailed->setFixedHeight(0);
  auto* failedLayout = new QVBoxLayout(PanelFailed);
  failedLayout->setContentsMargins(0, 0, 0, 0);
  Memo2 = new QPlainTextEdit(PanelFailed);
  Memo2->setReadOnly(true);
  Memo2->setFont(FontOfSize(font(), 10));
  SetTextColours(Memo2, QColor(0x00, 0x00, 0xff), nullptr);
  Memo2->setMaximumBlockCount(kShownLogLines);
  failedLayout->addWidget(Memo2);
  PanelFailed->hide();
  logLayout->addWidget(PanelFailed);

  columns->addWidget(entries);
  columns->addWidget(logColumn, 1);
  setCentralWidget(central);

  StatusBar1 = new QStatusBar(this);
  auto* statusText = new QLabel(TForm1::StatusBar1Text, StatusBar1);
  statusText->setObjectName("StatusBar1Panel");
  StatusBar1->addWidget(statusText, 1);
  setStatusBar(StatusBar1);

  const std::pair<QObject*, const char*> names[] = {
      {EditTaskName, "EditTaskName"}, {Button4, "Button4"},   {comboMapsType, "comboMapsType"},
      {TrackBar1, "TrackBar1"},       {Label8, "Label8"},     {Edit1, "Edit1"},
      {Edit3, "Edit3"},               {Edit2, "Edit2"},       {Edit4, "Edit4"},
      {Edit6, "Edit6"},               {Button1, "Button1"},   {Edit10, "Edit10"},
      {comboStorage, "comboStorage"},
      {UpDown2, "UpDown2"},           {LabelTotalxy, "LabelTotalxy"}, {BitBtn1, "BitBtn1"},
      {Memo1, "Memo1"},               {PanelFailed, "PanelFailed"},   {Memo2, "Memo2"},
      {StatusBar1, "StatusBar1"},
  };
  for (const auto& [object, name] : names) object->setObjectName(name);
}

// The estimate before Start, the progress while a task runs and its summary after.
QWidget* MainWindow::BuildProgressControls(QWidget* parent) {
  auto* box = new QWidget(parent);
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  LabelEstimate = new QLabel(box);
  LabelEstimate->setWordWrap(true);
  ProgressBar1 = new QProgressBar(box);
  ProgressBar1->setRange(0, 0);
  ProgressBar1->setTextVisible(true);
  QSizePolicy keepsItsPlace = ProgressBar1->sizePolicy();
  keepsItsPlace.setRetainSizeWhenHidden(true);
  ProgressBar1->setSizePolicy(keepsItsPlace);
  ProgressBar1->hide();  // until the first Start
  LabelProgress = new QLabel(box);
  LabelProgress->setWordWrap(true);
  layout->addWidget(LabelEstimate);
  layout->addWidget(ProgressBar1);
  layout->addWidget(LabelProgress);
  LabelEstimate->setObjectName("LabelEstimate");
  ProgressBar1->setObjectName("ProgressBar1");
  LabelProgress->setObjectName("LabelProgress");
  return box;
}

void MainWindow::ProgressChanged(const TForm1Progress& progress) {
  if (progress.ProgressBar1Max > 0) {
    ProgressBar1->setRange(0, progress.ProgressBar1Max);
    ProgressBar1->setValue(progress.ProgressBar1Position);
    ProgressBar1->show();
  }
  ShowText(LabelProgress, progress.LabelProgress);
}

void MainWindow::BuildMenus() {
  auto addMenu = [this](const char* title, const char* name) {
    QMenu* menu = menuBar()->addMenu(title);
    menu->setObjectName(name);
    return menu;
  };
  auto addAction = [](QMenu* menu, const QString& caption, const char* name) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(name);
    return action;
  };

  QMenu* file = addMenu("&File", "File1");
  Exit1 = addAction(file, "E&xit", "Exit1");

  QMenu* options = addMenu("&Options", "Options1");
  Options2 = addAction(options, "Options...", "Options2");

  QMenu* misc = addMenu("&Misc", "Misc1");
  ConvertLongitudeorLatitudetodegreen1 = addAction(
      misc, "Convert \"Degrees,Minutes,Seconds\"  to \"Degrees\"...", "ConvertLongitudeorLatitudetodegreen1");
  misc->addSeparator();
  Viewlogfile1 = addAction(misc, "View log file", "Viewlogfile1");
  SeparatorRedownload = misc->addSeparator();
  SeparatorRedownload->setVisible(false);
  Redownloadfailedtiles1 = addAction(misc, "Re-download failed tiles", "Redownloadfailedtiles1");
  Redownloadfailedtiles1->setVisible(false);

  QMenu* tools = addMenu("&Tools", "Tools1");
  MapViewer1 = addAction(tools, "Map Viewer", "MapViewer1");
  tools->addSeparator();
  MapCombiner1 = addAction(tools, "Map Combiner", "MapCombiner1");
  SeparatorDownloadFailed = tools->addSeparator();
  dowloadfailedfiles1 = addAction(tools, "dowload failed files", "dowloadfailedfiles1");

  QMenu* help = addMenu("&Help", "Help1");
  Usermanual1 = addAction(help, "User manual", "Usermanual1");
  Homepage1 = addAction(help, "Homepage", "Homepage1");
  help->addSeparator();
  About1 = addAction(help, "About...", "About1");
}

void MainWindow::ConnectControls() {
  // The estimate follows every edit of the rectangle; the other entries are
  // handed over with the next action.
  for (QLineEdit* entry : {Edit1, Edit3, Edit2, Edit4})
    connect(entry, &QLineEdit::textEdited, this, [this] { Handle([this] { logic_.EntriesChanged(TypedEntries()); }); });

  connect(comboMapsType, &QComboBox::currentIndexChanged, this, &MainWindow::comboMapsTypeChange);
  connect(comboStorage, &QComboBox::currentIndexChanged, this, &MainWindow::comboStorageChange);
  connect(TrackBar1, &QSlider::valueChanged, this, &MainWindow::TrackBar1Change);
  connect(Button1, &QPushButton::clicked, this, &MainWindow::Button1Click);
  connect(Button4, &QPushButton::clicked, this, &MainWindow::Button4Click);
  connect(BitBtn1, &QPushButton::clicked, this, &MainWindow::BitBtn1Click);
  for (const QKeySequence& key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
    auto* shortcut = new QShortcut(key, this);
    connect(shortcut, &QShortcut::activated, this, &MainWindow::EnterPressed);
  }

  const std::pair<QAction*, void (TForm1::*)()> menuHandlers[] = {
      {Exit1, &TForm1::Exit1Click},
      {Options2, &TForm1::Options2Click},
      {ConvertLongitudeorLatitudetodegreen1, &TForm1::ConvertLongitudeorLatitudetodegreen1Click},
      {Viewlogfile1, &TForm1::Viewlogfile1Click},
      {Redownloadfailedtiles1, &TForm1::Redownloadfailedtiles1Click},
      {MapViewer1, &TForm1::MapViewer1Click},
      {MapCombiner1, &TForm1::MapCombiner1Click},
      {dowloadfailedfiles1, &TForm1::dowloadfailedfiles1Click},
      {Usermanual1, &TForm1::Usermanual1Click},
      {Homepage1, &TForm1::Homepage1Click},
      {About1, &TForm1::About1Click},
  };
  for (const auto& [action, handler] : menuHandlers) {
    connect(action, &QAction::triggered, this, [this, handler = handler] { Handle([&] { (logic_.*handler)(); }); });
  }
}

void MainWindow::Handle(const std::function<void()>& handler) { platform_.RunGuarded(handler); }

TForm1Entries MainWindow::TypedEntries() const {
  TForm1Entries entries;
  TaskEntries& task = entries.task;
  task.taskName = EditTaskName->text().toStdString();
  task.left = Edit1->text().toStdString();
  task.right = Edit3->text().toStdString();
  task.top = Edit2->text().toStdString();
  task.bottom = Edit4->text().toStdString();
  task.savePath = Edit6->text().toStdString();
  task.threads = Edit10->text().toStdString();
  task.storage = TForm1::StorageAt(comboStorage->currentIndex());
  task.zoom = TrackBar1->value();
  task.mapsTypeIndex = comboMapsType->currentIndex();
  task.source = ChosenSourceName();
  entries.zoomTo = ZoomTo->value();
  entries.buffer = EditBuffer->text().toStdString();
  return entries;
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shownOnce_) return;
  shownOnce_ = true;
  FormShow();
}

void MainWindow::FormShow() { Handle([this] { logic_.FormShow(); }); }

void MainWindow::comboMapsTypeChange() { Handle([this] { logic_.comboMapsTypeChange(TypedEntries()); }); }

void MainWindow::comboStorageChange() { Handle([this] { logic_.EntriesChanged(TypedEntries()); }); }

void MainWindow::TrackBar1Change() { Handle([this] { logic_.TrackBar1Change(TypedEntries()); }); }

void MainWindow::Button1Click() { Handle([this] { logic_.Button1Click(TypedEntries()); }); }

void MainWindow::Button4Click() { Handle([this] { logic_.Button4Click(TypedEntries()); }); }

void MainWindow::BitBtn1Click() { Handle([this] { logic_.BitBtn1Click(TypedEntries()); }); }

// The Start/Stop button is the window's default button: Enter presses it
// unless the focused control takes Enter itself.
void MainWindow::EnterPressed() {
  QWidget* focused = QApplication::focusWidget();
  if (auto* button = qobject_cast<QAbstractButton*>(focused)) {
    button->click();
    return;
  }
  if (qobject_cast<QPlainTextEdit*>(focused)) return;
  BitBtn1->click();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Memo1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
    Handle([this] { logic_.Memo1DblClick(); });
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

// The slider, "to" and the selector are set here without their signals:
// only the user's moves are handed to the logic.
void MainWindow::Draw(const TForm1Face& face) {
  const QSignalBlocker blockSelector(comboMapsType), blockSlider(TrackBar1), blockTo(ZoomTo);
  setWindowTitle(ToQt(face.Caption));
  QStringList items;
  for (const std::string& item : face.comboMapsTypeItems) items.append(ToQt(item));
  if (items != [this] {
        QStringList shown;
        for (int i = 0; i < comboMapsType->count(); ++i) shown.append(comboMapsType->itemText(i));
        return shown;
      }()) {
    comboMapsType->clear();
    comboMapsType->addItems(items);
  }
  TrackBar1->setRange(face.TrackBar1Min, face.TrackBar1Max);
  TrackBar1->setToolTip(ToQt(face.TrackBar1Hint));
  ShowText(Label8, face.Label8);
  DrawSources(face);
  if (face.entries) ShowEntries(*face.entries);
  ZoomTo->setRange(TrackBar1->value(), std::max(face.TrackBar1Max, TrackBar1->value()));
  if (face.entries) ZoomTo->setValue(face.entries->zoomTo);
  DrawArea(face);
  ShowText(LabelTotalxy, face.LabelTotalxy);
  BitBtn1->setText(ToQt(face.BitBtn1Caption));
  ShowText(LabelEstimate, face.LabelEstimate);
  ProgressChanged(face.progress);
}

void MainWindow::ShowEntries(const TForm1Entries& entries) {
  const TaskEntries& task = entries.task;
  const int index = task.mapsTypeIndex;
  comboMapsType->setCurrentIndex(index >= 0 && index < comboMapsType->count() ? index : -1);
  TrackBar1->setValue(task.zoom);
  ShowText(EditTaskName, task.taskName);
  ShowText(Edit1, task.left);
  ShowText(Edit3, task.right);
  ShowText(Edit2, task.top);
  ShowText(Edit4, task.bottom);
  ShowText(Edit6, task.savePath);
  ShowText(Edit10, task.threads);
  const QSignalBlocker blockStorage(comboStorage);
  comboStorage->setCurrentIndex(TForm1::StorageIndex(task.storage));
  ShowText(EditBuffer, entries.buffer);
}

void MainWindow::Memo1Appended(const std::string& line, LogLineKind kind) {
  pendingMemo1_.append(ToQt(line));
  pendingKinds1_.push_back(ViewLine(line, kind));
  if (!lineFlush_.isActive()) lineFlush_.start();
}

void MainWindow::Memo2Appended(const std::string& line) {
  pendingMemo2_.append(ToQt(line));
  if (!lineFlush_.isActive()) lineFlush_.start();
}

void MainWindow::Memo1Replaced() {
  pendingMemo1_.clear();
  pendingKinds1_.clear();
  const MemoLines& lines = logic_.Memo1();
  Memo1->setPlainText(LastLines(lines, kShownLogLines));
  std::vector<LogHighlighter::Line> kinds;
  const std::size_t shown = std::min(lines.Count(), static_cast<std::size_t>(kShownLogLines));
  for (std::size_t i = lines.Count() - shown; i < lines.Count(); ++i)
    if (lines.Kind(i) != LogLineKind::Plain || !kinds.empty()) kinds.push_back(ViewLine(lines[i], lines.Kind(i)));
  if (auto* highlighter = Memo1->document()->findChild<LogHighlighter*>()) highlighter->MarkLast(kinds);
  Memo1->moveCursor(QTextCursor::End);
  Memo1->moveCursor(QTextCursor::StartOfBlock);  // at the end of a long line the view would scroll sideways
}

void MainWindow::Memo2Replaced() {
  pendingMemo2_.clear();
  Memo2->setPlainText(LastLines(logic_.Memo2(), kShownLogLines));
}

void MainWindow::FlushPendingLines() {
  // A view follows the newest line only while it is scrolled to the bottom,
  // and never scrolls sideways on its own: the start of a line names the tile.
  auto flush = [](QPlainTextEdit* view, QStringList& pending) {
    if (pending.isEmpty()) return;
    if (pending.size() > kShownLogLines) pending.erase(pending.begin(), pending.end() - kShownLogLines);
    QScrollBar* across = view->horizontalScrollBar();
    QScrollBar* down = view->verticalScrollBar();
    const int left = across->value(), top = down->value();
    const bool following = top >= down->maximum();
    view->appendPlainText(pending.join('\n'));
    pending.clear();
    across->setValue(left);
    down->setValue(following ? down->maximum() : top);
  };
  flush(Memo1, pendingMemo1_);
  flush(Memo2, pendingMemo2_);
  if (auto* highlighter = Memo1->document()->findChild<LogHighlighter*>()) highlighter->MarkLast(pendingKinds1_);
  pendingKinds1_.clear();
}

void MainWindow::RunSummaryReady(const std::string& summary) {
  if (auto* panel = StatusBar1->findChild<QLabel*>("StatusBar1Panel")) panel->setText(ToQt(summary));
}

void MainWindow::ShowOptionsDialog() {
  if (otherWindows_.showOptions) otherWindows_.showOptions();
}

void MainWindow::ShowConverter() {
  if (otherWindows_.showConverter) otherWindows_.showConverter();
}

void MainWindow::ShowAboutBox() {
  if (otherWindows_.showAbout) otherWindows_.showAbout();
}

void MainWindow::ShowRedownloadWindow() {
  if (otherWindows_.showRedownload) otherWindows_.showRedownload();
}

void MainWindow::ExitRequested() {
  if (logic_.TaskRunning()) EndRunKeepingProgress();
  QCoreApplication::quit();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (logic_.TaskRunning()) {
    platform_.RunGuarded([this] { logic_.SaveProgressForExit(); });
    EndRunKeepingProgress();
  }
  event->accept();
  QCoreApplication::quit();
}

// The progress was saved just before. The workers break off their fetches
// and end while this thread serves what they hand over.
void MainWindow::EndRunKeepingProgress() {
  platform_.RunGuarded([this] { logic_.EndRun(); });
}
