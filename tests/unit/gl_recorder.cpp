#include "gl_recorder.h"

#include <deque>
#include <initializer_list>

namespace {

std::deque<GLenum> queuedErrors;

void record(const char *name, std::initializer_list<double> args)
{
    glCalls().push_back(GlCall{name, args, {}, nullptr});
}

void recordCallback(const char *name, AnyFunction callback)
{
    glCalls().push_back(GlCall{name, {}, {}, callback});
}

void recordVector(const char *name, GLenum a, GLenum b, const GLfloat *values, int count)
{
    GlCall call{name, {double(a), double(b)}, {}, nullptr};
    call.args.insert(call.args.end(), values, values + count);
    glCalls().push_back(call);
}

// How many floats glMaterialfv and glLightfv read for the names the program uses.
int valueCount(GLenum pname) { return pname == GL_SHININESS ? 1 : 4; }

} // namespace

std::vector<GlCall> &glCalls()
{
    static std::vector<GlCall> calls;
    return calls;
}

void resetGlRecorder()
{
    glCalls().clear();
    queuedErrors.clear();
}

void queueGlError(GLenum code) { queuedErrors.push_back(code); }

// GL
void glBegin(GLenum mode) { record("glBegin", {double(mode)}); }
void glEnd() { record("glEnd", {}); }
void glNormal3f(GLfloat x, GLfloat y, GLfloat z) { record("glNormal3f", {x, y, z}); }
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) { record("glVertex3f", {x, y, z}); }
void glMaterialfv(GLenum face, GLenum pname, const GLfloat *params)
{
    recordVector("glMaterialfv", face, pname, params, valueCount(pname));
}
void glLightfv(GLenum light, GLenum pname, const GLfloat *params)
{
    recordVector("glLightfv", light, pname, params, valueCount(pname));
}
void glEnable(GLenum cap) { record("glEnable", {double(cap)}); }
void glDisable(GLenum cap) { record("glDisable", {double(cap)}); }
void glDepthFunc(GLenum func) { record("glDepthFunc", {double(func)}); }
void glClear(GLbitfield mask) { record("glClear", {double(mask)}); }
void glPolygonMode(GLenum face, GLenum mode)
{
    record("glPolygonMode", {double(face), double(mode)});
}
void glPushMatrix() { record("glPushMatrix", {}); }
void glPopMatrix() { record("glPopMatrix", {}); }
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z)
{
    record("glRotatef", {angle, x, y, z});
}
void glTranslatef(GLfloat x, GLfloat y, GLfloat z) { record("glTranslatef", {x, y, z}); }
void glFlush() { record("glFlush", {}); }
GLenum glGetError()
{
    record("glGetError", {});
    if (queuedErrors.empty())
        return GL_NO_ERROR;
    const GLenum code = queuedErrors.front();
    queuedErrors.pop_front();
    return code;
}
void glViewport(GLint x, GLint y, GLsizei width, GLsizei height)
{
    record("glViewport", {double(x), double(y), double(width), double(height)});
}
void glMatrixMode(GLenum mode) { record("glMatrixMode", {double(mode)}); }
void glLoadIdentity() { record("glLoadIdentity", {}); }

// GLU
void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar)
{
    record("gluPerspective", {fovy, aspect, zNear, zFar});
}

// GLUT
void glutInit(int *argc, char **argv)
{
    GlCall call{"glutInit", {double(*argc)}, {}, nullptr};
    for (int i = 0; i < *argc; ++i)
        call.text += (i ? " " : "") + std::string(argv[i]);
    glCalls().push_back(call);
}
void glutInitDisplayMode(unsigned int mode) { record("glutInitDisplayMode", {double(mode)}); }
void glutInitWindowSize(int width, int height)
{
    record("glutInitWindowSize", {double(width), double(height)});
}
void glutInitWindowPosition(int x, int y)
{
    record("glutInitWindowPosition", {double(x), double(y)});
}
int glutCreateWindow(const char *title)
{
    glCalls().push_back(GlCall{"glutCreateWindow", {}, title, nullptr});
    return 1;
}
void glutKeyboardFunc(void (*callback)(unsigned char, int, int))
{
    recordCallback("glutKeyboardFunc", reinterpret_cast<AnyFunction>(callback));
}
void glutSpecialFunc(void (*callback)(int, int, int))
{
    recordCallback("glutSpecialFunc", reinterpret_cast<AnyFunction>(callback));
}
void glutReshapeFunc(void (*callback)(int, int))
{
    recordCallback("glutReshapeFunc", reinterpret_cast<AnyFunction>(callback));
}
void glutDisplayFunc(void (*callback)()) { recordCallback("glutDisplayFunc", callback); }
void glutIdleFunc(void (*callback)()) { recordCallback("glutIdleFunc", callback); }
void glutMainLoop() { record("glutMainLoop", {}); }
void glutPostRedisplay() { record("glutPostRedisplay", {}); }
void glutSwapBuffers() { record("glutSwapBuffers", {}); }
void glutSolidSphere(double radius, GLint slices, GLint stacks)
{
    record("glutSolidSphere", {radius, double(slices), double(stacks)});
}
