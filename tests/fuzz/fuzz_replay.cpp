// Deterministic fuzz run for the test suite: every seed of every target, then
// a fixed number of mutations of the seeds from a fixed random seed, so a
// failure found here is found again on every run.  Usage:
//   fuzz_replay SEEDS_FOLDER [MUTATIONS_PER_TARGET] [TARGET]
// Prints one line of figures per target; exits non-zero on a broken rule
// (abort) or a sanitizer report.
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_targets.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// <chrono> does not build with the GBK execution charset.
double NowSeconds() {
  std::timespec now{};
  std::timespec_get(&now, TIME_UTC);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::vector<Bytes> SeedsRead(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());  // the same order on every machine
  std::vector<Bytes> seeds;
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return seeds;
}

void PutWord(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4 && at + i < bytes.size(); ++i)
    bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A few edits of the kinds that break parsers: flipped bits, sizes and counts
// set to edge values, truncation, inserted and removed runs, and a splice
// with another seed.
Bytes Mutate(const std::vector<Bytes>& seeds, std::mt19937& random) {
  Bytes bytes = seeds[random() % seeds.size()];
  const std::uint32_t edges[] = {0,    1,    2,    11,         12,          13,          0x7F,
                                 0x80, 0xFF, 0x5C, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFFF4u};
  auto at = [&] { return bytes.empty() ? 0 : random() % bytes.size(); };
  const int edits = 1 + static_cast<int>(random() % 5);
  for (int e = 0; e < edits; ++e) {
    switch (random() % 8) {
      case 0:
        if (!bytes.empty()) bytes[at()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
        break;
      case 1:
        if (!bytes.empty()) bytes[at()] = static_cast<std::uint8_t>(random());
        break;
      case 2:
        PutWord(bytes, at(), edges[random() % std::size(edges)]);
        break;
      case 3:
        PutWord(bytes, at(), static_cast<std::uint32_t>(random() % 80));
        break;
      case 4:
        bytes.resize(at());
        break;
      case 5: {
        const std::size_t count = 1 + random() % 16;
        const auto where = bytes.begin() + static_cast<std::ptrdiff_t>(at());
        bytes.insert(where, count, static_cast<std::uint8_t>(random()));
        break;
      }
      case 6:
        if (!bytes.empty()) {
          const std::size_t from = at();
          const std::size_t count = std::min<std::size_t>(1 + random() % 16, bytes.size() - from);
          bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                      bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
        }
        break;
      default: {
        const Bytes& other = seeds[random() % seeds.size()];
        if (other.empty()) break;
        const std::size_t from = random() % other.size();
        const std::size_t count = std::min<std::size_t>(1 + random() % 64, other.size() - from);
        const auto where = bytes.begin() + static_cast<std::ptrdiff_t>(at());
        bytes.insert(where, other.begin() + static_cast<std::ptrdiff_t>(from),
                     other.begin() + static_cast<std::ptrdiff_t>(from + count));
      }
    }
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s SEEDS_FOLDER [MUTATIONS_PER_TARGET] [TARGET]\n", argv[0]);
    return 2;
  }
  const std::filesystem::path seedsRoot = argv[1];
  const long mutations = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 20000;
  const std::string only = argc > 3 ? argv[3] : "";
  int status = 0;
  for (const FuzzTarget& target : FuzzTargets()) {
    if (!only.empty() && target.name != only) continue;
    std::vector<Bytes> seeds = SeedsRead(seedsRoot / std::string(target.name));
    if (seeds.empty()) {
      std::printf("%-16s no seeds in %s\n", std::string(target.name).c_str(),
                  (seedsRoot / std::string(target.name)).c_str());
      status = 1;  // a target without seeds would fuzz from nothing
      continue;
    }
    const double started = NowSeconds();
    for (const Bytes& seed : seeds) target.entry(seed.data(), seed.size());
    std::mt19937 random(20261207u);
    for (long i = 0; i < mutations; ++i) {
      const Bytes input = Mutate(seeds, random);
      target.entry(input.data(), input.size());
    }
    const double seconds = NowSeconds() - started;
    std::printf("%-16s %zu seeds, %ld mutations, %.2f s\n", std::string(target.name).c_str(), seeds.size(),
                mutations, seconds);
  }
  return status;
}
