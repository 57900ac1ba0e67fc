// The control kinds by type number.  A table only: the built-in kinds are
// entered by EngineStart, further kinds by their own code.
#include <algorithm>
#include <vector>

#include "runtime/windows/control_kind.h"

namespace {

struct KindRegistry {
  std::vector<ControlKind> kinds;
};
KindRegistry& Kinds() {
  static KindRegistry registry;
  return registry;
}

}  // namespace

void ControlKindRegister(const ControlKind& kind) {
  auto& kinds = Kinds().kinds;
  auto found = std::find_if(kinds.begin(), kinds.end(),
                            [&](const ControlKind& k) { return k.typeNumber == kind.typeNumber; });
  if (found != kinds.end()) {
    *found = kind;
  } else {
    kinds.push_back(kind);
  }
}

const ControlKind* ControlKindFind(std::uint32_t typeNumber) {
  for (const ControlKind& kind : Kinds().kinds) {
    if (kind.typeNumber == typeNumber) return &kind;
  }
  return nullptr;
}
