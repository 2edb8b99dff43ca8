#pragma once

// A stand-in for the GL, GLU and GLUT functions the program calls. Each call
// is recorded with its arguments so tests can check the stream exactly.

#include <GL/glut.h>

#include <string>
#include <vector>

using AnyFunction = void (*)();

struct GlCall {
    std::string name;
    std::vector<double> args; // floats widen to double exactly, so no bit is lost
    std::string text;         // the window title, or glutInit's argv joined by spaces
    AnyFunction callback;     // the function handed to a glut*Func
};

std::vector<GlCall> &glCalls();

// Forgets every call and every queued error.
void resetGlRecorder();

// glGetError returns queued codes first-in first-out, then GL_NO_ERROR.
void queueGlError(GLenum code);
