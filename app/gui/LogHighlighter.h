#pragma once

#include <QSyntaxHighlighter>

#include <utility>
#include <vector>

#include "LogLineKind.h"

// Paints the log view's lines by their kind: failures red, notices amber,
// saved tiles in the view's own green. A block's kind is its user state,
// given by MarkLast once the block is in the document.
class LogHighlighter : public QSyntaxHighlighter {
 public:
  explicit LogHighlighter(QTextDocument* document);

  // One line of the view: how many blocks it spans (the ban text has a
  // line break) and its kind.
  struct Line {
    int blocks = 1;
    LogLineKind kind = LogLineKind::Plain;
  };
  // Gives the document's last blocks their lines' kinds, the newest line last.
  void MarkLast(const std::vector<Line>& lines);

 protected:
  void highlightBlock(const QString& text) override;
};
