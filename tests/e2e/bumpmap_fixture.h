#pragma once

#include "scene_view.h"
#include "x_session.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace e2e {

// Only how long a failure takes to show: waits end on what they wait for.
// Generous, as a machine busy with other work can keep the program waiting
// for seconds.
constexpr milliseconds startTimeout{60000};
constexpr milliseconds frameTimeout{60000};
// A frame takes under 10 ms here (Mesa's software rasteriser); this long
// with the program asleep and the picture unchanged, it has drawn
// everything it was asked for.
constexpr milliseconds quietTime{300};

// The program built beside the tests, with `args` after its name.
inline std::vector<std::string> bumpmap(const std::vector<std::string> &args = {})
{
    std::vector<std::string> command{BUMPMAP_PROGRAM};
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

inline void expectMarkerAt(const Image &picture, const ViewAngles &angles)
{
    const PixelPoint expected = projectMarker(angles, picture.width, picture.height);
    const auto marker = findMarker(picture, expected);
    ASSERT_TRUE(marker) << "no marker in the picture";
    EXPECT_LE(distance(*marker, expected), markerTolerance)
        << "marker at (" << marker->x << ", " << marker->y << "), expected at (" << expected.x
        << ", " << expected.y << ")";
}

// Each test gets its own X server and its own run of the program, showing its
// first frame with the keyboard focus on its window.
class BumpmapTest : public ::testing::Test {
  protected:
    void SetUp() override { start({}); }

    void TearDown() override
    {
        // Whatever a test did, no frame may have ended with a GL error.
        if (program_)
            expectNoOutput();
        program_.reset();
        server_.reset();
    }

    void start(const std::vector<std::string> &args)
    {
        server_ = std::make_unique<XServer>();
        program_ = std::make_unique<Program>(server_->name(), bumpmap(args));
        window_ = waitForWindow(display(), "Bump mapping", startTimeout);
        ASSERT_NE(window_, 0u) << "no window; stderr: " << program_->errors();
        focusWindow(display(), window_);
        const auto drawn = waitForImage(
            display(), window_, [](const Image &image) { return hasPicture(image); }, startTimeout);
        ASSERT_TRUE(drawn) << "the window stays black";
        first_ = settle();
    }

    Display *display() const { return server_->display(); }
    Window window() const { return window_; }
    Program &program() { return *program_; }
    // The picture once the first frame had been drawn.
    const Image &firstPicture() const { return first_; }

    static bool hasPicture(const Image &image)
    {
        for (const auto pixel : image.pixels) {
            if (pixel != 0)
                return true;
        }
        return false;
    }

    void press(KeySym keysym, int times = 1)
    {
        for (int i = 0; i < times; ++i)
            pressKey(display(), keysym);
    }

    // The picture once the program has stopped drawing.
    Image settle()
    {
        auto image = waitForStill(display(), window_, *program_, quietTime, frameTimeout);
        if (!image)
            throw std::runtime_error("the picture never settled");
        return *image;
    }

    // The settled picture after one that differs from `before`.
    Image settleAfterChange(const Image &before)
    {
        if (!waitForChange(display(), window_, before, frameTimeout))
            throw std::runtime_error("the picture did not change");
        return settle();
    }

    // Escape, then the program must be gone with status 0 and have printed
    // nothing, in particular no GL error.
    void expectQuitOnEscape()
    {
        press(XK_Escape);
        const auto status = program_->waitForExit(frameTimeout);
        ASSERT_TRUE(status) << "still running after Escape";
        EXPECT_TRUE(WIFEXITED(*status)) << "wait status " << *status;
        if (WIFEXITED(*status)) {
            EXPECT_EQ(WEXITSTATUS(*status), 0);
        }
        expectNoOutput();
    }

    // The program prints only GL errors, one line per frame that had one.
    void expectNoOutput()
    {
        const std::string output = program_->output();
        EXPECT_TRUE(output.empty()) << "stdout begins: " << output.substr(0, 200);
    }

  private:
    std::unique_ptr<XServer> server_;
    std::unique_ptr<Program> program_;
    Window window_ = 0;
    Image first_;
};

} // namespace e2e
