#include "MemoLines.h"

#include "TextFormat.h"

#include <utility>

namespace {
constexpr std::size_t kWriteChunk = std::size_t{1} << 16;
}

void MemoLines::Append(std::string line) { lines_.push_back(std::move(line)); }

void MemoLines::Assign(std::vector<std::string> lines) {
  lines_.assign(std::make_move_iterator(lines.begin()), std::make_move_iterator(lines.end()));
  ++generation_;
}

void MemoLines::Clear() {
  lines_.clear();
  ++generation_;
}

std::vector<std::string> MemoLines::ToVector() const { return {lines_.begin(), lines_.end()}; }

uint64_t MemoLines::SaveToFile(const std::string& path, Durability durability) const {
  AtomicFileWriter writer(path, durability);
  std::string chunk;
  chunk.reserve(kWriteChunk + 256);
  uint64_t total = 0;
  for (const std::string& line : lines_) {
    chunk += line;
    chunk += "\r\n";
    if (chunk.size() >= kWriteChunk) {
      writer.Append(chunk);
      total += chunk.size();
      chunk.clear();
    }
  }
  writer.Append(chunk);
  total += chunk.size();
  writer.Commit();
  return total;
}

void MemoLines::LoadFromFile(const std::string& path) { Assign(SplitTextLines(ReadWholeFile(path))); }

