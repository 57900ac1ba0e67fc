#include "tests/fuzz/fuzz_targets.h"

#include <cstdio>
#include <cstdlib>

void FuzzValueBytes(const std::uint8_t* data, std::size_t size);
void FuzzTextSplit(const std::uint8_t* data, std::size_t size);
void FuzzTemplateBlock(const std::uint8_t* data, std::size_t size);
void FuzzChangeRecords(const std::uint8_t* data, std::size_t size);
void FuzzFilePaths(const std::uint8_t* data, std::size_t size);
void FuzzFirefoxEntry(const std::uint8_t* data, std::size_t size);

namespace {

constexpr FuzzTarget kTargets[] = {
    {"value_bytes", &FuzzValueBytes},       {"text_split", &FuzzTextSplit},
    {"template_block", &FuzzTemplateBlock}, {"change_records", &FuzzChangeRecords},
    {"file_paths", &FuzzFilePaths},         {"firefox_entry", &FuzzFirefoxEntry},
};

}  // namespace

std::span<const FuzzTarget> FuzzTargets() { return kTargets; }

const FuzzTarget* FuzzTargetFind(std::string_view name) {
  for (const FuzzTarget& target : kTargets) {
    if (target.name == name) return &target;
  }
  return nullptr;
}

void FuzzRuleBroken(const char* rule, const char* file, int line) {
  std::fprintf(stderr, "fuzz rule broken at %s:%d: %s\n", file, line, rule);
  std::fflush(stderr);
  std::abort();
}
