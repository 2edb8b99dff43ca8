// Stand-ins for every GL, GLU and GLUT function the program's library calls, doing nothing.
// They live in their own translation unit and nothing is optimised across units, so the
// compiler must still work out every argument the surface code passes.
#include <GL/glut.h>

void glBegin(GLenum) {}
void glEnd() {}
void glNormal3f(GLfloat, GLfloat, GLfloat) {}
void glVertex3f(GLfloat, GLfloat, GLfloat) {}
void glClear(GLbitfield) {}
void glPolygonMode(GLenum, GLenum) {}
void glPushMatrix() {}
void glPopMatrix() {}
void glRotatef(GLfloat, GLfloat, GLfloat, GLfloat) {}
void glTranslatef(GLfloat, GLfloat, GLfloat) {}
void glEnable(GLenum) {}
void glDisable(GLenum) {}
void glLightfv(GLenum, GLenum, const GLfloat *) {}
void glMaterialfv(GLenum, GLenum, const GLfloat *) {}
void glFlush() {}
GLenum glGetError() { return GL_NO_ERROR; }
void glDepthFunc(GLenum) {}
void glLoadIdentity() {}
void glMatrixMode(GLenum) {}
void glViewport(GLint, GLint, GLsizei, GLsizei) {}
void gluPerspective(GLdouble, GLdouble, GLdouble, GLdouble) {}
void glutSolidSphere(double, GLint, GLint) {}
void glutSwapBuffers() {}
void glutIdleFunc(void (*)()) {}
void glutPostRedisplay() {}
