#include "bumpmap_fixture.h"
#include "scene_view.h"
#include "x_session.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <ostream>
#include <string>

namespace e2e {
namespace {

class KeysTest : public BumpmapTest {};

TEST_F(KeysTest, SpaceShowsTheDisplacedSurfaceAndSpaceAgainTheBumpedOne)
{
    press(XK_space);
    const Image displaced = settleAfterChange(firstPicture());
    EXPECT_GT(differingPixels(displaced, firstPicture()), 0);
    // The light has not moved.
    expectMarkerAt(displaced, ViewAngles{});

    press(XK_space);
    EXPECT_EQ(differingPixels(settleAfterChange(displaced), firstPicture()), 0);
}

TEST_F(KeysTest, AShowsWireframeAndAAgainFilledPolygons)
{
    press(XK_a);
    const Image wireframe = settleAfterChange(firstPicture());
    // The dark sides of the bands are black when filled too, so the
    // background between the lines must add a good tenth of the window.
    const int area = wireframe.width * wireframe.height;
    EXPECT_GT(blackPixels(wireframe), blackPixels(firstPicture()) + area / 10);

    press(XK_a);
    EXPECT_EQ(differingPixels(settleAfterChange(wireframe), firstPicture()), 0);
}

TEST_F(KeysTest, UnboundKeysChangeNothing)
{
    const KeySym unbound[] = {XK_A, XK_q, XK_0, XK_1, XK_2,    XK_3,   XK_4,      XK_5,
                              XK_6, XK_7, XK_8, XK_9, XK_Home, XK_End, XK_Insert, XK_F1};
    for (const KeySym key : unbound) {
        SCOPED_TRACE("keysym " + std::to_string(key));
        press(key);
        // Two spaces cancel out and force new frames; they are handled after
        // the key, so the last picture shows whatever the key did.
        press(XK_space);
        const auto displaced = waitForChange(display(), window(), firstPicture(), frameTimeout);
        ASSERT_TRUE(displaced);
        press(XK_space);
        EXPECT_EQ(differingPixels(settleAfterChange(*displaced), firstPicture()), 0);
    }
}

// A key pressed 20 times, and how much one press turns the view.
struct TurnCase {
    const char *name;
    KeySym key;
    ViewAngles step;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const TurnCase &turn, std::ostream *out) { *out << turn.name; }

class TurnKeysTest : public BumpmapTest, public ::testing::WithParamInterface<TurnCase> {};

TEST_P(TurnKeysTest, MoveTheMarkerWhereTheCameraProjectsIt)
{
    constexpr int presses = 20;
    const ViewAngles &step = GetParam().step;
    ViewAngles turned;
    turned.rotX += presses * step.rotX;
    turned.rotY += presses * step.rotY;
    turned.rotZ += presses * step.rotZ;
    turned.lightAngle += presses * step.lightAngle;
    // A move in the wrong direction must miss by far more than the tolerance.
    ASSERT_GT(distance(projectMarker(turned, 450, 300), projectMarker(ViewAngles{}, 450, 300)),
              4.0 * markerTolerance);

    press(GetParam().key, presses);
    expectMarkerAt(settleAfterChange(firstPicture()), turned);
}

INSTANTIATE_TEST_SUITE_P(Keys, TurnKeysTest,
                         ::testing::Values(TurnCase{"Left", XK_Left, {0, -1, 0, 0}},
                                           TurnCase{"Right", XK_Right, {0, 1, 0, 0}},
                                           TurnCase{"Up", XK_Up, {-1, 0, 0, 0}},
                                           TurnCase{"Down", XK_Down, {1, 0, 0, 0}},
                                           TurnCase{"PageUp", XK_Prior, {0, 0, 1, 0}},
                                           TurnCase{"PageDown", XK_Next, {0, 0, -1, 0}},
                                           TurnCase{"Plus", XK_plus, {0, 0, 0, 1}},
                                           TurnCase{"Minus", XK_minus, {0, 0, 0, -1}}),
                         [](const ::testing::TestParamInfo<TurnCase> &info) {
                             return std::string(info.param.name);
                         });

class OrbitTest : public BumpmapTest {};

TEST_F(OrbitTest, ReturnStartsTheOrbitAndReturnStopsIt)
{
    press(XK_Return);
    // With no further key, new frames keep coming with the marker going
    // forward along its circle.
    Image last = firstPicture();
    int angle = 0;
    for (int frame = 0; frame < 10; ++frame) {
        SCOPED_TRACE("new frame " + std::to_string(frame));
        const auto next = waitForChange(display(), window(), last, frameTimeout);
        ASSERT_TRUE(next) << "the orbit stopped";
        ViewAngles previous;
        previous.lightAngle = angle;
        const auto marker = findMarker(*next, projectMarker(previous, next->width, next->height));
        ASSERT_TRUE(marker);
        const AngleFit fit = fitLightAngle(*marker, ViewAngles{}, next->width, next->height);
        EXPECT_LE(fit.distance, markerTolerance);
        const int step = (fit.lightAngle - angle + 360) % 360;
        EXPECT_GT(step, 0);
        EXPECT_LT(step, 180);
        angle = fit.lightAngle;
        last = *next;
    }

    press(XK_Return);
    const Image stopped = settle();
    EXPECT_FALSE(waitForChange(display(), window(), stopped, milliseconds(1000)))
        << "the light still moves";
    const auto marker = findMarker(stopped, projectMarker(ViewAngles{}, 450, 300));
    ASSERT_TRUE(marker);
    EXPECT_LE(fitLightAngle(*marker, ViewAngles{}, 450, 300).distance, markerTolerance);
}

class ExitTest : public BumpmapTest {};

TEST_F(ExitTest, EscapeQuitsWithStatusZeroAndNoOutput) { expectQuitOnEscape(); }

TEST_F(ExitTest, EscapeQuitsWhileTheLightCircles)
{
    press(XK_Return);
    const auto moving = waitForChange(display(), window(), firstPicture(), frameTimeout);
    ASSERT_TRUE(moving);
    ASSERT_TRUE(waitForChange(display(), window(), *moving, frameTimeout));
    expectQuitOnEscape();
}

} // namespace
} // namespace e2e
