// The list's stored columns and property block.
#include <gtest/gtest.h>

#include "runtime/windows/list_columns.h"
#include "runtime/windows/type_properties.h"

TEST(ListColumns, NamesWidthsAndAlignmentRoundTrip) {
  const auto columns = ListColumnsParse("网址:320|大小:90:r||完整");
  ASSERT_EQ(columns.size(), 3u);
  EXPECT_EQ(columns[0].name, "网址");
  EXPECT_EQ(columns[0].width, 320);
  EXPECT_FALSE(columns[0].rightAligned);
  EXPECT_TRUE(columns[1].rightAligned);
  EXPECT_EQ(columns[2].width, 80);  // no width given
  EXPECT_EQ(ListColumnsText(columns), "网址:320|大小:90:r|完整:80");
}

TEST(ListColumns, BadWidthsFallBackOrAreCapped) {
  const auto columns = ListColumnsParse("a:-5|b:12x|c:999999|d:99999");
  ASSERT_EQ(columns.size(), 4u);
  EXPECT_EQ(columns[0].width, 80);
  EXPECT_EQ(columns[1].width, 80);
  EXPECT_EQ(columns[2].width, 80);
  EXPECT_EQ(columns[3].width, 4000);
  EXPECT_TRUE(ListColumnsParse("").empty());
}

TEST(ListViewProperties, BlockRoundTripsAndRejectsLaterVersions) {
  ListViewProperties list;
  list.multiSelect = 0;
  list.gridLines = 1;
  list.columns = MakeText("网址:300|类别:48");
  const ByteArray block = ListViewPropertiesEncode(list);
  EXPECT_EQ(ListViewPropertiesDecode(block), list);
  EXPECT_EQ(ListViewPropertiesDecode({}), ListViewProperties{});
  ByteArray later = block;
  later[0] = 2;
  EXPECT_FALSE(ListViewPropertiesDecode(later));
  ByteArray longer = block;
  longer.push_back(0);
  EXPECT_FALSE(ListViewPropertiesDecode(longer));
}
