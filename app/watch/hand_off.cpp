#include "app/watch/hand_off.h"

#include "app/watch/drained_queue.h"

namespace {

enum class EventKind { SessionStarted, NewFile, SessionEnded };

struct Event {
  EventKind kind = EventKind::NewFile;
  HandOffTarget target;
  Text fullPath;
  WideText exactPath;
};

DWORD WINAPI HandOffThread(LPVOID);

DrainedQueue<Event>& Events() {
  // Never destroyed: a session ending while the process ends still queues
  // its end here, and the drain thread may still run.
  static DrainedQueue<Event>& queue = *new DrainedQueue<Event>(HandOffThread);
  return queue;
}

void Deliver(const Event& event) {
  WatchSink& sink = *event.target.sink;
  const std::string_view folder = event.target.folderText ? std::string_view(*event.target.folderText) : "";
  switch (event.kind) {
    case EventKind::SessionStarted:
      sink.SessionStarted(WatchSessionInfo{event.target.id, folder});
      return;
    case EventKind::NewFile:
      sink.NewFile(NewFileEvent{event.target.id, folder, event.fullPath, event.exactPath});
      return;
    case EventKind::SessionEnded:
      sink.SessionEnded(event.target.id);
      return;
  }
}

DWORD WINAPI HandOffThread(LPVOID) {
  Event event;
  while (Events().Pop(event)) Deliver(event);
  return 0;
}

}  // namespace

void HandOffSessionStarted(const HandOffTarget& target) {
  Events().Push(Event{EventKind::SessionStarted, target, {}, {}});
}

void HandOffNewFile(const HandOffTarget& target, Text fullPath, WideText exactPath) {
  Events().Push(Event{EventKind::NewFile, target, std::move(fullPath), std::move(exactPath)});
}

void HandOffSessionEnded(const HandOffTarget& target) {
  Events().Push(Event{EventKind::SessionEnded, target, {}, {}});
}

std::size_t HandOffWaiting() { return Events().Size(); }
