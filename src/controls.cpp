#include "controls.h"

#include "view_state.h"

#include <GL/glut.h>

#include <cstdlib>

void keyboard(unsigned char key, int /*x*/, int /*y*/)
{
    switch (key) {
    case 13: // Return: the first frame of the orbit comes from idle itself
        viewState.animating = (viewState.animating + 1) % 2;
        glutIdleFunc(viewState.animating ? idle : nullptr);
        return;
    case 27: // Escape
        std::exit(0);
    case ' ':
        viewState.displaced = (viewState.displaced + 1) % 2;
        break;
    case '+':
        viewState.lightAngle += 1.0f;
        break;
    case '-':
        viewState.lightAngle -= 1.0f;
        break;
    case 'a':
        viewState.filled = (viewState.filled + 1) % 2;
        break;
    default:
        return;
    }
    glutPostRedisplay();
}

void specialKey(int key, int /*x*/, int /*y*/)
{
    switch (key) {
    case GLUT_KEY_LEFT:
        viewState.rotY -= 1.0f;
        break;
    case GLUT_KEY_UP:
        viewState.rotX -= 1.0f;
        break;
    case GLUT_KEY_RIGHT:
        viewState.rotY += 1.0f;
        break;
    case GLUT_KEY_DOWN:
        viewState.rotX += 1.0f;
        break;
    case GLUT_KEY_PAGE_UP:
        viewState.rotZ += 1.0f;
        break;
    case GLUT_KEY_PAGE_DOWN:
        viewState.rotZ -= 1.0f;
        break;
    default:
        return;
    }
    glutPostRedisplay();
}

void idle()
{
    viewState.lightAngle += 1.0f;
    glutPostRedisplay();
}
