// The application's handler table: the handlers the window templates bind
// events to, in the order of the template compiler's handler list.
#pragma once

#include "runtime/windows/event_handler.h"

HandlerTable ApplicationHandlers();
