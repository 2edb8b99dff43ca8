#include "bumpmap_fixture.h"
#include "scene_view.h"
#include "x_session.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>

namespace e2e {
namespace {

class StartupTest : public BumpmapTest {};

TEST_F(StartupTest, OpensItsWindowTitledAt450By300)
{
    // Found by its title in the fixture; here its size and place.
    EXPECT_EQ(windowSize(display(), window()), std::make_pair(450, 300));
    EXPECT_EQ(windowPosition(display(), window()), std::make_pair(50, 50));
}

TEST_F(StartupTest, FirstFrameShowsShadingBandsAcrossThePatch)
{
    const Image &picture = firstPicture();
    ASSERT_EQ(picture.width, 450);
    ASSERT_EQ(picture.height, 300);
    // About nine periods of the corrugation span the window's width, so each
    // row goes from dark to bright and back many times.
    for (const int row : {75, 150, 225}) {
        SCOPED_TRACE(row);
        EXPECT_GE(bandCrossings(picture, row), 10);
    }
}

TEST_F(StartupTest, MarkerIsWhereTheCameraProjectsTheLight)
{
    expectMarkerAt(firstPicture(), ViewAngles{});
}

class ResizeTest : public BumpmapTest {};

TEST_F(ResizeTest, WiderWindowKeepsTheMarkerHeightAndShiftsItAsProjected)
{
    const PixelPoint before = projectMarker(ViewAngles{}, 450, 300);
    const PixelPoint after = projectMarker(ViewAngles{}, 700, 300);
    // The view is only worth checking if the marker moves measurably.
    ASSERT_GT(std::abs(after.x - before.x), 20.0);

    ASSERT_TRUE(resizeWindow(display(), window(), 700, 300));
    const Image picture = settleAfterChange(firstPicture());
    ASSERT_EQ(picture.width, 700);

    expectMarkerAt(picture, ViewAngles{});
    const auto oldMarker = findMarker(firstPicture(), before);
    const auto marker = findMarker(picture, after);
    ASSERT_TRUE(oldMarker && marker);
    EXPECT_NEAR(marker->y, oldMarker->y, markerTolerance);
    expectQuitOnEscape();
}

} // namespace
} // namespace e2e
