// The window a long image load shows: it waits a moment, then shows a busy
// bar while the text is read and the share of objects after, and Cancel
// stops the load.

#include "ui/LoadProgressWindow.h"

#include <QProgressDialog>
#include <chrono>

#include <gtest/gtest.h>

namespace vellrun::ui {
namespace {

TEST(LoadProgressWindowTest, ShowsAfterItsDelayAndCancelStopsTheLoad) {
    LoadProgressWindow waiting(std::chrono::hours(1));
    EXPECT_TRUE(waiting.Report(0, 0));
    EXPECT_EQ(waiting.Window(), nullptr);  // a quick load shows nothing

    LoadProgressWindow window(std::chrono::milliseconds(0));
    EXPECT_TRUE(window.Report(0, 0));
    ASSERT_NE(window.Window(), nullptr);
    EXPECT_TRUE(window.Window()->isVisible());
    EXPECT_EQ(window.Window()->maximum(), 0);  // busy while the text is read
    EXPECT_FALSE(window.Window()->accessibleName().isEmpty());
    EXPECT_TRUE(window.Report(2500, 10000));
    EXPECT_EQ(window.Window()->value() * 4, window.Window()->maximum());
    window.Window()->cancel();
    EXPECT_FALSE(window.Report(5000, 10000));
    EXPECT_FALSE(window.Window()->isVisible());
    window.Close();
    EXPECT_EQ(window.Window(), nullptr);

    // A finished load takes its window away before the program goes on.
    LoadProgressWindow finished(std::chrono::milliseconds(0));
    EXPECT_TRUE(finished.Report(9000, 10000));
    ASSERT_NE(finished.Window(), nullptr);
    EXPECT_TRUE(finished.Report(10000, 10000));
    EXPECT_EQ(finished.Window(), nullptr);
}

}  // namespace
}  // namespace vellrun::ui
