#include "LogLineKind.h"

#include "TileFetch.h"

LogLineKind LogLineKindOf(WorkerEvent event) {
  switch (event) {
    case WorkerEvent::Saved:
      return LogLineKind::Saved;
    case WorkerEvent::Waiting:
      return LogLineKind::Notice;
    case WorkerEvent::Failed:
    case WorkerEvent::NotFound:
    case WorkerEvent::Blank:
    case WorkerEvent::Banned:
    case WorkerEvent::Error:
      return LogLineKind::Failure;
    case WorkerEvent::Note:
    case WorkerEvent::Ended:
      break;
  }
  return LogLineKind::Plain;
}

LogLineKind ClassifyLogLine(std::string_view line) {
  if (line.ends_with(" ->ok!")) return LogLineKind::Saved;
  if (line.ends_with("before asking again.") || line.find(":Connection Closed Gracefully") != std::string_view::npos)
    return LogLineKind::Notice;
  // The ban text spans two lines in the view.
  const std::string_view ban = kBanText;
  const std::size_t breakAt = ban.find('\n');
  const bool banLine = line == ban || line == ban.substr(0, breakAt) || line == ban.substr(breakAt + 1);
  if (banLine || line.find("->") != std::string_view::npos || line.ends_with(" got a blank image!") ||
      line.starts_with(kNotFoundText) || line.starts_with("The task was stopped:") ||
      line.find(" Unexpected error: ") != std::string_view::npos)
    return LogLineKind::Failure;
  return LogLineKind::Plain;
}
