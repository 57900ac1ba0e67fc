#include "app/application.h"

#include "app/extensions/extension_catalogue.h"
#include "app/detection/extraction_copy.h"
#include "app/session_sinks.h"
#include "app/program_state/shared_values.h"
#include "app/windows/handler_table.h"
#include "runtime/core/program.h"
#include "runtime/core/startup_marks.h"
#include "runtime/windows/engine.h"
#include "runtime/windows/template_resource.h"
#include "window_ids.h"

namespace {

// Releases the application's global texts and lists at program end.
void ApplicationOnExit() {
  // No element found from here on reaches a prompt; then a copy cut off by
  // the end of the process would look like a saved element.
  SessionSinksStop();
  ExtractionCopiesCancel();
  VideoExtensions.Replace({});
  AudioExtensions.Replace({});
  CustomExtensions.Replace({});
  WatchedFolder.Replace({});
  SaveFolder.Replace({});
}

}  // namespace

void ApplicationRun() {
  OnExitRoutineRegister(ApplicationOnExit);
  EngineStart(TemplateBlockFromResource(), ApplicationHandlers());
  StartupMark("templates");
  StartWindowLoad(kMainWindow);
  OleStartSoon();
  MessageLoopRun();
}
