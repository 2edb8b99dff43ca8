// The part of fixed-function OpenGL, GLU and GLUT that the program calls and
// WebGL lacks: the matrix stacks, lighting and material state, immediate mode
// and the polygon mode, and glutSolidSphere. Each glBegin/glEnd batch becomes
// one WebGL draw (pipeline.cpp). What this layer does not do, it reports as a
// GL error through glGetError rather than drawing something else.
//
// The matrix arithmetic follows what Mesa does with the same calls: single
// precision, the rotation's sine and cosine taken in double, GLU's perspective
// built in double and multiplied in single.

#include "pipeline.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <GL/glut.h>

#include <cmath>
#include <cstring>

// WebGL's own entry points for the calls that this layer also answers.
extern "C" void emscripten_glEnable(GLenum cap);
extern "C" void emscripten_glDisable(GLenum cap);
extern "C" GLenum emscripten_glGetError(void);

namespace {

struct Matrix {
    float m[16]; // column-major, as GL stores it
};

constexpr Matrix identity{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
constexpr int stackDepth = 32;

struct MatrixStack {
    Matrix entries[stackDepth];
    int top;
};

MatrixStack modelView{{identity}, 0};
MatrixStack projection{{identity}, 0};
MatrixStack *current = &modelView;

// Lighting state with OpenGL's initial values.
struct Material {
    float ambient[4], diffuse[4], specular[4], emission[4], shininess;
};
Material front{{0.2f, 0.2f, 0.2f, 1}, {0.8f, 0.8f, 0.8f, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, 0};
Material back = front;

struct Light {
    float ambient[4], diffuse[4], specular[4], position[4], attenuation[3];
};
Light light0{{0, 0, 0, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, {0, 0, 1, 0}, {1, 0, 0}};
const float lightModelAmbient[4] = {0.2f, 0.2f, 0.2f, 1};
const float currentColor[4] = {1, 1, 1, 1};

bool lighting = false;
bool light0Enabled = false;
GLenum polygonMode = GL_FILL;
GLenum pendingError = GL_NO_ERROR;

// Immediate mode.
constexpr int batchCapacity = 65536;
PipelineVertex batch[batchCapacity];
int batchCount = 0;
bool inBatch = false;
PipelinePrimitive batchPrimitive = PipelinePrimitive::QuadStrip;
float currentNormal[3] = {0, 0, 1};

// GL keeps the first error until it is fetched.
void recordError(GLenum error)
{
    if (pendingError == GL_NO_ERROR)
        pendingError = error;
}

// Most GL calls are not allowed between glBegin and glEnd.
bool outsideBatch()
{
    if (inBatch)
        recordError(GL_INVALID_OPERATION);
    return !inBatch;
}

Matrix &top() { return current->entries[current->top]; }

Matrix multiply(const Matrix &a, const Matrix &b)
{
    Matrix p;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            p.m[j * 4 + i] = a.m[0 * 4 + i] * b.m[j * 4 + 0] + a.m[1 * 4 + i] * b.m[j * 4 + 1] +
                             a.m[2 * 4 + i] * b.m[j * 4 + 2] + a.m[3 * 4 + i] * b.m[j * 4 + 3];
        }
    }
    return p;
}

void multiplyTop(const Matrix &by) { top() = multiply(top(), by); }

void transform(const Matrix &a, const float in[4], float out[4])
{
    for (int i = 0; i < 4; ++i)
        out[i] = a.m[i] * in[0] + a.m[4 + i] * in[1] + a.m[8 + i] * in[2] + a.m[12 + i] * in[3];
}

// The inverse transpose of the upper 3 x 3, which carries normals into eye
// coordinates. A singular matrix leaves the normals as they are.
void normalMatrix(const Matrix &a, float out[9])
{
    const float *m = a.m;
    const float c00 = m[5] * m[10] - m[9] * m[6];
    const float c01 = m[8] * m[6] - m[4] * m[10];
    const float c02 = m[4] * m[9] - m[8] * m[5];
    const float c10 = m[9] * m[2] - m[1] * m[10];
    const float c11 = m[0] * m[10] - m[8] * m[2];
    const float c12 = m[8] * m[1] - m[0] * m[9];
    const float c20 = m[1] * m[6] - m[5] * m[2];
    const float c21 = m[4] * m[2] - m[0] * m[6];
    const float c22 = m[0] * m[5] - m[4] * m[1];
    const float det = m[0] * c00 + m[1] * c01 + m[2] * c02;
    if (det == 0.0f) {
        const float unit[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        std::memcpy(out, unit, sizeof unit);
        return;
    }
    // (M^-1)^T = cofactor matrix / det; stored column-major.
    const float cofactors[9] = {c00, c01, c02, c10, c11, c12, c20, c21, c22};
    for (int k = 0; k < 9; ++k)
        out[k] = cofactors[k] / det;
}

void product(const float a[4], const float b[4], float out[4])
{
    for (int k = 0; k < 4; ++k)
        out[k] = a[k] * b[k];
}

PipelineState drawState()
{
    PipelineState state;
    const Matrix &mv = modelView.entries[modelView.top];
    const Matrix mvp = multiply(projection.entries[projection.top], mv);
    std::memcpy(state.modelView, mv.m, sizeof state.modelView);
    std::memcpy(state.modelViewProjection, mvp.m, sizeof state.modelViewProjection);
    normalMatrix(mv, state.normalMatrix);
    state.lighting = lighting ? 1 : 0;
    std::memcpy(state.color, currentColor, sizeof state.color);
    // Without two-sided lighting both faces take the front material.
    for (int k = 0; k < 4; ++k)
        state.sceneColor[k] = front.emission[k] + front.ambient[k] * lightModelAmbient[k];
    product(front.ambient, light0.ambient, state.ambientProduct);
    product(front.diffuse, light0.diffuse, state.diffuseProduct);
    product(front.specular, light0.specular, state.specularProduct);
    state.shininess = front.shininess;
    std::memcpy(state.lightPosition, light0.position, sizeof state.lightPosition);
    std::memcpy(state.attenuation, light0.attenuation, sizeof state.attenuation);
    state.lightEnabled = light0Enabled ? 1 : 0;
    return state;
}

bool setMaterial(Material &material, GLenum pname, const GLfloat *params)
{
    switch (pname) {
    case GL_AMBIENT:
        std::memcpy(material.ambient, params, sizeof material.ambient);
        return true;
    case GL_DIFFUSE:
        std::memcpy(material.diffuse, params, sizeof material.diffuse);
        return true;
    case GL_AMBIENT_AND_DIFFUSE:
        std::memcpy(material.ambient, params, sizeof material.ambient);
        std::memcpy(material.diffuse, params, sizeof material.diffuse);
        return true;
    case GL_SPECULAR:
        std::memcpy(material.specular, params, sizeof material.specular);
        return true;
    case GL_EMISSION:
        std::memcpy(material.emission, params, sizeof material.emission);
        return true;
    case GL_SHININESS:
        if (params[0] < 0.0f || params[0] > 128.0f) {
            recordError(GL_INVALID_VALUE);
            return true;
        }
        material.shininess = params[0];
        return true;
    default:
        return false;
    }
}

} // namespace

void glMaterialfv(GLenum face, GLenum pname, const GLfloat *params)
{
    bool known = true;
    if (face == GL_FRONT || face == GL_FRONT_AND_BACK)
        known = setMaterial(front, pname, params);
    if (known && (face == GL_BACK || face == GL_FRONT_AND_BACK))
        known = setMaterial(back, pname, params);
    if (!known || (face != GL_FRONT && face != GL_BACK && face != GL_FRONT_AND_BACK))
        recordError(GL_INVALID_ENUM);
}

// Only light 0 is drawn; spot lights are not.
void glLightfv(GLenum light, GLenum pname, const GLfloat *params)
{
    if (!outsideBatch())
        return;
    if (light != GL_LIGHT0) {
        recordError(GL_INVALID_ENUM);
        return;
    }
    switch (pname) {
    case GL_AMBIENT:
        std::memcpy(light0.ambient, params, sizeof light0.ambient);
        break;
    case GL_DIFFUSE:
        std::memcpy(light0.diffuse, params, sizeof light0.diffuse);
        break;
    case GL_SPECULAR:
        std::memcpy(light0.specular, params, sizeof light0.specular);
        break;
    case GL_POSITION: // kept in eye coordinates, as GL does
        transform(modelView.entries[modelView.top], params, light0.position);
        break;
    case GL_CONSTANT_ATTENUATION:
        light0.attenuation[0] = params[0];
        break;
    case GL_LINEAR_ATTENUATION:
        light0.attenuation[1] = params[0];
        break;
    case GL_QUADRATIC_ATTENUATION:
        light0.attenuation[2] = params[0];
        break;
    default:
        recordError(GL_INVALID_ENUM);
    }
}

// Lighting and light 0 are the layer's own; every other capability is WebGL's.
static void setCapability(GLenum cap, bool on)
{
    if (!outsideBatch())
        return;
    if (cap == GL_LIGHTING)
        lighting = on;
    else if (cap == GL_LIGHT0)
        light0Enabled = on;
    else if (cap > GL_LIGHT0 && cap <= GL_LIGHT7)
        recordError(GL_INVALID_ENUM);
    else if (on)
        emscripten_glEnable(cap);
    else
        emscripten_glDisable(cap);
}

void glEnable(GLenum cap) { setCapability(cap, true); }

void glDisable(GLenum cap) { setCapability(cap, false); }

// Both faces are drawn in one mode: GL_FRONT or GL_BACK alone is not done.
void glPolygonMode(GLenum face, GLenum mode)
{
    if (!outsideBatch())
        return;
    if (face != GL_FRONT_AND_BACK || (mode != GL_FILL && mode != GL_LINE && mode != GL_POINT)) {
        recordError(GL_INVALID_ENUM);
        return;
    }
    polygonMode = mode;
}

void glMatrixMode(GLenum mode)
{
    if (!outsideBatch())
        return;
    if (mode == GL_MODELVIEW)
        current = &modelView;
    else if (mode == GL_PROJECTION)
        current = &projection;
    else
        recordError(GL_INVALID_ENUM);
}

void glLoadIdentity(void)
{
    if (outsideBatch())
        top() = identity;
}

void glPushMatrix(void)
{
    if (!outsideBatch())
        return;
    if (current->top + 1 >= stackDepth) {
        recordError(GL_STACK_OVERFLOW);
        return;
    }
    current->entries[current->top + 1] = top();
    ++current->top;
}

void glPopMatrix(void)
{
    if (!outsideBatch())
        return;
    if (current->top == 0) {
        recordError(GL_STACK_UNDERFLOW);
        return;
    }
    --current->top;
}

void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z)
{
    if (!outsideBatch())
        return;
    const double radians = angle * 3.14159265358979323846 / 180.0;
    const auto s = static_cast<float>(std::sin(radians));
    const auto c = static_cast<float>(std::cos(radians));
    Matrix r = identity;
    auto at = [&r](int row, int column) -> float & { return r.m[column * 4 + row]; };
    if (x == 0.0f && y == 0.0f && z != 0.0f) {
        at(0, 0) = c;
        at(1, 1) = c;
        at(0, 1) = z < 0 ? s : -s;
        at(1, 0) = z < 0 ? -s : s;
    } else if (x == 0.0f && z == 0.0f && y != 0.0f) {
        at(0, 0) = c;
        at(2, 2) = c;
        at(0, 2) = y < 0 ? -s : s;
        at(2, 0) = y < 0 ? s : -s;
    } else if (y == 0.0f && z == 0.0f && x != 0.0f) {
        at(1, 1) = c;
        at(2, 2) = c;
        at(1, 2) = x < 0 ? s : -s;
        at(2, 1) = x < 0 ? -s : s;
    } else {
        const float length = std::sqrt(x * x + y * y + z * z);
        if (length <= 1.0e-4f)
            return; // no axis: GL leaves the matrix alone
        x /= length;
        y /= length;
        z /= length;
        const float t = 1.0f - c;
        at(0, 0) = t * x * x + c;
        at(0, 1) = t * x * y - s * z;
        at(0, 2) = t * x * z + s * y;
        at(1, 0) = t * x * y + s * z;
        at(1, 1) = t * y * y + c;
        at(1, 2) = t * y * z - s * x;
        at(2, 0) = t * x * z - s * y;
        at(2, 1) = t * y * z + s * x;
        at(2, 2) = t * z * z + c;
    }
    multiplyTop(r);
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z)
{
    if (!outsideBatch())
        return;
    float *m = top().m;
    for (int i = 0; i < 4; ++i)
        m[12 + i] = m[i] * x + m[4 + i] * y + m[8 + i] * z + m[12 + i];
}

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar)
{
    const double radians = fovy / 2 * 3.14159265358979323846 / 180;
    const double deltaZ = zFar - zNear;
    const double sine = std::sin(radians);
    if (deltaZ == 0 || sine == 0 || aspect == 0)
        return; // GLU leaves the matrix alone
    const double cotangent = std::cos(radians) / sine;
    Matrix p = identity;
    p.m[0] = static_cast<float>(cotangent / aspect);
    p.m[5] = static_cast<float>(cotangent);
    p.m[10] = static_cast<float>(-(zFar + zNear) / deltaZ);
    p.m[11] = -1.0f;
    p.m[14] = static_cast<float>(-2 * zNear * zFar / deltaZ);
    p.m[15] = 0.0f;
    if (outsideBatch())
        multiplyTop(p);
}

void glBegin(GLenum mode)
{
    if (!outsideBatch())
        return;
    if (mode == GL_QUAD_STRIP) {
        batchPrimitive = PipelinePrimitive::QuadStrip;
    } else if (mode == GL_TRIANGLE_STRIP) {
        batchPrimitive = PipelinePrimitive::TriangleStrip;
    } else {
        recordError(GL_INVALID_ENUM);
        return;
    }
    inBatch = true;
    batchCount = 0;
}

void glNormal3f(GLfloat nx, GLfloat ny, GLfloat nz)
{
    currentNormal[0] = nx;
    currentNormal[1] = ny;
    currentNormal[2] = nz;
}

// Every vertex takes the current normal, so one normal given before a pair of
// vertices serves both, as in GL.
void glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    if (!inBatch)
        return; // outside glBegin/glEnd a vertex does nothing
    if (batchCount == batchCapacity) {
        recordError(GL_OUT_OF_MEMORY);
        return;
    }
    PipelineVertex &v = batch[batchCount++];
    v.position[0] = x;
    v.position[1] = y;
    v.position[2] = z;
    std::memcpy(v.normal, currentNormal, sizeof v.normal);
}

void glEnd(void)
{
    if (!inBatch) {
        recordError(GL_INVALID_OPERATION);
        return;
    }
    inBatch = false;
    if (batchCount < 3)
        return;
    const PipelineFill fill = polygonMode == GL_LINE    ? PipelineFill::Line
                              : polygonMode == GL_POINT ? PipelineFill::Point
                                                        : PipelineFill::Fill;
    pipelineDraw(batch, batchCount, batchPrimitive, fill, drawState());
}

GLenum glGetError(void)
{
    const GLenum error = pendingError;
    if (error != GL_NO_ERROR) {
        pendingError = GL_NO_ERROR;
        return error;
    }
    return emscripten_glGetError();
}

// A sphere about the origin, from pole to pole along z, one triangle strip per
// stack, with outward unit normals.
void glutSolidSphere(GLdouble radius, GLint slices, GLint stacks)
{
    if (slices < 2 || stacks < 1)
        return;
    const double pi = 3.14159265358979323846;
    for (int j = 0; j < stacks; ++j) {
        const double phi0 = pi * j / stacks;
        const double phi1 = pi * (j + 1) / stacks;
        glBegin(GL_TRIANGLE_STRIP);
        for (int i = 0; i <= slices; ++i) {
            const double theta = 2 * pi * i / slices;
            for (int k = 0; k < 2; ++k) {
                const double phi = k == 0 ? phi0 : phi1;
                const auto nx = static_cast<float>(std::sin(phi) * std::cos(theta));
                const auto ny = static_cast<float>(std::sin(phi) * std::sin(theta));
                const auto nz = static_cast<float>(std::cos(phi));
                glNormal3f(nx, ny, nz);
                glVertex3f(static_cast<float>(nx * radius), static_cast<float>(ny * radius),
                           static_cast<float>(nz * radius));
            }
        }
        glEnd();
    }
}
