// MediaInfo defaults and copy ownership.
#include <gtest/gtest.h>

#include <memory>

#include "common/MediaInfo.h"

namespace {

TEST(MediaInfo, NewRecordIsUnsetMediaParameters) {
  const MediaInfo info;
  EXPECT_EQ(info.type, -1);
  const int values[] = {info.value1, info.value2, info.value3, info.value4,  info.value5,  info.value6,
                        info.value7, info.value8, info.value9, info.value10, info.value11, info.value12};
  for (int v : values) EXPECT_EQ(v, 0);
  EXPECT_TRUE(info.text1.empty() && info.text2.empty() && info.text3.empty());
  EXPECT_FALSE(info.flag1 || info.flag2);
}

TEST(MediaInfo, CopyOwnsItsStatusText) {
  auto source = std::make_unique<MediaInfo>();
  source->type = MediaInfo::kStatusText;
  source->text1 = "NetConnection.Connect.Success";
  const MediaInfo copy(*source);
  source.reset();
  EXPECT_EQ(copy.type, 0);
  EXPECT_EQ(copy.text1, "NetConnection.Connect.Success");
}

}  // namespace
