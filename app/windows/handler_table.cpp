#include "app/windows/handler_table.h"

// Every handler named by the templates has this signature.
#define EE_HANDLER(name) EventResult name(const EventArgs&);
#include "window_handlers.inc"
#undef EE_HANDLER

namespace {

const EventHandler kHandlers[] = {
#define EE_HANDLER(name) &name,
#include "window_handlers.inc"
#undef EE_HANDLER
};

}  // namespace

HandlerTable ApplicationHandlers() { return HandlerTable(kHandlers); }
