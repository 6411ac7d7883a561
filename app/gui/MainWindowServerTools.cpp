#include <QBoxLayout>
#include <QHBoxLayout>
#include <QMenu>

#include "GuiPlatform.h"
#include "MainWindow.h"
#include "RefreshTilesDialog.h"

// "Estimate from the server" sits beside the estimate line; "Refresh
// tiles..." is on the Tools menu.
void MainWindow::AddServerTools() {
  auto* column = qobject_cast<QBoxLayout*>(LabelEstimate->parentWidget()->layout());
  const int at = column->indexOf(LabelEstimate);
  column->removeWidget(LabelEstimate);
  auto* row = new QHBoxLayout;
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(LabelEstimate, 1);
  ButtonServerEstimate = new QPushButton("Estimate from the server", LabelEstimate->parentWidget());
  ButtonServerEstimate->setObjectName("ButtonServerEstimate");
  ButtonServerEstimate->setToolTip("Fetch up to 8 sample tiles of the area and judge its size from them");
  row->addWidget(ButtonServerEstimate, 0, Qt::AlignTop);
  column->insertLayout(at, row);

  auto* tools = findChild<QMenu*>("Tools1");
  RefreshTiles1 = tools->addAction("Refresh tiles...");
  RefreshTiles1->setObjectName("RefreshTiles1");

  connect(ButtonServerEstimate, &QPushButton::clicked, this, [this] { Handle([this] { logic_.EstimateFromServerClick(TypedEntries()); }); });
  connect(RefreshTiles1, &QAction::triggered, this, &MainWindow::RefreshTiles1Click);
}

void MainWindow::RefreshTiles1Click() {
  if (!refreshTiles_) refreshTiles_ = new RefreshTilesDialog(platform_, configPathOverride_, this);
  refreshTiles_->ShowModeless();
}
