#include "floor.h"

#include <GL/glut.h>

#include <cmath>
#include <cstdio>

FloorSurface makeFloorSurface(bool displaced)
{
    // The program's own column arithmetic, double and float steps alike; the floor check
    // holds it to the program's calls bit for bit.
    FloorSurface surface{};
    for (int i = 0; i <= 500; ++i) {
        const double u = i / 500.0 * 10.0;
        const double theta = u * 2.0 * 2.0 * 3.14159;
        const float s = static_cast<float>(std::sin(theta) * 0.2f * 2.0 * 3.14159);
        const float len = std::sqrt(s * s + 1.0f);
        FloorSurface::Column &column = surface.columns[i];
        column.nx = s / len;
        column.ny = 1.0f / len;
        column.x = static_cast<float>(u - 5.0);
        column.y = displaced ? static_cast<float>(std::cos(theta) * 0.1f) : 0.0f;
    }
    for (int i = 0; i < 100; ++i) {
        surface.strips[i].z0 = static_cast<float>(i * 0.1 - 5.0);
        surface.strips[i].z1 = static_cast<float>((i + 1) * 0.1 - 5.0);
    }
    return surface;
}

void drawFloorSurface(const FloorSurface &surface)
{
    for (const FloorSurface::Strip &strip : surface.strips) {
        glBegin(GL_QUAD_STRIP);
        for (const FloorSurface::Column &column : surface.columns) {
            glNormal3f(column.nx, column.ny, 0.0f);
            glVertex3f(column.x, column.y, strip.z0);
            glVertex3f(column.x, column.y, strip.z1);
        }
        glEnd();
    }
}

void drawFloorFrame(const FloorSurface &surface, const ViewState &view)
{
    static const GLfloat lightPosition[] = {0.0f, 0.0f, 0.0f, 1.0f};

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glPolygonMode(GL_FRONT_AND_BACK, view.filled ? GL_FILL : GL_LINE);

    glPushMatrix();
    glRotatef(view.rotX, 1.0f, 0.0f, 0.0f);
    glRotatef(view.rotY, 0.0f, 1.0f, 0.0f);
    glRotatef(view.rotZ, 0.0f, 0.0f, 1.0f);

    glPushMatrix();
    glRotatef(view.lightAngle, 0.0f, 1.0f, 0.0f);
    glDisable(GL_LIGHTING);
    glTranslatef(2.0f, 0.5f, 0.0f);
    glutSolidSphere(0.02, 18, 18);
    glEnable(GL_LIGHTING);
    glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);
    glPopMatrix();

    drawFloorSurface(surface);
    glPopMatrix();

    glFlush();
    glutSwapBuffers();

    const GLenum error = glGetError();
    if (error != GL_NO_ERROR)
        std::fprintf(stderr, "floor frame: OpenGL error %d\n", static_cast<int>(error));
}

std::uint64_t floorDigest(const FloorSurface &surface)
{
    StreamDigest digest;
    for (const FloorSurface::Strip &strip : surface.strips) {
        digest.begin(GL_QUAD_STRIP);
        for (const FloorSurface::Column &column : surface.columns) {
            digest.normal(column.nx, column.ny, 0.0f);
            digest.vertex(column.x, column.y, strip.z0);
            digest.vertex(column.x, column.y, strip.z1);
        }
        digest.end();
    }
    return digest.value();
}
