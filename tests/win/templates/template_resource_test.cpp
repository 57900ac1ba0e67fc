#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "runtime/windows/template_data.h"
#include "runtime/windows/template_resource.h"
#include "window_ids.h"

namespace {

const std::uint8_t kCompiled[] = {
#include "window_templates_block.inc"
};

}  // namespace

TEST(TemplateResource, EmbeddedBlockIsTheCompiledOneAndParses) {
  auto embedded = TemplateBlockFromResource();
  ASSERT_EQ(embedded.size(), sizeof kCompiled);
  EXPECT_TRUE(std::equal(embedded.begin(), embedded.end(), std::begin(kCompiled)));
  std::vector<EventHandler> handlers(kTemplateHandlerCount, nullptr);
  auto set = TemplateSetParse(embedded, handlers);
  ASSERT_TRUE(set);
  EXPECT_NE(set->WindowFind(kMainWindow), nullptr);
  EXPECT_NE(set->WindowFind(kAboutWindow), nullptr);
  EXPECT_NE(set->WindowFind(kDirectoryChooser), nullptr);
  // The table is as long as the generated handler list, and not one entry less.
  handlers.pop_back();
  EXPECT_FALSE(TemplateSetParse(embedded, handlers));
}
