#include "ui/ScreenPlacement.h"

#include <gtest/gtest.h>

namespace vellrun::ui {
namespace {

// A window saved on a layout that has changed comes back where its top
// edge can be taken hold of, and one that can still be reached stays put.
TEST(ScreenPlacementTest, AWindowComesBackWithinReach) {
    const QRect laptop(0, 0, 1366, 740);
    const QRect monitor(1366, 0, 1920, 1050);

    // On the second monitor, or half off the edge with its top showing: kept.
    EXPECT_EQ(ReachableGeometry({1500, 100, 1200, 800}, {laptop, monitor}),
              QRect(1500, 100, 1200, 800));
    EXPECT_EQ(ReachableGeometry({-600, 200, 1000, 600}, {laptop}), QRect(-600, 200, 1000, 600));
    // Within reach but larger than the screen (the first start's size on a
    // small screen, a size saved on a larger one): no larger than its free
    // area, so that the bottom of the window shows.
    const QRect small(0, 0, 800, 600);
    EXPECT_EQ(ReachableGeometry({0, 0, 1000, 650}, {small}), small);
    EXPECT_EQ(ReachableGeometry({40, 30, 1200, 500}, {small}), QRect(0, 30, 800, 500));
    EXPECT_EQ(ReachableGeometry({1400, 10, 1000, 1200}, {laptop, monitor}),
              QRect(1400, 0, 1000, 1050));

    // The monitor has gone: back onto the laptop, shrunk to its free area.
    EXPECT_EQ(ReachableGeometry({1500, 100, 1200, 800}, {laptop}), QRect(166, 0, 1200, 740));
    // Its top edge above every screen: moved down, the size kept.
    EXPECT_EQ(ReachableGeometry({100, -500, 800, 600}, {laptop, monitor}), QRect(100, 0, 800, 600));
    // Nowhere near a screen: onto the first one.
    EXPECT_EQ(ReachableGeometry({-30000, 30000, 400, 300}, {laptop, monitor}),
              QRect(0, 440, 400, 300));
    // The overlap decides between screens.
    EXPECT_EQ(ReachableGeometry({2000, 1040, 600, 400}, {laptop, monitor}),
              QRect(2000, 650, 600, 400));
}

}  // namespace
}  // namespace vellrun::ui
