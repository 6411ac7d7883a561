#include "LogHighlighter.h"

#include "LogLineKind.h"

LogHighlighter::LogHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {}

void LogHighlighter::highlightBlock(const QString& text) {
  QTextCharFormat format;
  switch (ClassifyLogLine(text.toStdString())) {
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
