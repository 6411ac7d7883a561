// The zoom range's "to" beside the slider, and the task's area under the
// coordinate entries: what they show comes from the logic, what the user
// does goes to it.

#include <QHBoxLayout>

#include "GuiPlatform.h"
#include "MainWindow.h"

namespace {

QString ToQt(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

QWidget* MainWindow::BuildZoomToControls(QWidget* parent) {
  auto* box = new QWidget(parent);
  auto* layout = new QHBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  Label8->setParent(box);
  auto* to = new QLabel("to", box);
  ZoomTo = new QSpinBox(box);
  ZoomTo->setObjectName("ZoomTo");
  ZoomTo->setToolTip("The last zoom level: each level from the slider's to this one is a task of its own");
  to->setBuddy(ZoomTo);
  layout->addWidget(Label8);
  layout->addWidget(to);
  layout->addWidget(ZoomTo);
  return box;
}

QWidget* MainWindow::BuildAreaControls(QWidget* parent) {
  auto* box = new QWidget(parent);
  auto* layout = new QHBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  LabelArea = new QLabel(box);
  LabelArea->setObjectName("LabelArea");
  // A long file name must not widen the panel.
  LabelArea->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  auto* buffer = new QLabel("buffer (m):", box);
  EditBuffer = new QLineEdit(box);
  EditBuffer->setObjectName("EditBuffer");
  EditBuffer->setFixedWidth(56);
  EditBuffer->setToolTip("Metres around the lines and points of the next area file (0: the tiles a line passes through)");
  buffer->setBuddy(EditBuffer);
  layout->addWidget(LabelArea, 1);
  layout->addWidget(buffer);
  layout->addWidget(EditBuffer);
  AreaButton->setObjectName("AreaButton");
  AreaButton->setToolTip("Only the tiles inside an area: a GeoJSON, KML, GPX, Shapefile, GeoPackage or other vector file");
  return box;
}

void MainWindow::ConnectAreaControls() {
  connect(ZoomTo, &QSpinBox::valueChanged, this, [this] { Handle([this] { logic_.ZoomToChange(TypedEntries()); }); });
  connect(AreaButton, &QPushButton::clicked, this, [this] { Handle([this] { logic_.AreaButtonClick(TypedEntries()); }); });
  connect(EditBuffer, &QLineEdit::editingFinished, this,
          [this] { Handle([this] { logic_.BufferChanged(TypedEntries()); }); });
}

// The panel has a fixed width: a long name loses its middle, so that the
// buffer at its end stays in sight.
void MainWindow::DrawArea(const TForm1Face& face) {
  const QString area = ToQt(face.LabelArea);
  const QString shown = LabelArea->fontMetrics().elidedText(area, Qt::ElideMiddle, LabelArea->width());
  if (LabelArea->toolTip() != area || LabelArea->text() != shown) {
    LabelArea->setText(shown);
    LabelArea->setToolTip(area);
  }
}
