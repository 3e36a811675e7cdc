// OpenGL 1.1 for the web backend: the fixed-function subset the program and
// web_glu.cpp use, and what such a program reaches for next, drawn with one
// small shader over WebGL 1 (through Emscripten's emscripten_gl* names, as
// its plain gl* names are the ones defined here).
//
// Immediate mode is batched: glEnd turns its primitive into triangles, lines
// or points in one vertex array, which is drawn (one upload, one draw) when
// something that changes the picture's state comes, at glClear, glFlush,
// glFinish and SwapBuffers, and before it would outgrow its bound. The
// matrices stay here; their product is taken once per draw.
//
// The subset keeps its own copy of the state, so a lost WebGL context is
// survived: while lost only the copy changes, and once restored the shader
// and buffer are made again and the copy applied.
//
// Left out: lighting, texturing, display lists, vertex arrays, fog, line and
// point sizes, the accumulation buffer, glGet* other than glGetError, and
// capabilities other than depth and stencil test, culling, blending,
// scissoring and dithering (all but the depth test at GL's default settings).
#include "web_host.h"

#include <GL/gl.h>

#include <math.h>
#include <stddef.h>
#include <string.h>

#include <initializer_list>
#include <vector>

namespace compat {

namespace {

struct Vertex {
    float position[4];
    unsigned char rgba[4];
};

typedef float Matrix[16];   // column by column, as GL keeps it

// GL 1.1's minimum stack depths: modelview, projection, texture.
const int stack_limit[3] = {32, 2, 2};

// The capabilities the subset passes on, and its bit in GlState::enabled.
const GLenum capabilities[] = {GL_DEPTH_TEST, GL_STENCIL_TEST, GL_CULL_FACE, GL_BLEND, GL_SCISSOR_TEST, GL_DITHER};
const unsigned dither_bit = 1u << 5;

const char *vertex_shader = "attribute vec4 p;attribute vec4 c;uniform mat4 m;varying vec4 v;"
                            "void main(){gl_Position=m*p;gl_PointSize=1.0;v=c;}";
const char *fragment_shader = "precision mediump float;varying vec4 v;void main(){gl_FragColor=v;}";

}  // namespace

struct GlState {
    // The copy of the context's state.
    Matrix stack[3][32];
    int depth[3] = {1, 1, 1};
    int mode = 0;                    // which stack: GL_MODELVIEW's first
    unsigned enabled = dither_bit;   // GL's only capability on by default
    GLenum depth_func = GL_LESS;
    GLenum shade = GL_SMOOTH;
    float clear_color[4] = {0, 0, 0, 0};
    float clear_depth = 1;
    int viewport[4];
    unsigned char color[4] = {255, 255, 255, 255};
    GLenum error = GL_NO_ERROR;

    // Between glBegin and glEnd: the primitive and its vertices.
    bool inside = false;
    GLenum primitive = 0;
    std::vector<Vertex> block, expanded;

    // Expanded vertices waiting to be drawn, all as one draw mode.
    std::vector<Vertex> batch;
    GLenum batch_mode = GL_TRIANGLES;
    bool product_stale = true;   // the matrices changed since the last upload

    // The WebGL side: valid while `live`, made again after a restore.
    bool live = false;
    int generation = 0;
    GLuint program = 0, buffer = 0;
    GLint product_location = -1;
};

static GlState *current = nullptr;

static void set_error(GlState *s, GLenum error)
{
    // GL keeps the first error until glGetError reads it.
    if (s->error == GL_NO_ERROR)
        s->error = error;
}

// The current context's state for a call GL forbids between glBegin and
// glEnd; null (the call does nothing) with no context or inside a block.
static GlState *outside_block()
{
    if (current && current->inside) {
        set_error(current, GL_INVALID_OPERATION);
        return nullptr;
    }
    return current;
}

static void load_identity(Matrix m)
{
    for (int i = 0; i < 16; ++i)
        m[i] = i % 5 == 0;
}

static void multiply(Matrix a, const Matrix b)
{
    Matrix r;
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row) {
            float sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += a[k * 4 + row] * b[column * 4 + k];
            r[column * 4 + row] = sum;
        }
    memcpy(a, r, sizeof r);
}

static void upload_product(GlState *s)
{
    Matrix product;
    memcpy(product, s->stack[1][s->depth[1] - 1], sizeof product);
    multiply(product, s->stack[0][s->depth[0] - 1]);
    emscripten_glUniformMatrix4fv(s->product_location, 1, GL_FALSE, product);
    s->product_stale = false;
}

static void draw(GlState *s, GLenum mode, const std::vector<Vertex> &vertices)
{
    if (s->product_stale)
        upload_product(s);
    emscripten_glBufferData(GL_ARRAY_BUFFER, (intptr_t)(vertices.size() * sizeof(Vertex)), vertices.data(),
                            GL_STREAM_DRAW);
    emscripten_glDrawArrays(mode, 0, (GLsizei)vertices.size());
}

static GLuint shader(GLenum type, const char *source)
{
    GLuint id = emscripten_glCreateShader(type);
    emscripten_glShaderSource(id, 1, &source, nullptr);
    emscripten_glCompileShader(id);
    return id;
}

static void pass_capability(GLenum cap, bool on)
{
    if (on)
        emscripten_glEnable(cap);
    else
        emscripten_glDisable(cap);
}

// Makes the shader and the buffer, and gives WebGL the whole copy.
static void build(GlState *s)
{
    s->program = emscripten_glCreateProgram();
    emscripten_glAttachShader(s->program, shader(GL_VERTEX_SHADER, vertex_shader));
    emscripten_glAttachShader(s->program, shader(GL_FRAGMENT_SHADER, fragment_shader));
    emscripten_glBindAttribLocation(s->program, 0, "p");
    emscripten_glBindAttribLocation(s->program, 1, "c");
    emscripten_glLinkProgram(s->program);
    emscripten_glUseProgram(s->program);
    s->product_location = emscripten_glGetUniformLocation(s->program, "m");
    emscripten_glGenBuffers(1, &s->buffer);
    emscripten_glBindBuffer(GL_ARRAY_BUFFER, s->buffer);
    emscripten_glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, sizeof(Vertex), (void *)offsetof(Vertex, position));
    emscripten_glEnableVertexAttribArray(0);
    emscripten_glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Vertex), (void *)offsetof(Vertex, rgba));
    emscripten_glEnableVertexAttribArray(1);

    const int *v = s->viewport;
    emscripten_glViewport(v[0], v[1], v[2], v[3]);
    emscripten_glClearColor(s->clear_color[0], s->clear_color[1], s->clear_color[2], s->clear_color[3]);
    emscripten_glClearDepthf(s->clear_depth);
    emscripten_glDepthFunc(s->depth_func);
    for (int i = 0; i < 6; ++i)
        pass_capability(capabilities[i], s->enabled & 1u << i);
    s->product_stale = true;
    s->live = true;
}

// Follows the page's context: lost, or back (restored) since last seen.
// NOTE: the page only counts its events; the program notices them here,
// before it draws, as it cannot be called while it is paused.
static void follow_context(GlState *s)
{
    int generation = web_gl_generation();
    if (generation < 0)
        s->live = false;
    else if (!s->live || generation != s->generation) {
        s->generation = generation;
        build(s);
    }
}

// Draws what is batched: a lost context draws nothing.
static void flush(GlState *s)
{
    if (s->batch.empty())
        return;
    follow_context(s);
    if (s->live)
        draw(s, s->batch_mode, s->batch);
    s->batch.clear();
}

GlState *web_gl_create(int width, int height)
{
    GlState *s = new GlState;
    for (int m = 0; m < 3; ++m)
        load_identity(s->stack[m][0]);
    s->viewport[0] = s->viewport[1] = 0;
    s->viewport[2] = width, s->viewport[3] = height;
    return s;
}

void web_gl_destroy(GlState *s)
{
    if (current == s)
        current = nullptr;
    delete s;
}

void web_gl_make_current(GlState *s)
{
    current = s;
    if (s)
        follow_context(s);
}

void web_gl_follow_context()
{
    if (current)
        follow_context(current);
}

void web_gl_flush_frame()
{
    if (current && !current->inside)
        flush(current);
}

// Appends the block as GL 1.1 draws it, polygons as fans from their first
// vertex. With flat shading each primitive takes the colour of the vertex
// GL names for it: its last, a polygon's first.
static void expand(GLenum primitive, const std::vector<Vertex> &v, bool flat, std::vector<Vertex> &out)
{
    const size_t n = v.size();
    auto put = [&](std::initializer_list<size_t> corners, size_t provoking) {
        for (size_t i : corners) {
            out.push_back(v[i]);
            if (flat)
                memcpy(out.back().rgba, v[provoking].rgba, 4);
        }
    };
    switch (primitive) {
    case GL_POINTS:
        for (size_t i = 0; i < n; ++i)
            put({i}, i);
        break;
    case GL_LINES:
        for (size_t i = 0; i + 1 < n; i += 2)
            put({i, i + 1}, i + 1);
        break;
    case GL_LINE_STRIP:
    case GL_LINE_LOOP:
        for (size_t i = 0; i + 1 < n; ++i)
            put({i, i + 1}, i + 1);
        if (primitive == GL_LINE_LOOP && n > 1)
            put({n - 1, 0}, 0);
        break;
    case GL_TRIANGLES:
        for (size_t i = 0; i + 2 < n; i += 3)
            put({i, i + 1, i + 2}, i + 2);
        break;
    case GL_TRIANGLE_STRIP:
        // Every other triangle is turned round, so all keep the first's winding.
        for (size_t i = 0; i + 2 < n; ++i)
            put({i + i % 2, i + 1 - i % 2, i + 2}, i + 2);
        break;
    case GL_TRIANGLE_FAN:
        for (size_t i = 1; i + 1 < n; ++i)
            put({0, i, i + 1}, i + 1);
        break;
    case GL_QUADS:
        for (size_t i = 0; i + 3 < n; i += 4)
            put({i, i + 1, i + 2, i, i + 2, i + 3}, i + 3);
        break;
    case GL_QUAD_STRIP:
        for (size_t i = 0; i + 3 < n; i += 2)
            put({i, i + 1, i + 3, i, i + 3, i + 2}, i + 3);
        break;
    case GL_POLYGON:
        for (size_t i = 1; i + 1 < n; ++i)
            put({0, i, i + 1}, 0);
        break;
    }
}

static GLenum draw_mode(GLenum primitive)
{
    if (primitive == GL_POINTS)
        return GL_POINTS;
    return primitive <= GL_LINE_STRIP ? GL_LINES : GL_TRIANGLES;
}

// Flushes before a change to what the batch is drawn with; null where the
// call is to do nothing.
static GlState *changing()
{
    GlState *s = outside_block();
    if (s)
        flush(s);
    return s;
}

static float clamp(float x) { return x < 0 ? 0 : x > 1 ? 1 : x; }

static Matrix &top(GlState *s) { return s->stack[s->mode][s->depth[s->mode] - 1]; }

static void multiply_current(const Matrix m)
{
    if (GlState *s = changing()) {
        multiply(top(s), m);
        s->product_stale = true;
    }
}

static int capability_bit(GLenum cap)
{
    for (int i = 0; i < 6; ++i)
        if (capabilities[i] == cap)
            return i;
    return -1;
}

static void set_capability(GLenum cap, bool on)
{
    GlState *s = changing();
    if (!s)
        return;
    int bit = capability_bit(cap);
    if (bit < 0)
        return set_error(s, GL_INVALID_ENUM);
    s->enabled = on ? s->enabled | 1u << bit : s->enabled & ~(1u << bit);
    if (s->live)
        pass_capability(cap, on);
}

}  // namespace compat

using namespace compat;

GLenum glGetError(void)
{
    GlState *s = outside_block();
    if (!s)
        return GL_NO_ERROR;
    GLenum error = s->error;
    s->error = GL_NO_ERROR;
    return error;
}

void glEnable(GLenum cap) { set_capability(cap, true); }
void glDisable(GLenum cap) { set_capability(cap, false); }

void glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha)
{
    if (GlState *s = changing()) {
        const float c[4] = {clamp(red), clamp(green), clamp(blue), clamp(alpha)};
        memcpy(s->clear_color, c, sizeof c);
        if (s->live)
            emscripten_glClearColor(c[0], c[1], c[2], c[3]);
    }
}

void glClearDepth(GLclampd depth)
{
    if (GlState *s = changing()) {
        s->clear_depth = clamp((float)depth);
        if (s->live)
            emscripten_glClearDepthf(s->clear_depth);
    }
}

void glDepthFunc(GLenum func)
{
    GlState *s = changing();
    if (!s)
        return;
    if (func < GL_NEVER || func > GL_ALWAYS)
        return set_error(s, GL_INVALID_ENUM);
    s->depth_func = func;
    if (s->live)
        emscripten_glDepthFunc(func);
}

// Takes effect as each block is expanded, so it needs no flush.
void glShadeModel(GLenum mode)
{
    GlState *s = outside_block();
    if (!s)
        return;
    if (mode != GL_FLAT && mode != GL_SMOOTH)
        return set_error(s, GL_INVALID_ENUM);
    s->shade = mode;
}

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height)
{
    GlState *s = changing();
    if (!s)
        return;
    if (width < 0 || height < 0)
        return set_error(s, GL_INVALID_VALUE);
    const int v[4] = {x, y, width, height};
    memcpy(s->viewport, v, sizeof v);
    if (s->live)
        emscripten_glViewport(x, y, width, height);
}

void glClear(GLbitfield mask)
{
    GlState *s = changing();
    if (!s)
        return;
    const GLbitfield buffers = GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT;
    if (mask & ~(buffers | GL_ACCUM_BUFFER_BIT))
        return set_error(s, GL_INVALID_VALUE);
    follow_context(s);
    // There is no accumulation buffer to clear.
    if (s->live && (mask & buffers))
        emscripten_glClear(mask & buffers);
}

void glFlush(void)
{
    if (GlState *s = changing())
        if (s->live)
            emscripten_glFlush();
}

void glFinish(void)
{
    if (GlState *s = changing())
        if (s->live)
            emscripten_glFinish();
}

void glMatrixMode(GLenum mode)
{
    GlState *s = outside_block();
    if (!s)
        return;
    if (mode < GL_MODELVIEW || mode > GL_TEXTURE)
        return set_error(s, GL_INVALID_ENUM);
    s->mode = (int)(mode - GL_MODELVIEW);
}

void glLoadIdentity(void)
{
    if (GlState *s = changing()) {
        load_identity(top(s));
        s->product_stale = true;
    }
}

void glPushMatrix(void)
{
    GlState *s = changing();
    if (!s)
        return;
    int &depth = s->depth[s->mode];
    if (depth == stack_limit[s->mode])
        return set_error(s, GL_STACK_OVERFLOW);
    memcpy(s->stack[s->mode][depth], s->stack[s->mode][depth - 1], sizeof(Matrix));
    ++depth;
}

void glPopMatrix(void)
{
    GlState *s = changing();
    if (!s)
        return;
    if (s->depth[s->mode] == 1)
        return set_error(s, GL_STACK_UNDERFLOW);
    --s->depth[s->mode];
    s->product_stale = true;
}

void glMultMatrixf(const GLfloat *m)
{
    Matrix f;
    memcpy(f, m, sizeof f);
    multiply_current(f);
}

void glMultMatrixd(const GLdouble *m)
{
    Matrix f;
    for (int i = 0; i < 16; ++i)
        f[i] = (float)m[i];
    multiply_current(f);
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z)
{
    const Matrix m = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1};
    multiply_current(m);
}

void glTranslated(GLdouble x, GLdouble y, GLdouble z) { glTranslatef((float)x, (float)y, (float)z); }

void glScalef(GLfloat x, GLfloat y, GLfloat z)
{
    const Matrix m = {x, 0, 0, 0, 0, y, 0, 0, 0, 0, z, 0, 0, 0, 0, 1};
    multiply_current(m);
}

// A rotation by `angle` degrees about the axis (x, y, z), counterclockwise
// seen from its tip; an axis of length 0 leaves the matrix as it is.
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z)
{
    float length = sqrtf(x * x + y * y + z * z);
    if (length == 0) {
        changing();
        return;
    }
    x /= length, y /= length, z /= length;
    // NOTE: sin and cos in double, which the program links already.
    const double radians = angle * M_PI / 180;
    const float c = (float)cos(radians), s = (float)sin(radians), t = 1 - c;
    const Matrix m = {
        x * x * t + c,     y * x * t + z * s, x * z * t - y * s, 0,
        x * y * t - z * s, y * y * t + c,     y * z * t + x * s, 0,
        x * z * t + y * s, y * z * t - x * s, z * z * t + c,     0,
        0, 0, 0, 1,
    };
    multiply_current(m);
}

void glFrustum(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear, GLdouble zFar)
{
    if (current && !current->inside &&
        (zNear <= 0 || zFar <= 0 || left == right || bottom == top || zNear == zFar))
        return set_error(current, GL_INVALID_VALUE);
    const double w = right - left, h = top - bottom, d = zFar - zNear;
    const Matrix m = {
        (float)(2 * zNear / w), 0, 0, 0,
        0, (float)(2 * zNear / h), 0, 0,
        (float)((right + left) / w), (float)((top + bottom) / h), (float)(-(zFar + zNear) / d), -1,
        0, 0, (float)(-2 * zFar * zNear / d), 0,
    };
    multiply_current(m);
}

void glOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear, GLdouble zFar)
{
    if (current && !current->inside && (left == right || bottom == top || zNear == zFar))
        return set_error(current, GL_INVALID_VALUE);
    const double w = right - left, h = top - bottom, d = zFar - zNear;
    const Matrix m = {
        (float)(2 / w), 0, 0, 0,
        0, (float)(2 / h), 0, 0,
        0, 0, (float)(-2 / d), 0,
        (float)(-(right + left) / w), (float)(-(top + bottom) / h), (float)(-(zFar + zNear) / d), 1,
    };
    multiply_current(m);
}

void glBegin(GLenum mode)
{
    GlState *s = outside_block();
    if (!s)
        return;
    if (mode > GL_POLYGON)
        return set_error(s, GL_INVALID_ENUM);
    s->inside = true;
    s->primitive = mode;
    s->block.clear();
}

void glEnd(void)
{
    GlState *s = current;
    if (!s)
        return;
    if (!s->inside)
        return set_error(s, GL_INVALID_OPERATION);
    s->inside = false;
    s->expanded.clear();
    expand(s->primitive, s->block, s->shade == GL_FLAT, s->expanded);
    if (s->expanded.empty())
        return;   // too few vertices for one primitive
    const GLenum mode = draw_mode(s->primitive);
    if (mode != s->batch_mode || s->batch.size() + s->expanded.size() > web_gl_batch_bound)
        flush(s);
    s->batch_mode = mode;
    if (s->expanded.size() <= web_gl_batch_bound) {
        s->batch.insert(s->batch.end(), s->expanded.begin(), s->expanded.end());
        return;
    }
    // A block larger than the bound is drawn on its own, and not kept.
    follow_context(s);
    if (s->live)
        draw(s, mode, s->expanded);
    std::vector<Vertex>().swap(s->expanded);
    std::vector<Vertex>().swap(s->block);
}

// NOTE: GL leaves a vertex outside glBegin/glEnd undefined; it is dropped.
void glVertex4f(GLfloat x, GLfloat y, GLfloat z, GLfloat w)
{
    if (!current || !current->inside)
        return;
    Vertex v = {{x, y, z, w}, {}};
    memcpy(v.rgba, current->color, 4);
    current->block.push_back(v);
}

void glVertex2f(GLfloat x, GLfloat y) { glVertex4f(x, y, 0, 1); }
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) { glVertex4f(x, y, z, 1); }

void glColor4ub(GLubyte red, GLubyte green, GLubyte blue, GLubyte alpha)
{
    if (current) {
        const unsigned char c[4] = {red, green, blue, alpha};
        memcpy(current->color, c, 4);
    }
}

void glColor3ub(GLubyte red, GLubyte green, GLubyte blue) { glColor4ub(red, green, blue, 255); }

// Kept as 8 bits a channel, what the drawing buffer holds.
void glColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha)
{
    auto byte = [](float x) { return (GLubyte)lrintf(clamp(x) * 255); };
    glColor4ub(byte(red), byte(green), byte(blue), byte(alpha));
}

void glColor3f(GLfloat red, GLfloat green, GLfloat blue) { glColor4f(red, green, blue, 1); }
