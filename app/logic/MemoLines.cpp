#include "MemoLines.h"

#include <iterator>
#include <utility>

void MemoLines::Append(std::string line, LogLineKind kind) {
  lines_.push_back(std::move(line));
  kinds_.push_back(kind);
  if (lines_.size() > limit_) {
    lines_.pop_front();
    kinds_.pop_front();
  }
}

void MemoLines::Assign(std::vector<std::string> lines, const std::vector<LogLineKind>& kinds) {
  const std::size_t skipped = lines.size() > limit_ ? lines.size() - limit_ : 0;
  lines_.assign(std::make_move_iterator(lines.begin() + static_cast<std::ptrdiff_t>(skipped)),
                std::make_move_iterator(lines.end()));
  if (kinds.size() == lines.size())
    kinds_.assign(kinds.begin() + static_cast<std::ptrdiff_t>(skipped), kinds.end());
  else
    kinds_.assign(lines_.size(), LogLineKind::Plain);
}

std::vector<std::string> MemoLines::ToVector() const { return {lines_.begin(), lines_.end()}; }
