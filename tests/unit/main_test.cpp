#include "controls.h"
#include "gl_recorder.h"
#include "render.h"
#include "stream.h"
#include "view_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

// src/main.cpp, built for the tests under this name.
int bumpmapMain(int argc, char **argv);

namespace {

TEST(MainTest, StartsWithTheTiltedFilledBumpedPatchAndTheLightStill)
{
    EXPECT_EQ(viewState.rotX, 30.0f);
    EXPECT_EQ(viewState.rotY, 0.0f);
    EXPECT_EQ(viewState.rotZ, 0.0f);
    EXPECT_EQ(viewState.lightAngle, 0.0f);
    EXPECT_EQ(viewState.filled, 1);
    EXPECT_EQ(viewState.displaced, 0);
    EXPECT_EQ(viewState.animating, 0);
}

TEST(MainTest, SetsUpGlutTheWindowAndTheCallbacksInOrder)
{
    char program[] = "bumpmap";
    char option[] = "-geometry";
    char value[] = "640x480";
    char *argv[] = {program, option, value, nullptr};
    int status = -1;
    const auto calls = callsOf([&] { status = bumpmapMain(3, argv); });
    EXPECT_EQ(status, 0);

    const auto lighting = callsOf(initLighting);
    std::vector<std::string> expected{"glutInit", "glutInitDisplayMode", "glutInitWindowSize",
                                      "glutInitWindowPosition", "glutCreateWindow"};
    for (const GlCall &call : lighting)
        expected.push_back(call.name);
    for (const char *name : {"glutKeyboardFunc", "glutReshapeFunc", "glutDisplayFunc",
                             "glutSpecialFunc", "glutMainLoop"})
        expected.push_back(name);
    ASSERT_EQ(namesOf(calls), expected);

    // The whole command line goes to GLUT.
    EXPECT_EQ(calls[0].args, std::vector<double>{3});
    EXPECT_EQ(calls[0].text, "bumpmap -geometry 640x480");
    EXPECT_EQ(calls[1].args, std::vector<double>{18});
    EXPECT_EQ(calls[2].args, (std::vector<double>{450, 300}));
    EXPECT_EQ(calls[3].args, (std::vector<double>{50, 50}));
    EXPECT_EQ(calls[4].text, "Bump mapping");
    EXPECT_TRUE(sameStream({calls.begin() + 5, calls.begin() + 5 + lighting.size()}, lighting));

    const std::size_t callbacks = 5 + lighting.size();
    EXPECT_EQ(calls[callbacks].callback, reinterpret_cast<AnyFunction>(keyboard));
    EXPECT_EQ(calls[callbacks + 1].callback, reinterpret_cast<AnyFunction>(reshape));
    EXPECT_EQ(calls[callbacks + 2].callback, display);
    EXPECT_EQ(calls[callbacks + 3].callback, reinterpret_cast<AnyFunction>(specialKey));

    // The light stands still until Return is pressed.
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                            [](const GlCall &call) { return call.name == "glutIdleFunc"; }),
              0);
}

} // namespace
