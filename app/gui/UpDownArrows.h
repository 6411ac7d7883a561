#pragma once

#include <QLineEdit>
#include <QToolButton>
#include <QWidget>

// A pair of up/down arrows bound to a text entry, like the Windows up-down
// control: each click reads the entry's number, steps it within [Min, Max]
// without wrapping and writes it back. The entry may hold a value outside
// the range (read from a file); a click then brings it into range. In the
// entry, Up/Down step by one and PageUp/PageDown by kPageStep.
class UpDownArrows : public QWidget {
  Q_OBJECT
 public:
  UpDownArrows(QLineEdit* associate, int minimum, int maximum, QWidget* parent = nullptr);

  static constexpr int kPageStep = 10;

  int Min() const { return min_; }
  int Max() const { return max_; }
  void SetRange(int minimum, int maximum);
  // The value a click leaves in an entry holding text, stepped by delta.
  static int Step(const QString& text, int delta, int minimum, int maximum);

 signals:
  void Changed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void StepBy(int delta);

  QLineEdit* associate_;
  QToolButton* up_;
  QToolButton* down_;
  int min_;
  int max_;
};
