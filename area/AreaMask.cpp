#include "AreaMask.h"

#include <algorithm>

std::size_t AreaMask::ColumnIndex(int32_t x) const {
  const auto at = std::lower_bound(columns_.begin(), columns_.end(), x);
  if (at == columns_.end() || *at != x) return columns_.size();
  return static_cast<std::size_t>(at - columns_.begin());
}

std::span<const RowRun> AreaMask::Runs(int32_t x) const {
  const std::size_t c = ColumnIndex(x);
  if (c == columns_.size()) return {};
  return std::span<const RowRun>(runs_).subspan(firstRun_[c], firstRun_[c + 1] - firstRun_[c]);
}

bool AreaMask::Contains(int32_t x, int32_t y) const {
  const std::span<const RowRun> runs = Runs(x);
  const auto after = std::upper_bound(runs.begin(), runs.end(), y,
                                      [](int32_t row, const RowRun& run) { return row < run.first; });
  return after != runs.begin() && y <= (after - 1)->last;
}

int64_t AreaMask::TilesBefore(int32_t x) const {
  const auto at = std::lower_bound(columns_.begin(), columns_.end(), x);
  return at == columns_.begin() ? 0 : tileCounts_[static_cast<std::size_t>(at - columns_.begin()) - 1];
}

AreaMask::TileIterator::TileIterator(const AreaMask* mask, std::size_t column, std::size_t run)
    : mask_(mask), column_(column), run_(run) {
  if (run_ < mask_->runs_.size()) tile_ = {mask_->columns_[column_], mask_->runs_[run_].first};
}

AreaMask::TileIterator& AreaMask::TileIterator::operator++() {
  if (tile_.y < mask_->runs_[run_].last) {
    ++tile_.y;
    return *this;
  }
  ++run_;
  if (run_ == mask_->runs_.size()) {
    column_ = mask_->columns_.size();
    tile_ = {};
    return *this;
  }
  if (run_ == mask_->firstRun_[column_ + 1]) ++column_;
  tile_ = {mask_->columns_[column_], mask_->runs_[run_].first};
  return *this;
}
