// The window template compiler: reads the window sources (UTF-8) and writes
// the stored template block and the files the program is built with.
//
//   template_compiler --out DIR SOURCE...
//
// DIR receives window_templates.bin (the block, embedded as a resource),
// window_templates_block.inc (the same bytes for tests), window_ids.h and
// window_handlers.inc.  A file whose content is unchanged is not rewritten,
// so an edit of one window does not rebuild what only reads the ids.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tools/template_compiler/generated_files.h"
#include "tools/template_compiler/source_compile.h"
#include "tools/template_compiler/template_writer.h"
#include "tools/template_compiler/window_source.h"

namespace {

bool FileUpdate(const std::string& path, const std::string& content) {
  {
    std::ifstream existing(path, std::ios::binary);
    if (existing) {
      std::string old((std::istreambuf_iterator<char>(existing)), std::istreambuf_iterator<char>());
      if (old == content) return true;
    }
  }
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(content.data(), static_cast<std::streamsize>(content.size()));
  file.close();
  if (!file) std::fprintf(stderr, "template_compiler: cannot write %s\n", path.c_str());
  return static_cast<bool>(file);
}

int Usage() {
  std::fprintf(stderr, "usage: template_compiler --out DIR SOURCE...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || std::string(argv[1]) != "--out") return Usage();
  const std::string outDir = argv[2];
  std::vector<WindowSource> sources;
  std::string error;
  for (int i = 3; i < argc; ++i) {
    auto source = WindowSourceRead(argv[i], error);
    if (!source) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    sources.push_back(std::move(*source));
  }
  auto compiled = TemplatesCompile(sources, error);
  if (!compiled) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  auto records = compiled->Records();
  ByteArray block = TemplateBlockEncode(records);
  // The program must be able to read what was written.
  std::vector<EventHandler> handlers(compiled->handlerNames.size(), nullptr);
  if (!TemplateSetParse({block.data(), block.size()}, {handlers.data(), handlers.size()})) {
    std::fprintf(stderr, "template_compiler: the written block does not parse\n");
    return 1;
  }
  bool ok = FileUpdate(outDir + "/window_templates.bin", std::string(block.begin(), block.end())) &&
            FileUpdate(outDir + "/window_templates_block.inc", BlockArrayInclude(block)) &&
            FileUpdate(outDir + "/window_ids.h", WindowIdsHeader(*compiled)) &&
            FileUpdate(outDir + "/window_handlers.inc", HandlerListInclude(*compiled));
  return ok ? 0 : 1;
}
