#include <QGridLayout>
#include <QMenu>

#include "GuiPlatform.h"
#include "IniFile.h"
#include "LiveTileFetcher.h"
#include "MainWindow.h"
#include "MapServices.h"
#include "PickAreaDialog.h"

// The "Pick on map..." button sits beside the bottom latitude entry, and the
// same command is on the Tools menu.
void MainWindow::AddMapPicker() {
  auto* grid = qobject_cast<QGridLayout*>(Edit4->parentWidget()->layout());
  int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
  grid->getItemPosition(grid->indexOf(Edit4), &row, &column, &rowSpan, &columnSpan);
  grid->removeWidget(Edit4);
  grid->addWidget(Edit4, row, column);
  PickOnMapButton = new QPushButton("Pick on map...", Edit4->parentWidget());
  PickOnMapButton->setObjectName("PickOnMapButton");
  grid->addWidget(PickOnMapButton, row, column + 1);
  QWidget::setTabOrder(Edit4, PickOnMapButton);

  auto* tools = findChild<QMenu*>("Tools1");
  PickOnMap1 = tools->addAction("Pick area on map...");
  PickOnMap1->setObjectName("PickOnMap1");

  connect(PickOnMapButton, &QPushButton::clicked, this, &MainWindow::PickOnMapClick);
  connect(PickOnMap1, &QAction::triggered, this, &MainWindow::PickOnMapClick);
}

void MainWindow::PickOnMapClick() {
  platform_.RunGuarded([this] {
    const TForm1Entries entries = TypedEntries();
    const TaskEntries& task = entries.task;
    const LiveTileFetcher::Settings settings = ReadLiveSettings(IniFile(logic_.ConfigPath()));
    const AreaEntries current{task.left, task.right, task.top, task.bottom};
    logic_.EntriesChanged(entries);  // so that the logic's "to" and area are the typed ones
    PickAreaDialog dialog(settings, LiveTileCacheFolder(settings.hosts), current,
                          ZoomLevels(task.zoom, logic_.LastZoom()), kOpenStreetMap, this);
    // The task's own polygon opens where it was drawn.
    if (const std::shared_ptr<const Area> area = logic_.CurrentArea()) dialog.StartFromArea(*area);
    if (dialog.exec() != QDialog::Accepted) return;
    const PickedArea picked = dialog.Picked();
    const std::pair<QLineEdit*, const std::string*> targets[] = {{Edit1, &picked.entries.left},
                                                                 {Edit3, &picked.entries.right},
                                                                 {Edit2, &picked.entries.top},
                                                                 {Edit4, &picked.entries.bottom}};
    for (const auto& [entry, text] : targets) entry->setText(QString::fromStdString(*text));
    // A polygon becomes the task's area; a rectangle leaves the task a rectangle.
    logic_.SetArea(TypedEntries(), picked.area ? std::make_shared<const Area>(*picked.area) : nullptr,
                   "drawn on the map");
  });
}
