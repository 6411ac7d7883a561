#include "UpDownArrows.h"

#include <QKeyEvent>
#include <QVBoxLayout>

#include <algorithm>

UpDownArrows::UpDownArrows(QLineEdit* associate, int minimum, int maximum, QWidget* parent)
    : QWidget(parent), associate_(associate), min_(minimum), max_(maximum) {
  up_ = new QToolButton(this);
  up_->setArrowType(Qt::UpArrow);
  down_ = new QToolButton(this);
  down_->setArrowType(Qt::DownArrow);
  for (QToolButton* button : {up_, down_}) {
    button->setAutoRepeat(true);
    button->setFixedSize(17, 11);
    button->setFocusPolicy(Qt::NoFocus);
  }
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(up_);
  layout->addWidget(down_);
  connect(up_, &QToolButton::clicked, this, [this] { StepBy(1); });
  connect(down_, &QToolButton::clicked, this, [this] { StepBy(-1); });
  associate_->installEventFilter(this);
}

bool UpDownArrows::eventFilter(QObject* watched, QEvent* event) {
  if (watched != associate_ || event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->modifiers() & ~Qt::KeypadModifier) return false;
  switch (key->key()) {
    case Qt::Key_Up: StepBy(1); return true;
    case Qt::Key_Down: StepBy(-1); return true;
    case Qt::Key_PageUp: StepBy(kPageStep); return true;
    case Qt::Key_PageDown: StepBy(-kPageStep); return true;
    default: return false;
  }
}

void UpDownArrows::SetRange(int minimum, int maximum) {
  min_ = minimum;
  max_ = maximum;
}

int UpDownArrows::Step(const QString& text, int delta, int minimum, int maximum) {
  bool ok = false;
  int value = text.trimmed().toInt(&ok);
  if (!ok) value = minimum;
  else value += delta;
  return std::clamp(value, minimum, std::max(minimum, maximum));
}

void UpDownArrows::StepBy(int delta) {
  associate_->setText(QString::number(Step(associate_->text(), delta, min_, max_)));
  emit Changed();
}
