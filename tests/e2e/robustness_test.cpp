#include "bumpmap_fixture.h"
#include "scene_view.h"
#include "x_session.h"

#include <X11/X.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <sys/stat.h>

namespace e2e {
namespace {

class StormTest : public BumpmapTest {};

// The marker among the white spots that best fits these scene turns, with
// the light anywhere on its circle: the orbit leaves its angle unknown.
AngleFit bestMarkerFit(const Image &picture, const ViewAngles &angles)
{
    AngleFit best{0, -1.0};
    for (const PixelPoint &spot : whiteSpots(picture)) {
        const AngleFit fit = fitLightAngle(spot, angles, picture.width, picture.height);
        if (best.distance < 0.0 || fit.distance < best.distance)
            best = fit;
    }
    return best;
}

TEST_F(StormTest, RandomKeysAndResizesDownToOnePixelHigh)
{
    const KeySym keys[] = {XK_Return, XK_space,  XK_plus, XK_minus, XK_a,    XK_Left,
                           XK_Right,  XK_Up,     XK_Down, XK_Prior, XK_Next, XK_A,
                           XK_q,      XK_z,      XK_0,    XK_5,     XK_9,    XK_Home,
                           XK_End,    XK_Insert, XK_F1,   XK_F12,   XK_Tab,  XK_BackSpace,
                           XK_Delete, XK_comma,  XK_equal};
    std::mt19937 random(20240611);
    std::uniform_int_distribution<std::size_t> anyKey(0, std::size(keys) - 1);
    std::uniform_int_distribution<int> anyWidth(1, 800);

    // The turns are kept track of, to check at the end that every key landed.
    ViewAngles angles;
    int returns = 0;
    int resizes = 0;
    for (int i = 0; i < 2000; ++i) {
        if (i % 20 == 10) {
            ASSERT_TRUE(program().running()) << "ended after " << i << " keys";
            const bool down = resizes++ % 2 == 0;
            ASSERT_TRUE(
                resizeWindow(display(), window(), down ? anyWidth(random) : 450, down ? 1 : 300));
        }
        const KeySym key = keys[anyKey(random)];
        pressKey(display(), key);
        angles.rotY += key == XK_Left ? -1 : key == XK_Right ? 1 : 0;
        angles.rotX += key == XK_Up ? -1 : key == XK_Down ? 1 : 0;
        angles.rotZ += key == XK_Prior ? 1 : key == XK_Next ? -1 : 0;
        returns += key == XK_Return;
        // Pace the keys a little, so that frames and resizes mix with them
        // rather than all keys arriving in one batch.
        std::this_thread::sleep_for(milliseconds(2));
    }
    ASSERT_EQ(resizes, 100);
    ASSERT_TRUE(program().running());

    if (returns % 2 == 1)
        press(XK_Return);
    ASSERT_TRUE(resizeWindow(display(), window(), 450, 300));
    const Image last = settle();
    const AngleFit fit = bestMarkerFit(last, angles);
    ASSERT_GE(fit.distance, 0.0) << "no marker";
    EXPECT_LE(fit.distance, markerTolerance)
        << "turned by " << angles.rotX << ", " << angles.rotY << ", " << angles.rotZ;
    expectQuitOnEscape();
}

class WindowCloseTest : public BumpmapTest {};

TEST_F(WindowCloseTest, DeleteWindowMessageEndsTheProgramCleanly)
{
    sendDeleteWindow(display(), window());
    const auto status = program().waitForExit(frameTimeout);
    ASSERT_TRUE(status) << "still running " << frameTimeout.count()
                        << " ms later; its threads: " << program().threads();
    ASSERT_TRUE(WIFEXITED(*status)) << "ended by signal " << WTERMSIG(*status);
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    expectNoOutput();
}

// These start the program with their own command line.
class OptionsTest : public BumpmapTest {
  protected:
    void SetUp() override {}
};

// GLUT takes -geometry off the command line, but the program sets its own
// size and place after glutInit, and those win.
TEST_F(OptionsTest, GeometryIsTakenButTheProgramsSizeAndPlaceWin)
{
    ASSERT_NO_FATAL_FAILURE(start({"-geometry", "640x480+200+100"}));
    EXPECT_EQ(windowSize(display(), window()), std::make_pair(450, 300));
    EXPECT_EQ(windowPosition(display(), window()), std::make_pair(50, 50));
    expectMarkerAt(firstPicture(), ViewAngles{});
    expectQuitOnEscape();
}

// An option the program does not override shows that the command line
// reaches GLUT: -iconic makes the window ask to start iconified.
TEST_F(OptionsTest, IconicReachesGlut)
{
    ASSERT_NO_FATAL_FAILURE(start({"-iconic"}));
    XWMHints *hints = XGetWMHints(display(), window());
    ASSERT_NE(hints, nullptr);
    EXPECT_TRUE(hints->flags & StateHint);
    EXPECT_EQ(hints->initial_state, IconicState);
    XFree(hints);
    expectQuitOnEscape();
}

TEST_F(OptionsTest, UnknownArgumentIsIgnored)
{
    ASSERT_NO_FATAL_FAILURE(start({"--no-such-option"}));

    // The picture must be the one a plain start draws.
    XServer server;
    Program plain(server.name(), bumpmap());
    const Window plainWindow = waitForWindow(server.display(), "Bump mapping", startTimeout);
    ASSERT_NE(plainWindow, 0u);
    ASSERT_TRUE(waitForImage(
        server.display(), plainWindow, [](const Image &image) { return hasPicture(image); },
        startTimeout));
    const auto expected =
        waitForStill(server.display(), plainWindow, plain, quietTime, frameTimeout);
    ASSERT_TRUE(expected);

    EXPECT_EQ(windowSize(display(), window()), std::make_pair(450, 300));
    EXPECT_EQ(differingPixels(firstPicture(), *expected), 0);
    expectQuitOnEscape();
}

// A display number that no server here uses: neither its socket nor its lock
// file exists.
std::string unusedDisplay()
{
    for (int number = 1000;; ++number) {
        const std::string n = std::to_string(number);
        struct stat info;
        if (stat(("/tmp/.X11-unix/X" + n).c_str(), &info) != 0 &&
            stat(("/tmp/.X" + n + "-lock").c_str(), &info) != 0)
            return ":" + n;
    }
}

TEST(DisplayOptionTest, MissingServerEndsWithAMessageAndFailureStatus)
{
    // DISPLAY names a working server, so only -display can make it fail.
    XServer server;
    const std::string missing = unusedDisplay();
    Program program(server.name(), bumpmap({"-display", missing}));
    const auto status = program.waitForExit(frameTimeout);
    ASSERT_TRUE(status) << "still running";
    ASSERT_TRUE(WIFEXITED(*status)) << "ended by signal " << WTERMSIG(*status);
    EXPECT_NE(WEXITSTATUS(*status), 0);
    EXPECT_NE(program.errors().find("'" + missing + "'"), std::string::npos)
        << "stderr: " << program.errors();
    EXPECT_EQ(waitForWindow(server.display(), "Bump mapping", milliseconds(0)), 0u);
}

} // namespace
} // namespace e2e
