#pragma once

#include <QSyntaxHighlighter>

// Paints the log view's lines by their kind: failures red, notices amber,
// saved tiles in the view's own green.
class LogHighlighter : public QSyntaxHighlighter {
 public:
  explicit LogHighlighter(QTextDocument* document);

 protected:
  void highlightBlock(const QString& text) override;
};
