#include "render.h"

#include "surface.h"
#include "view_state.h"

#include <GL/glut.h>

#include <cstdio>

void initLighting()
{
    static const GLfloat specular[] = {1.0f, 1.0f, 1.0f, 1.0f};
    static const GLfloat shininess[] = {50.0f};
    static const GLfloat ambient[] = {0.0f, 0.0f, 0.0f, 1.0f};
    static const GLfloat lightDiffuse[] = {1.0f, 1.0f, 1.0f, 1.0f};

    glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
    glMaterialfv(GL_FRONT, GL_SHININESS, shininess);
    glMaterialfv(GL_FRONT, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, lightDiffuse);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glDepthFunc(GL_LESS);
    glEnable(GL_DEPTH_TEST);
}

void display()
{
    // The light sits at the marker's centre, so it is placed under the same
    // matrix as the marker.
    static const GLfloat lightPosition[] = {0.0f, 0.0f, 0.0f, 1.0f};

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glPolygonMode(GL_FRONT_AND_BACK, viewState.filled ? GL_FILL : GL_LINE);

    glPushMatrix();
    glRotatef(viewState.rotX, 1.0f, 0.0f, 0.0f);
    glRotatef(viewState.rotY, 0.0f, 1.0f, 0.0f);
    glRotatef(viewState.rotZ, 0.0f, 0.0f, 1.0f);

    glPushMatrix();
    glRotatef(viewState.lightAngle, 0.0f, 1.0f, 0.0f);
    glDisable(GL_LIGHTING);
    glTranslatef(2.0f, 0.5f, 0.0f);
    glutSolidSphere(0.02, 18, 18);
    glEnable(GL_LIGHTING);
    glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);
    glPopMatrix();

    if (viewState.displaced)
        drawDisplacedSurface();
    else
        drawBumpedSurface();
    glPopMatrix();

    glFlush();
    glutSwapBuffers();

    const GLenum error = glGetError();
    if (error != GL_NO_ERROR) {
        std::printf("Erreur OpenGL: %d\n", static_cast<int>(error));
        // Whoever reads a pipe or a log should see the error now, not at exit.
        std::fflush(stdout);
    }
}

void reshape(int width, int height)
{
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // A window can be 0 pixels high; the aspect then uses 1 rather than
    // dividing by zero.
    const int aspectHeight = height > 0 ? height : 1;
    gluPerspective(1.0, static_cast<double>(width) / static_cast<double>(aspectHeight), 1.0, 500.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -180.0f);
}
