// Stand-ins for every GL, GLU and GLUT function the program's library calls, doing nothing.
// They live in their own translation unit and nothing is optimised across units, so the
// compiler must still work out every argument the surface code passes.
#include <GL/glut.h>

void glBegin(GLenum /*mode*/) {}
void glEnd() {}
void glNormal3f(GLfloat /*x*/, GLfloat /*y*/, GLfloat /*z*/) {}
void glVertex3f(GLfloat /*x*/, GLfloat /*y*/, GLfloat /*z*/) {}
void glClear(GLbitfield /*mask*/) {}
void glPolygonMode(GLenum /*face*/, GLenum /*mode*/) {}
void glPushMatrix() {}
void glPopMatrix() {}
void glRotatef(GLfloat /*angle*/, GLfloat /*x*/, GLfloat /*y*/, GLfloat /*z*/) {}
void glTranslatef(GLfloat /*x*/, GLfloat /*y*/, GLfloat /*z*/) {}
void glEnable(GLenum /*cap*/) {}
void glDisable(GLenum /*cap*/) {}
void glLightfv(GLenum /*light*/, GLenum /*name*/, const GLfloat * /*values*/) {}
void glMaterialfv(GLenum /*face*/, GLenum /*name*/, const GLfloat * /*values*/) {}
void glFlush() {}
GLenum glGetError() { return GL_NO_ERROR; }
void glDepthFunc(GLenum /*func*/) {}
void glLoadIdentity() {}
void glMatrixMode(GLenum /*mode*/) {}
void glViewport(GLint /*x*/, GLint /*y*/, GLsizei /*width*/, GLsizei /*height*/) {}
void gluPerspective(GLdouble /*fovy*/, GLdouble /*aspect*/, GLdouble /*zNear*/, GLdouble /*zFar*/)
{
}
void glutSolidSphere(double /*radius*/, GLint /*slices*/, GLint /*stacks*/) {}
void glutSwapBuffers() {}
void glutIdleFunc(void (* /*callback*/)()) {}
void glutPostRedisplay() {}
