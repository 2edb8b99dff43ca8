#pragma once

// Everything the callbacks share. GLUT callbacks take no context, so it is
// one process-wide record.
struct ViewState {
    float rotX;       // scene rotation about X, degrees
    float rotY;       // scene rotation about Y, degrees
    float rotZ;       // scene rotation about Z, degrees
    float lightAngle; // light's place on its circle about Y, degrees
    int filled;       // 1: filled polygons, 0: wireframe
    int displaced;    // 1: displaced surface, 0: bumped (flat) surface
    int animating;    // 1: the light circles under the idle callback
};

// Bumped surface, filled, tilted 30 degrees, light still at angle 0.
constexpr ViewState initialViewState{30.0f, 0.0f, 0.0f, 0.0f, 1, 0, 0};

extern ViewState viewState;
