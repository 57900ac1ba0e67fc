// The texts of the compiler's generated files.
#pragma once

#include <string>

#include "runtime/core/text.h"
#include "tools/template_compiler/source_compile.h"

// window_ids.h: window ids as kName constants and one namespace <Window>Units
// per window with its unit ids named by the units' (Chinese) names.
std::string WindowIdsHeader(const CompiledTemplates& compiled);
// window_handlers.inc: one EE_HANDLER(Name) line per handler, in index order.
std::string HandlerListInclude(const CompiledTemplates& compiled);
// window_templates_block.inc: the block as a comma-separated byte list.
std::string BlockArrayInclude(const ByteArray& block);
