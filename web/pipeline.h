#pragma once

// The WebGL side of the fixed-function layer: one shader program that does
// OpenGL's per-vertex lighting for one light, and the draws. fixed_function.cpp
// keeps the GL state and hands each finished glBegin/glEnd batch here.

// One vertex as the batch stores it: object position, then the current normal.
struct PipelineVertex {
    float position[3];
    float normal[3];
};

enum class PipelinePrimitive : unsigned char { QuadStrip, TriangleStrip };
enum class PipelineFill : unsigned char { Fill, Line, Point };

// Everything the shader needs for one draw, already in eye coordinates.
struct PipelineState {
    float modelView[16];           // column-major
    float modelViewProjection[16]; // projection x model-view, column-major
    float normalMatrix[9];         // inverse transpose of the model-view's upper 3 x 3
    int lighting;                  // 0 or 1; ints, so that the record has no padding to compare
    float color[4];                // current colour, used when lighting is off
    float sceneColor[4];           // material emission + material ambient x light-model ambient
    float ambientProduct[4];       // material ambient x light ambient
    float diffuseProduct[4];       // material diffuse x light diffuse
    float specularProduct[4];      // material specular x light specular
    float shininess;
    float lightPosition[4]; // eye coordinates
    float attenuation[3];   // constant, linear, quadratic
    int lightEnabled;
};

// Draws one batch in one call: a triangle strip (a quad strip has the same
// triangles), or its polygons' edges as indexed lines, or its vertices.
void pipelineDraw(const PipelineVertex *vertices, int count, PipelinePrimitive primitive,
                  PipelineFill fill, const PipelineState &state);
