#include "gl_recorder.h"
#include "render.h"
#include "stream.h"
#include "surface.h"
#include "view_state.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

GlCall call(const char *name, std::vector<double> args = {})
{
    return GlCall{name, std::move(args), {}, nullptr};
}

void expectStream(const std::vector<GlCall> &actual, const std::vector<GlCall> &expected)
{
    ASSERT_EQ(namesOf(actual), namesOf(expected));
    for (std::size_t i = 0; i < actual.size(); ++i)
        EXPECT_TRUE(sameCall(actual[i], expected[i]))
            << "call " << i << " " << actual[i].name << " has other arguments";
}

TEST(InitLightingTest, SetsMaterialLightAndDepthTestInOrder)
{
    expectStream(callsOf(initLighting),
                 {call("glMaterialfv", {GL_FRONT, GL_SPECULAR, 1, 1, 1, 1}),
                  call("glMaterialfv", {GL_FRONT, GL_SHININESS, 50}),
                  call("glMaterialfv", {GL_FRONT, GL_AMBIENT, 0, 0, 0, 1}),
                  call("glLightfv", {GL_LIGHT0, GL_DIFFUSE, 1, 1, 1, 1}),
                  call("glEnable", {GL_LIGHTING}), call("glEnable", {GL_LIGHT0}),
                  call("glDepthFunc", {GL_LESS}), call("glEnable", {GL_DEPTH_TEST})});
}

class DisplayTest : public ::testing::Test {
  protected:
    void SetUp() override { viewState = initialViewState; }
    void TearDown() override { viewState = initialViewState; }

    // The frame around the surface: everything display sends but the patch.
    static std::vector<GlCall> frameAround(const std::vector<GlCall> &surface, GLenum mode,
                                           const ViewState &state)
    {
        std::vector<GlCall> frame{call("glClear", {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT}),
                                  call("glPolygonMode", {GL_FRONT_AND_BACK, double(mode)}),
                                  call("glPushMatrix"),
                                  call("glRotatef", {state.rotX, 1, 0, 0}),
                                  call("glRotatef", {state.rotY, 0, 1, 0}),
                                  call("glRotatef", {state.rotZ, 0, 0, 1}),
                                  call("glPushMatrix"),
                                  call("glRotatef", {state.lightAngle, 0, 1, 0}),
                                  call("glDisable", {GL_LIGHTING}),
                                  call("glTranslatef", {2.0f, 0.5f, 0.0f}),
                                  call("glutSolidSphere", {0.02, 18, 18}),
                                  call("glEnable", {GL_LIGHTING}),
                                  call("glLightfv", {GL_LIGHT0, GL_POSITION, 0, 0, 0, 1}),
                                  call("glPopMatrix")};
        frame.insert(frame.end(), surface.begin(), surface.end());
        for (const char *name : {"glPopMatrix", "glFlush", "glutSwapBuffers", "glGetError"})
            frame.push_back(call(name));
        return frame;
    }
};

TEST_F(DisplayTest, DrawsEachOfTheFourViewsFromViewState)
{
    const auto bumped = callsOf(drawBumpedSurface);
    const auto displaced = callsOf(drawDisplacedSurface);
    struct View {
        int filled, displaced;
        GLenum mode;
        const std::vector<GlCall> &surface;
    };
    for (const View &view : {View{1, 0, GL_FILL, bumped}, View{0, 0, GL_LINE, bumped},
                             View{1, 1, GL_FILL, displaced}, View{0, 1, GL_LINE, displaced}}) {
        SCOPED_TRACE("filled " + std::to_string(view.filled) + ", displaced " +
                     std::to_string(view.displaced));
        viewState = ViewState{-12.0f, 7.0f, 361.0f, -45.0f, view.filled, view.displaced, 0};
        expectStream(callsOf(display), frameAround(view.surface, view.mode, viewState));
    }
}

TEST_F(DisplayTest, FirstFrameIsTheTiltedBumpedPatchBitForBit)
{
    const auto frame = callsOf(display);
    expectStream(frame, frameAround(callsOf(drawBumpedSurface), GL_FILL, initialViewState));
    EXPECT_EQ(floatArg(frame.at(3), 0), 30.0f);
    EXPECT_EQ(fingerprint(frame), 6493844716066829298u);
}

TEST_F(DisplayTest, DisplayWritesNoViewState)
{
    viewState = ViewState{1.5f, -2.5f, 3.5f, 720.0f, 0, 1, 1};
    const ViewState before = viewState;
    display();
    EXPECT_EQ(std::memcmp(&before, &viewState, sizeof before), 0);
}

// Runs display with standard output sent to a pipe, and returns what reached
// the pipe before anything else flushed the stream.
std::string displayOutputSeenAtOnce()
{
    std::fflush(stdout);
    int ends[2];
    if (pipe(ends) != 0)
        return "pipe failed";
    const int savedStdout = dup(STDOUT_FILENO);
    if (savedStdout < 0 || dup2(ends[1], STDOUT_FILENO) < 0) {
        if (savedStdout >= 0)
            close(savedStdout);
        close(ends[0]);
        close(ends[1]);
        return "redirection failed";
    }
    close(ends[1]);
    fcntl(ends[0], F_SETFL, O_NONBLOCK);

    display();

    char buffer[256];
    const ssize_t size = read(ends[0], buffer, sizeof buffer);
    std::fflush(stdout); // anything left in the buffer goes into the pipe, not the terminal
    dup2(savedStdout, STDOUT_FILENO);
    close(savedStdout);
    close(ends[0]);
    return size > 0 ? std::string(buffer, static_cast<std::size_t>(size)) : std::string();
}

TEST_F(DisplayTest, ReportsOneGlErrorPerFrameAndFlushesIt)
{
    resetGlRecorder();
    queueGlError(GL_INVALID_ENUM);
    queueGlError(GL_OUT_OF_MEMORY);
    EXPECT_EQ(displayOutputSeenAtOnce(), "Erreur OpenGL: 1280\n");
    EXPECT_EQ(displayOutputSeenAtOnce(), "Erreur OpenGL: 1285\n");
    EXPECT_EQ(displayOutputSeenAtOnce(), "");
}

TEST_F(DisplayTest, AsksForTheErrorOnceAfterTheSwap)
{
    const auto names = namesOf(callsOf(display));
    EXPECT_EQ(std::count(names.begin(), names.end(), "glGetError"), 1);
    EXPECT_EQ(names.back(), "glGetError");
    EXPECT_EQ(names[names.size() - 2], "glutSwapBuffers");
}

std::vector<GlCall> reshapeCalls(double aspect, int width, int height)
{
    return {call("glViewport", {0, 0, double(width), double(height)}),
            call("glMatrixMode", {GL_PROJECTION}),
            call("glLoadIdentity"),
            call("gluPerspective", {1.0, aspect, 1.0, 500.0}),
            call("glMatrixMode", {GL_MODELVIEW}),
            call("glLoadIdentity"),
            call("glTranslatef", {0.0f, 0.0f, -180.0f})};
}

TEST(ReshapeTest, SetsViewportProjectionAndCamera)
{
    expectStream(callsOf([] { reshape(450, 300); }), reshapeCalls(1.5, 450, 300));
    // The aspect is a floating-point quotient, not an integer one.
    expectStream(callsOf([] { reshape(3, 2); }), reshapeCalls(1.5, 3, 2));
    expectStream(callsOf([] { reshape(2, 3); }), reshapeCalls(2.0 / 3.0, 2, 3));
    expectStream(callsOf([] { reshape(451, 300); }), reshapeCalls(451.0 / 300.0, 451, 300));
}

TEST(ReshapeTest, ZeroHeightKeepsTheViewportAndAvoidsDividingByZero)
{
    expectStream(callsOf([] { reshape(450, 0); }), reshapeCalls(450.0, 450, 0));
    expectStream(callsOf([] { reshape(0, 0); }), reshapeCalls(0.0, 0, 0));
}

} // namespace
