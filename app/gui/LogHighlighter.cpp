#include "LogHighlighter.h"

#include <QTextDocument>

LogHighlighter::LogHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {}

void LogHighlighter::MarkLast(const std::vector<Line>& lines) {
  QTextBlock block = document()->lastBlock();
  for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
    for (int n = 0; n < line->blocks; ++n) {
      if (!block.isValid()) return;
      const QTextBlock previous = block.previous();
      block.setUserState(static_cast<int>(line->kind));
      // A new block was painted plain; only the others need painting again.
      if (line->kind != LogLineKind::Plain) rehighlightBlock(block);
      block = previous;
    }
  }
}

void LogHighlighter::highlightBlock(const QString& text) {
  if (currentBlockState() < 0) return;  // not marked yet
  QTextCharFormat format;
  switch (static_cast<LogLineKind>(currentBlockState())) {
    case LogLineKind::Failure:
      format.setForeground(QColor(0xc0, 0x10, 0x10));
      format.setFontWeight(QFont::Bold);
      break;
    case LogLineKind::Notice:
      format.setForeground(QColor(0xb0, 0x60, 0x00));
      break;
    case LogLineKind::Saved:
    case LogLineKind::Plain:
      return;
  }
  setFormat(0, static_cast<int>(text.size()), format);
}
