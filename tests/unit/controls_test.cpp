#include "controls.h"
#include "gl_recorder.h"
#include "stream.h"
#include "view_state.h"

#include <GL/glut.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace {

class ControlsTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        viewState = initialViewState;
        resetGlRecorder();
    }
    void TearDown() override { viewState = initialViewState; }
};

bool sameState(const ViewState &a, const ViewState &b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

const std::vector<std::string> redisplay{"glutPostRedisplay"};
const std::vector<std::string> nothing{};

TEST_F(ControlsTest, CharacterKeysChangeTheirFieldAndAskForAFrame)
{
    struct Binding {
        unsigned char key;
        ViewState after;
    };
    const ViewState start{10.0f, 20.0f, 30.0f, 40.0f, 1, 0, 0};
    for (const Binding &binding : {Binding{' ', {10.0f, 20.0f, 30.0f, 40.0f, 1, 1, 0}},
                                   Binding{'+', {10.0f, 20.0f, 30.0f, 41.0f, 1, 0, 0}},
                                   Binding{'-', {10.0f, 20.0f, 30.0f, 39.0f, 1, 0, 0}},
                                   Binding{'a', {10.0f, 20.0f, 30.0f, 40.0f, 0, 0, 0}}}) {
        SCOPED_TRACE(std::string("key ") + char(binding.key));
        viewState = start;
        EXPECT_EQ(namesOf(callsOf([&] { keyboard(binding.key, 7, 9); })), redisplay);
        EXPECT_TRUE(sameState(viewState, binding.after));
    }
}

TEST_F(ControlsTest, SpaceAndAAlternateAndComeBack)
{
    keyboard(' ', 0, 0);
    EXPECT_EQ(viewState.displaced, 1);
    keyboard(' ', 0, 0);
    EXPECT_EQ(viewState.displaced, 0);
    keyboard('a', 0, 0);
    EXPECT_EQ(viewState.filled, 0);
    keyboard('a', 0, 0);
    EXPECT_EQ(viewState.filled, 1);
    EXPECT_TRUE(sameState(viewState, initialViewState));
}

TEST_F(ControlsTest, SpecialKeysTurnTheSceneAndAskForAFrame)
{
    struct Binding {
        int key;
        ViewState after;
    };
    const ViewState start{10.0f, 20.0f, 30.0f, 40.0f, 1, 0, 0};
    for (const Binding &binding :
         {Binding{GLUT_KEY_LEFT, {10.0f, 19.0f, 30.0f, 40.0f, 1, 0, 0}},
          Binding{GLUT_KEY_RIGHT, {10.0f, 21.0f, 30.0f, 40.0f, 1, 0, 0}},
          Binding{GLUT_KEY_UP, {9.0f, 20.0f, 30.0f, 40.0f, 1, 0, 0}},
          Binding{GLUT_KEY_DOWN, {11.0f, 20.0f, 30.0f, 40.0f, 1, 0, 0}},
          Binding{GLUT_KEY_PAGE_UP, {10.0f, 20.0f, 31.0f, 40.0f, 1, 0, 0}},
          Binding{GLUT_KEY_PAGE_DOWN, {10.0f, 20.0f, 29.0f, 40.0f, 1, 0, 0}}}) {
        SCOPED_TRACE("special key " + std::to_string(binding.key));
        viewState = start;
        EXPECT_EQ(namesOf(callsOf([&] { specialKey(binding.key, 3, 4); })), redisplay);
        EXPECT_TRUE(sameState(viewState, binding.after));
    }
}

TEST_F(ControlsTest, EveryOtherKeyDoesNothing)
{
    const ViewState start{10.0f, 20.0f, 30.0f, 40.0f, 1, 1, 1};
    for (int key = 0; key <= 255; ++key) {
        if (key == 13 || key == 27 || key == ' ' || key == '+' || key == '-' || key == 'a')
            continue;
        viewState = start;
        EXPECT_EQ(namesOf(callsOf([&] { keyboard(static_cast<unsigned char>(key), 0, 0); })),
                  nothing)
            << "key " << key;
        EXPECT_TRUE(sameState(viewState, start)) << "key " << key;
    }
    // GLUT's special codes run from 1 to 0x6D; look well past both ends.
    for (int key = -1; key <= 0x200; ++key) {
        if (key >= GLUT_KEY_LEFT && key <= GLUT_KEY_PAGE_DOWN)
            continue;
        viewState = start;
        EXPECT_EQ(namesOf(callsOf([&] { specialKey(key, 0, 0); })), nothing) << "special " << key;
        EXPECT_TRUE(sameState(viewState, start)) << "special " << key;
    }
}

TEST_F(ControlsTest, ReturnStartsAndStopsTheOrbitWithoutAFrame)
{
    const auto start = callsOf([] { keyboard(13, 0, 0); });
    ASSERT_EQ(namesOf(start), std::vector<std::string>{"glutIdleFunc"});
    EXPECT_EQ(start[0].callback, idle);
    EXPECT_EQ(viewState.animating, 1);

    const auto stop = callsOf([] { keyboard(13, 0, 0); });
    ASSERT_EQ(namesOf(stop), std::vector<std::string>{"glutIdleFunc"});
    EXPECT_EQ(stop[0].callback, nullptr);
    EXPECT_EQ(viewState.animating, 0);
    EXPECT_TRUE(sameState(viewState, initialViewState));
}

TEST_F(ControlsTest, IdleStepsTheLightAndAsksForAFrame)
{
    viewState.lightAngle = 89.0f;
    EXPECT_EQ(namesOf(callsOf(idle)), redisplay);
    EXPECT_EQ(viewState.lightAngle, 90.0f);
}

TEST_F(ControlsTest, AnglesAreNeitherWrappedNorClamped)
{
    for (int i = 0; i < 360; ++i)
        keyboard('+', 0, 0);
    EXPECT_EQ(viewState.lightAngle, 360.0f);
    for (int i = 0; i < 400; ++i)
        idle();
    EXPECT_EQ(viewState.lightAngle, 760.0f);
    for (int i = 0; i < 800; ++i)
        keyboard('-', 0, 0);
    EXPECT_EQ(viewState.lightAngle, -40.0f);
    for (int i = 0; i < 200; ++i)
        specialKey(GLUT_KEY_UP, 0, 0);
    EXPECT_EQ(viewState.rotX, -170.0f);
}

TEST_F(ControlsTest, OtherKeysWorkWhileTheLightCircles)
{
    keyboard(13, 0, 0);
    idle();
    keyboard('+', 0, 0);
    idle();
    EXPECT_EQ(viewState.lightAngle, 3.0f);
    EXPECT_EQ(viewState.animating, 1);
}

using ControlsDeathTest = ControlsTest;

TEST_F(ControlsDeathTest, EscapeEndsTheProcessWithStatusZero)
{
    EXPECT_EXIT(keyboard(27, 0, 0), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            keyboard(13, 0, 0);
            keyboard(' ', 0, 0);
            keyboard(27, 0, 0);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
