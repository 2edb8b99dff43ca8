#include "gl_capture.h"

#include <GL/glut.h>

#include <cstring>

namespace {

std::uint64_t bitsOf(float f)
{
    std::uint32_t w;
    std::memcpy(&w, &f, sizeof w);
    return w;
}

std::uint64_t bitsOf(double d)
{
    std::uint64_t w;
    std::memcpy(&w, &d, sizeof w);
    return w;
}

std::uint64_t bitsOf(int i) { return static_cast<std::uint32_t>(i); }

void record(int function, std::uint64_t a = 0, std::uint64_t b = 0, std::uint64_t c = 0,
            std::uint64_t d = 0)
{
    capturedCalls().push_back({function, {a, b, c, d}});
}

// Light and material vectors are kept by value: the two sides hold them in different arrays.
void recordVector(int function, GLenum target, GLenum name, const GLfloat *values)
{
    const bool single = name == GL_SHININESS || name == GL_SPOT_EXPONENT ||
                        name == GL_SPOT_CUTOFF || name == GL_CONSTANT_ATTENUATION ||
                        name == GL_LINEAR_ATTENUATION || name == GL_QUADRATIC_ATTENUATION;
    const std::uint64_t x = bitsOf(values[0]);
    const std::uint64_t y = single ? 0 : bitsOf(values[1]);
    const std::uint64_t z = single ? 0 : bitsOf(values[2]);
    const std::uint64_t w = name == GL_SPOT_DIRECTION || single ? 0 : bitsOf(values[3]);
    record(function, (std::uint64_t{target} << 32) | name, x, y, z | (w << 32));
}

} // namespace

std::vector<CapturedCall> &capturedCalls()
{
    static std::vector<CapturedCall> calls;
    return calls;
}

float capturedFloat(std::uint64_t arg)
{
    const auto w = static_cast<std::uint32_t>(arg);
    float f;
    std::memcpy(&f, &w, sizeof f);
    return f;
}

const char *capturedFunctionName(int function)
{
    static const char *const names[] = {
        "glBegin",        "glEnd",           "glNormal3f",      "glVertex3f",   "glClear",
        "glPolygonMode",  "glPushMatrix",    "glPopMatrix",     "glRotatef",    "glTranslatef",
        "glEnable",       "glDisable",       "glLightfv",       "glMaterialfv", "glFlush",
        "glGetError",     "glDepthFunc",     "glLoadIdentity",  "glMatrixMode", "glViewport",
        "gluPerspective", "glutSolidSphere", "glutSwapBuffers", "glutIdleFunc", "glutPostRedisplay",
    };
    const int count = static_cast<int>(sizeof names / sizeof names[0]);
    return function >= 0 && function < count ? names[function] : "?";
}

void glBegin(GLenum mode) { record(kBegin, mode); }
void glEnd() { record(kEnd); }
void glNormal3f(GLfloat x, GLfloat y, GLfloat z)
{
    record(kNormal3f, bitsOf(x), bitsOf(y), bitsOf(z));
}
void glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    record(kVertex3f, bitsOf(x), bitsOf(y), bitsOf(z));
}
void glClear(GLbitfield mask) { record(kClear, mask); }
void glPolygonMode(GLenum face, GLenum mode) { record(kPolygonMode, face, mode); }
void glPushMatrix() { record(kPushMatrix); }
void glPopMatrix() { record(kPopMatrix); }
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z)
{
    record(kRotatef, bitsOf(angle), bitsOf(x), bitsOf(y), bitsOf(z));
}
void glTranslatef(GLfloat x, GLfloat y, GLfloat z)
{
    record(kTranslatef, bitsOf(x), bitsOf(y), bitsOf(z));
}
void glEnable(GLenum cap) { record(kEnable, cap); }
void glDisable(GLenum cap) { record(kDisable, cap); }
void glLightfv(GLenum light, GLenum name, const GLfloat *values)
{
    recordVector(kLightfv, light, name, values);
}
void glMaterialfv(GLenum face, GLenum name, const GLfloat *values)
{
    recordVector(kMaterialfv, face, name, values);
}
void glFlush() { record(kFlush); }
GLenum glGetError()
{
    record(kGetError);
    return GL_NO_ERROR;
}
void glDepthFunc(GLenum func) { record(kDepthFunc, func); }
void glLoadIdentity() { record(kLoadIdentity); }
void glMatrixMode(GLenum mode) { record(kMatrixMode, mode); }
void glViewport(GLint x, GLint y, GLsizei width, GLsizei height)
{
    record(kViewport, bitsOf(x), bitsOf(y), bitsOf(width), bitsOf(height));
}
void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar)
{
    record(kPerspective, bitsOf(fovy), bitsOf(aspect), bitsOf(zNear), bitsOf(zFar));
}
void glutSolidSphere(double radius, GLint slices, GLint stacks)
{
    record(kSolidSphere, bitsOf(radius), bitsOf(slices), bitsOf(stacks));
}
void glutSwapBuffers() { record(kSwapBuffers); }
void glutIdleFunc(void (*callback)())
{
    record(kIdleFunc, reinterpret_cast<std::uintptr_t>(callback));
}
void glutPostRedisplay() { record(kPostRedisplay); }
