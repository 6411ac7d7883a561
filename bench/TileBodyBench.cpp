// The CPU time the whole-image check costs per tile, over the benchmark's
// pyramid: a figure that other programs on the machine cannot blur, to set
// beside a download's own CPU time per tile.
//
// usage: quarnel_tile_body_bench TILE_FOLDER
#include <time.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "TileBody.h"

namespace {

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quarnel_tile_body_bench TILE_FOLDER\n");
    return 2;
  }
  std::vector<std::string> tiles;
  std::size_t bytes = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[1])) {
    if (entry.path().extension() != ".png") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bytes += body.size();
    tiles.push_back(std::move(body));
  }
  if (tiles.empty()) {
    std::fprintf(stderr, "no tiles under %s\n", argv[1]);
    return 1;
  }
  constexpr int kPasses = 5;
  std::size_t refused = 0;
  const double began = CpuSeconds();
  for (int pass = 0; pass < kPasses; ++pass)
    for (const std::string& tile : tiles) refused += TileBodyProblem(tile).has_value();
  const double perTile = (CpuSeconds() - began) / (kPasses * static_cast<double>(tiles.size()));
  std::printf("tile_body: tiles=%zu mean_bytes=%zu refused=%zu us_per_tile=%.2f\n", tiles.size(),
              bytes / tiles.size(), refused / kPasses, perTile * 1e6);
  return refused == 0 ? 0 : 1;
}
