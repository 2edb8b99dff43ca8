#include "surface.h"

#include <GL/glut.h>

#include <cmath>

namespace {

// Both forms send the same normals; only the displaced one lifts its vertices.
void drawStrip(float z0, float z1, bool displaced)
{
    glBegin(GL_QUAD_STRIP);
    for (int i = 0; i <= 500; ++i) {
        const double u = i / 500.0 * 10.0;
        const double theta = u * 2.0 * 2.0 * 3.14159;
        const float x = static_cast<float>(u - 5.0);
        const float y = displaced ? static_cast<float>(std::cos(theta) * 0.1f) : 0.0f;
        const float s = static_cast<float>(std::sin(theta) * 0.2f * 2.0 * 3.14159);
        const float len = std::sqrt(s * s + 1.0f);
        glNormal3f(s / len, 1.0f / len, 0.0f);
        glVertex3f(x, y, z0);
        glVertex3f(x, y, z1);
    }
    glEnd();
}

void drawSurface(void (*drawStripAt)(float, float))
{
    for (int i = 0; i < 100; ++i) {
        const auto z0 = static_cast<float>(i * 0.1 - 5.0);
        const auto z1 = static_cast<float>((i + 1) * 0.1 - 5.0);
        drawStripAt(z0, z1);
    }
}

} // namespace

void drawDisplacedStrip(float z0, float z1) { drawStrip(z0, z1, true); }

void drawBumpedStrip(float z0, float z1) { drawStrip(z0, z1, false); }

void drawDisplacedSurface() { drawSurface(drawDisplacedStrip); }

void drawBumpedSurface() { drawSurface(drawBumpedStrip); }
