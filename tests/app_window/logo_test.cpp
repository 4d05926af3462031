// The program's icon: the logo's picture, scaled into a transparent square.

#include "app/window/logo.h"

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>

namespace talvenor::app::window {
namespace {

TEST(DrawIcon, FillsTheSquareFromSideToSideOnATransparentGround) {
  for (const int side : {48, 256}) {
    SCOPED_TRACE(side);
    const QImage icon = DrawIcon(side);
    ASSERT_EQ(icon.size(), QSize(side, side));
    EXPECT_TRUE(icon.hasAlphaChannel());
    int left = side, right = -1, top = side, bottom = -1;
    for (int y = 0; y < side; ++y) {
      for (int x = 0; x < side; ++x) {
        if (qAlpha(icon.pixel(x, y)) < 128) continue;
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
    }
    // The mark reaches near both sides, and the ground above and below it,
    // as at the corners, stays clear.
    EXPECT_LT(left, side * 15 / 100);
    EXPECT_GT(right, side * 85 / 100);
    EXPECT_GT(top, side / 10);
    EXPECT_LT(bottom, side * 9 / 10);
    EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(icon.pixel(side - 1, side - 1)), 0);
  }
}

}  // namespace
}  // namespace talvenor::app::window
