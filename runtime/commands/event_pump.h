// Letting the calling thread's waiting messages run in the middle of long
// work, and waits that keep doing so.
#pragma once

#include <cstdint>

// Dispatches the messages already waiting for the calling thread and returns
// once its queue is empty.  A quit message is left in the queue for the
// message loop to see.
void EventsProcess();

// Waits count units while dispatching the calling thread's messages.  Unit
// codes: 0 milliseconds, 1 microseconds (one wait), 2 seconds, 3 minutes,
// 4 hours, 5 days; codes 2 to 5 are that many successive waits of count
// milliseconds, and any other code is itself the number of such waits.
void PumpedWait(std::int32_t count, std::int32_t unitCode = 0);
