#include "pipeline.h"

#include <GLES2/gl2.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

// OpenGL's lighting equation for one light, per vertex, as fixed-function GL
// computes it without a local viewer, two-sided lighting or GL_NORMALIZE:
//   colour = scene + att * (ambient + max(n.L, 0) diffuse + [n.L > 0] max(n.h, 0)^s specular)
// where L points from the vertex to a positional light (or is the direction
// of a directional one) and h = normalize(L + (0, 0, 1)). The colour is then
// interpolated across the polygon or line, as GL_SMOOTH does.
const char *const vertexShaderSource = R"(
attribute vec3 position;
attribute vec3 normal;
uniform mat4 modelView;
uniform mat4 modelViewProjection;
uniform mat3 normalMatrix;
uniform bool lighting;
uniform bool lightEnabled;
uniform vec4 color;
uniform vec4 sceneColor;
uniform vec4 ambientProduct;
uniform vec4 diffuseProduct;
uniform vec4 specularProduct;
uniform float shininess;
uniform vec4 lightPosition;
uniform vec3 attenuation;
varying vec4 vertexColor;

void main()
{
    vec4 eye = modelView * vec4(position, 1.0);
    gl_Position = modelViewProjection * vec4(position, 1.0);
    gl_PointSize = 1.0;
    if (!lighting) {
        vertexColor = color;
        return;
    }
    vec4 lit = sceneColor;
    if (lightEnabled) {
        vec3 n = normalMatrix * normal;
        vec3 toLight;
        float att = 1.0;
        if (lightPosition.w != 0.0) {
            vec3 d = lightPosition.xyz / lightPosition.w - eye.xyz / eye.w;
            float dist = length(d);
            toLight = d / dist;
            att = 1.0 / (attenuation.x + attenuation.y * dist + attenuation.z * dist * dist);
        } else {
            toLight = normalize(lightPosition.xyz);
        }
        vec4 sum = ambientProduct;
        float nDotL = dot(n, toLight);
        if (nDotL > 0.0) {
            vec3 h = normalize(toLight + vec3(0.0, 0.0, 1.0));
            sum += nDotL * diffuseProduct + pow(max(dot(n, h), 0.0), shininess) * specularProduct;
        }
        lit += att * sum;
    }
    lit.a = diffuseProduct.a;
    vertexColor = clamp(lit, 0.0, 1.0);
}
)";

const char *const fragmentShaderSource = R"(
precision mediump float;
varying vec4 vertexColor;

void main()
{
    gl_FragColor = vertexColor;
}
)";

struct Uniforms {
    GLint modelView, modelViewProjection, normalMatrix, lighting, lightEnabled, color, sceneColor,
        ambientProduct, diffuseProduct, specularProduct, shininess, lightPosition, attenuation;
};

GLuint program = 0;
GLuint vertexBuffer = 0;
GLuint indexBuffer = 0;
Uniforms uniforms;
PipelineState lastState;
bool stateSent = false;

// The line indices of the last batch shape; every strip of the patch has the
// same shape, so they are made once.
PipelinePrimitive indexedPrimitive = PipelinePrimitive::QuadStrip;
int indexedCount = -1;
int indexCount = 0;
constexpr int maxVertices = 65536; // 16-bit indices
unsigned short indices[maxVertices * 6];

GLuint compile(GLenum type, const char *source)
{
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = "";
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        std::fprintf(stderr, "web layer: shader does not compile: %s\n", log);
    }
    return shader;
}

void setUp()
{
    program = glCreateProgram();
    glAttachShader(program, compile(GL_VERTEX_SHADER, vertexShaderSource));
    glAttachShader(program, compile(GL_FRAGMENT_SHADER, fragmentShaderSource));
    glBindAttribLocation(program, 0, "position");
    glBindAttribLocation(program, 1, "normal");
    glLinkProgram(program);
    GLint ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok)
        std::fprintf(stderr, "web layer: shader program does not link\n");
    glUseProgram(program);
    uniforms.modelView = glGetUniformLocation(program, "modelView");
    uniforms.modelViewProjection = glGetUniformLocation(program, "modelViewProjection");
    uniforms.normalMatrix = glGetUniformLocation(program, "normalMatrix");
    uniforms.lighting = glGetUniformLocation(program, "lighting");
    uniforms.lightEnabled = glGetUniformLocation(program, "lightEnabled");
    uniforms.color = glGetUniformLocation(program, "color");
    uniforms.sceneColor = glGetUniformLocation(program, "sceneColor");
    uniforms.ambientProduct = glGetUniformLocation(program, "ambientProduct");
    uniforms.diffuseProduct = glGetUniformLocation(program, "diffuseProduct");
    uniforms.specularProduct = glGetUniformLocation(program, "specularProduct");
    uniforms.shininess = glGetUniformLocation(program, "shininess");
    uniforms.lightPosition = glGetUniformLocation(program, "lightPosition");
    uniforms.attenuation = glGetUniformLocation(program, "attenuation");

    glGenBuffers(1, &vertexBuffer);
    glGenBuffers(1, &indexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(PipelineVertex),
                          reinterpret_cast<const void *>(offsetof(PipelineVertex, position)));
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(PipelineVertex),
                          reinterpret_cast<const void *>(offsetof(PipelineVertex, normal)));
}

void sendState(const PipelineState &state)
{
    // The same bits need not be sent again. The record has no padding, and a
    // float that compares equal with other bits (0 and -0) is merely sent again.
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
    if (stateSent && std::memcmp(&state, &lastState, sizeof state) == 0)
        return;
    glUniformMatrix4fv(uniforms.modelView, 1, GL_FALSE, state.modelView);
    glUniformMatrix4fv(uniforms.modelViewProjection, 1, GL_FALSE, state.modelViewProjection);
    glUniformMatrix3fv(uniforms.normalMatrix, 1, GL_FALSE, state.normalMatrix);
    glUniform1i(uniforms.lighting, state.lighting);
    glUniform1i(uniforms.lightEnabled, state.lightEnabled);
    glUniform4fv(uniforms.color, 1, state.color);
    glUniform4fv(uniforms.sceneColor, 1, state.sceneColor);
    glUniform4fv(uniforms.ambientProduct, 1, state.ambientProduct);
    glUniform4fv(uniforms.diffuseProduct, 1, state.diffuseProduct);
    glUniform4fv(uniforms.specularProduct, 1, state.specularProduct);
    glUniform1f(uniforms.shininess, state.shininess);
    glUniform4fv(uniforms.lightPosition, 1, state.lightPosition);
    glUniform3fv(uniforms.attenuation, 1, state.attenuation);
    lastState = state;
    stateSent = true;
}

void addEdge(int a, int b)
{
    indices[indexCount++] = static_cast<unsigned short>(a);
    indices[indexCount++] = static_cast<unsigned short>(b);
}

// The edges GL draws for each polygon in GL_LINE mode, polygon by polygon and
// each in its own vertex order. A quad strip's quads have no diagonal.
void makeEdges(PipelinePrimitive primitive, int count)
{
    if (primitive == indexedPrimitive && count == indexedCount)
        return;
    indexCount = 0;
    if (primitive == PipelinePrimitive::QuadStrip) {
        for (int q = 0; 2 * q + 3 < count; ++q) {
            const int a = 2 * q;
            const int b = 2 * q + 1;
            const int c = 2 * q + 3;
            const int d = 2 * q + 2;
            addEdge(a, b);
            addEdge(b, c);
            addEdge(c, d);
            addEdge(d, a);
        }
    } else {
        for (int i = 0; i + 2 < count; ++i) {
            const int a = i % 2 ? i + 1 : i;
            const int b = i % 2 ? i : i + 1;
            const int c = i + 2;
            addEdge(a, b);
            addEdge(b, c);
            addEdge(c, a);
        }
    }
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, indexCount * static_cast<GLsizeiptr>(sizeof indices[0]),
                 indices, GL_STATIC_DRAW);
    indexedPrimitive = primitive;
    indexedCount = count;
}

} // namespace

void pipelineDraw(const PipelineVertex *vertices, int count, PipelinePrimitive primitive,
                  PipelineFill fill, const PipelineState &state)
{
    if (count > maxVertices)
        count = maxVertices;
    if (program == 0)
        setUp();
    sendState(state);
    glBufferData(GL_ARRAY_BUFFER, count * static_cast<GLsizeiptr>(sizeof *vertices), vertices,
                 GL_STREAM_DRAW);
    switch (fill) {
    case PipelineFill::Fill:
        // A quad strip is drawn as the triangle strip of the same vertices:
        // each quad (v0, v1, v3, v2) is the two triangles (v0, v1, v2), (v2, v1, v3).
        glDrawArrays(GL_TRIANGLE_STRIP, 0,
                     primitive == PipelinePrimitive::QuadStrip ? count & ~1 : count);
        break;
    case PipelineFill::Line:
        makeEdges(primitive, count);
        glDrawElements(GL_LINES, indexCount, GL_UNSIGNED_SHORT, nullptr);
        break;
    case PipelineFill::Point:
        glDrawArrays(GL_POINTS, 0, count);
        break;
    }
}
