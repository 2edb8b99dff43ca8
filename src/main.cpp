#include "controls.h"
#include "render.h"

#include <GL/glut.h>

int main(int argc, char **argv)
{
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(450, 300);
    glutInitWindowPosition(50, 50);
    glutCreateWindow("Bump mapping");
    initLighting();
    glutKeyboardFunc(keyboard);
    glutReshapeFunc(reshape);
    glutDisplayFunc(display);
    glutSpecialFunc(specialKey);
    glutMainLoop();
    return 0;
}
