#pragma once

#include <array>
#include <cstdint>
#include <vector>

// What the capturing stand-in for GL, GLU and GLUT keeps of each call: which function, and
// the bits of its arguments (pointed-to values included), so two streams compare exactly.
struct CapturedCall {
    int function;
    std::array<std::uint64_t, 4> args;

    bool operator==(const CapturedCall &other) const
    {
        return function == other.function && args == other.args;
    }
};

enum CapturedFunction {
    kBegin,
    kEnd,
    kNormal3f,
    kVertex3f,
    kClear,
    kPolygonMode,
    kPushMatrix,
    kPopMatrix,
    kRotatef,
    kTranslatef,
    kEnable,
    kDisable,
    kLightfv,
    kMaterialfv,
    kFlush,
    kGetError,
    kDepthFunc,
    kLoadIdentity,
    kMatrixMode,
    kViewport,
    kPerspective,
    kSolidSphere,
    kSwapBuffers,
    kIdleFunc,
    kPostRedisplay,
};

const char *capturedFunctionName(int function);

std::vector<CapturedCall> &capturedCalls();

float capturedFloat(std::uint64_t arg);
