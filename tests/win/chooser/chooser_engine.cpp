#include "chooser_engine.h"

#include <array>
#include <cstring>

#include "app/windows/directory_chooser.h"
#include "runtime/windows/engine.h"
#include "runtime/windows/template_resource.h"
#include "window_ids.h"

namespace {

// The template's handler names in table order; only the chooser's are bound.
constexpr const char* kHandlerNames[] = {
#define EE_HANDLER(name) #name,
#include "window_handlers.inc"
#undef EE_HANDLER
};
static_assert(std::size(kHandlerNames) == kTemplateHandlerCount);

struct NamedHandler {
  const char* name;
  EventHandler handler;
};
constexpr NamedHandler kChooserHandlers[] = {
    {"ChooserCreated", ChooserCreated}, {"ChooserDestroying", ChooserDestroying},
    {"NewFolder", NewFolder},           {"ChooserCancel", ChooserCancel},
    {"ChooserConfirm", ChooserConfirm}, {"DriveChanged", DriveChanged},
    {"FolderChanged", FolderChanged},
};

std::array<EventHandler, kTemplateHandlerCount> handlerTable{};

}  // namespace

void ChooserTestEngineStart() {
  static bool started = false;
  if (started) return;
  started = true;
  for (std::size_t i = 0; i < kTemplateHandlerCount; ++i) {
    for (const NamedHandler& named : kChooserHandlers) {
      if (std::strcmp(named.name, kHandlerNames[i]) == 0) handlerTable[i] = named.handler;
    }
  }
  EngineStart(TemplateBlockFromResource(), handlerTable);
}
