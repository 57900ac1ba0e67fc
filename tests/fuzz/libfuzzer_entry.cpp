// libFuzzer's entry point for one target, chosen when building:
// -DEE_FUZZ_TARGET_NAME="value_bytes".
#include "tests/fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const FuzzTarget* const target = FuzzTargetFind(EE_FUZZ_TARGET_NAME);
  if (target == nullptr) FuzzRuleBroken("unknown fuzz target " EE_FUZZ_TARGET_NAME, __FILE__, __LINE__);
  target->entry(data, size);
  return 0;
}
