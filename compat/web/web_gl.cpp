// OpenGL 1.1 for the web backend: the fixed-function subset the program and
// web_glu.cpp use, and what such a program reaches for next, drawn with one
// small shader over WebGL 1 (through Emscripten's emscripten_gl* names, as
// its plain gl* names are the ones defined here).
//
// Immediate mode is batched: glEnd turns its primitive into triangles, lines
// or points in one vertex array, which is drawn (one upload, one draw) when
// the state changes, at glClear, glFlush, glFinish and SwapBuffers, and
// before it would outgrow its bound. The matrices stay here; their product
// is taken once per draw.
//
// The gl* calls change the subset's own copy of the state; apply() brings
// WebGL in line with it before a clear or a draw, and all of it to a context
// just made. So a lost WebGL context is survived: while lost only the copy
// changes; once restored, all is made and sent again.
//
// The program works in its window's pixels, and the drawing buffer has the
// device pixels the canvas covers (the page sets how many a window pixel
// has): the viewport is scaled, and so are points and lines, a window pixel
// wide, as far as WebGL draws them so.
//
// Left out: lighting, texturing, display lists, vertex arrays, fog, line and
// point sizes other than 1, the accumulation buffer, glGet* other than
// glGetError, and capabilities other than depth and stencil test, culling,
// blending, scissoring and dithering (all but the depth test at GL's default
// settings).
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

void load_identity(Matrix m)
{
    for (int i = 0; i < 16; ++i)
        m[i] = i % 5 == 0;
}

// GL 1.1's minimum stack depths, which the subset gives.
enum { modelview_depth = 32, projection_depth = 2, texture_depth = 2 };

struct Stack {
    explicit Stack(int limit) : limit(limit) { load_identity(matrices[0]); }
    Matrix &top() { return matrices[depth - 1]; }
    int limit, depth = 1;
    Matrix matrices[modelview_depth];
};

// The capabilities the subset passes on, each with a bit in Settings::enabled.
constexpr GLenum capabilities[] = {GL_DEPTH_TEST, GL_STENCIL_TEST, GL_CULL_FACE, GL_BLEND, GL_SCISSOR_TEST, GL_DITHER};
constexpr int capability_count = sizeof capabilities / sizeof capabilities[0];

// A capability's bit, 0 for one the subset does not pass on.
constexpr unsigned bit_of(GLenum cap)
{
    for (int i = 0; i < capability_count; ++i)
        if (capabilities[i] == cap)
            return 1u << i;
    return 0;
}

// The state WebGL keeps too, which apply() sends.
struct Settings {
    unsigned enabled = bit_of(GL_DITHER);   // GL's only capability on by default
    float clear_color[4] = {0, 0, 0, 0};
    float clear_depth = 1;
    GLenum depth_func = GL_LESS;
    int viewport[4] = {0, 0, 0, 0};   // in window pixels
    float scale[2] = {1, 1};          // drawing buffer pixels a window pixel, across and down
};

// How many drawing buffer pixels wide a point or a line is.
int pixel_size(const float *scale)
{
    const int size = (int)lrintf((scale[0] + scale[1]) / 2);
    return size > 1 ? size : 1;
}

// `z` is the size of a point in the drawing buffer's pixels.
const char *vertex_shader = "attribute vec4 p;attribute vec4 c;uniform mat4 m;uniform float z;varying vec4 v;"
                            "void main(){gl_Position=m*p;gl_PointSize=z;v=c;}";
const char *fragment_shader = "precision mediump float;varying vec4 v;void main(){gl_FragColor=v;}";

}  // namespace

struct GlState {
    // The copy of the context's state.
    Stack modelview{modelview_depth}, projection{projection_depth}, texture{texture_depth};
    Stack *stack = &modelview;   // the one glMatrixMode chose
    Settings settings;
    GLenum shade = GL_SMOOTH;
    unsigned char color[4] = {255, 255, 255, 255};
    GLenum error = GL_NO_ERROR;

    // Between glBegin and glEnd: the primitive and its vertices.
    bool inside = false;
    GLenum primitive = 0;
    std::vector<Vertex> block, expanded;

    // Expanded vertices waiting to be drawn, all as one draw mode.
    std::vector<Vertex> batch;
    GLenum batch_mode = GL_TRIANGLES;

    // The WebGL side: valid while `live`, made again after a restore.
    bool live = false;
    int generation = 0;
    GLuint program = 0, buffer = 0;
    GLint product_location = -1, size_location = -1;
    Settings sent;               // what WebGL was last given
    bool product_stale = true;   // the matrices changed since the last upload
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

// Brings WebGL in line with the copy: sends what differs from what it was
// last given, or everything to a context just made.
static void apply(GlState *s, bool everything)
{
    const Settings &want = s->settings, &had = s->sent;
    for (int i = 0; i < capability_count; ++i)
        if (everything || (want.enabled ^ had.enabled) >> i & 1)
            want.enabled >> i & 1 ? emscripten_glEnable(capabilities[i]) : emscripten_glDisable(capabilities[i]);
    const float *c = want.clear_color;
    if (everything || memcmp(c, had.clear_color, sizeof want.clear_color))
        emscripten_glClearColor(c[0], c[1], c[2], c[3]);
    if (everything || want.clear_depth != had.clear_depth)
        emscripten_glClearDepthf(want.clear_depth);
    if (everything || want.depth_func != had.depth_func)
        emscripten_glDepthFunc(want.depth_func);
    const int *v = want.viewport;
    const float *k = want.scale;
    const bool rescaled = everything || memcmp(k, had.scale, sizeof want.scale);
    if (rescaled || memcmp(v, had.viewport, sizeof want.viewport))
        emscripten_glViewport((int)lrintf(v[0] * k[0]), (int)lrintf(v[1] * k[1]), (int)lrintf(v[2] * k[0]),
                              (int)lrintf(v[3] * k[1]));
    // NOTE: WebGL need not draw a line wider than 1 (ALIASED_LINE_WIDTH_RANGE
    // may end at 1); there a line stays one buffer pixel wide.
    if (rescaled) {
        emscripten_glUniform1f(s->size_location, (float)pixel_size(k));
        emscripten_glLineWidth((float)pixel_size(k));
    }
    s->sent = want;
}

static GLuint shader(GLenum type, const char *source)
{
    GLuint id = emscripten_glCreateShader(type);
    emscripten_glShaderSource(id, 1, &source, nullptr);
    emscripten_glCompileShader(id);
    return id;
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
    s->size_location = emscripten_glGetUniformLocation(s->program, "z");
    emscripten_glGenBuffers(1, &s->buffer);
    emscripten_glBindBuffer(GL_ARRAY_BUFFER, s->buffer);
    emscripten_glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, sizeof(Vertex), (void *)offsetof(Vertex, position));
    emscripten_glEnableVertexAttribArray(0);
    emscripten_glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Vertex), (void *)offsetof(Vertex, rgba));
    emscripten_glEnableVertexAttribArray(1);
    apply(s, true);
    s->product_stale = true;
    s->live = true;
}

// Follows the page's context: lost, or back (restored) since last seen, and
// the drawing buffer's scale. NOTE: the page only counts its events; the
// program notices them here, before it draws, as it cannot be called while
// it is paused.
static void follow_context(GlState *s)
{
    web_gl_scale(&s->settings.scale[0], &s->settings.scale[1]);
    int generation = web_gl_generation();
    if (generation < 0)
        s->live = false;
    else if (!s->live || generation != s->generation) {
        s->generation = generation;
        build(s);
    }
}

// Draws the vertices now, one upload and one draw; nothing while lost.
static void draw(GlState *s, GLenum mode, const std::vector<Vertex> &vertices)
{
    follow_context(s);
    if (!s->live)
        return;
    apply(s, false);
    if (s->product_stale) {
        Matrix product;
        memcpy(product, s->projection.top(), sizeof product);
        multiply(product, s->modelview.top());
        emscripten_glUniformMatrix4fv(s->product_location, 1, GL_FALSE, product);
        s->product_stale = false;
    }
    emscripten_glBufferData(GL_ARRAY_BUFFER, (intptr_t)(vertices.size() * sizeof(Vertex)), vertices.data(),
                            GL_STREAM_DRAW);
    emscripten_glDrawArrays(mode, 0, (GLsizei)vertices.size());
}

static void flush(GlState *s)
{
    if (s->batch.empty())
        return;
    draw(s, s->batch_mode, s->batch);
    s->batch.clear();
}

GlState *web_gl_create(int width, int height)
{
    GlState *s = new GlState;
    s->settings.viewport[2] = width, s->settings.viewport[3] = height;
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
// vertex, and gives the mode WebGL draws that in. With flat shading each
// primitive takes the colour of the vertex GL names for it: its last, a
// polygon's first.
static GLenum expand(GLenum primitive, const std::vector<Vertex> &v, bool flat, std::vector<Vertex> &out)
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
        return GL_POINTS;
    case GL_LINES:
        for (size_t i = 0; i + 1 < n; i += 2)
            put({i, i + 1}, i + 1);
        return GL_LINES;
    case GL_LINE_STRIP:
    case GL_LINE_LOOP:
        for (size_t i = 0; i + 1 < n; ++i)
            put({i, i + 1}, i + 1);
        if (primitive == GL_LINE_LOOP && n > 1)
            put({n - 1, 0}, 0);
        return GL_LINES;
    case GL_TRIANGLES:
        for (size_t i = 0; i + 2 < n; i += 3)
            put({i, i + 1, i + 2}, i + 2);
        return GL_TRIANGLES;
    case GL_TRIANGLE_STRIP:
        // Every other triangle is turned round, so all keep the first's winding.
        for (size_t i = 0; i + 2 < n; ++i)
            put({i + i % 2, i + 1 - i % 2, i + 2}, i + 2);
        return GL_TRIANGLES;
    case GL_TRIANGLE_FAN:
        for (size_t i = 1; i + 1 < n; ++i)
            put({0, i, i + 1}, i + 1);
        return GL_TRIANGLES;
    case GL_QUADS:
        for (size_t i = 0; i + 3 < n; i += 4)
            put({i, i + 1, i + 2, i, i + 2, i + 3}, i + 3);
        return GL_TRIANGLES;
    case GL_QUAD_STRIP:
        for (size_t i = 0; i + 3 < n; i += 2)
            put({i, i + 1, i + 3, i, i + 3, i + 2}, i + 3);
        return GL_TRIANGLES;
    default:   // GL_POLYGON, the last glBegin takes
        for (size_t i = 1; i + 1 < n; ++i)
            put({0, i, i + 1}, 0);
        return GL_TRIANGLES;
    }
}

// Adds the expanded block to the batch, which is drawn first when the block
// is of another draw mode or does not fit. A block larger than the bound is
// drawn on its own, and not kept.
static void add_to_batch(GlState *s, GLenum mode)
{
    if (mode != s->batch_mode || s->batch.size() + s->expanded.size() > web_gl_batch_bound)
        flush(s);
    s->batch_mode = mode;
    if (s->expanded.size() <= web_gl_batch_bound)
        s->batch.insert(s->batch.end(), s->expanded.begin(), s->expanded.end());
    else {
        draw(s, mode, s->expanded);
        std::vector<Vertex>().swap(s->expanded), std::vector<Vertex>().swap(s->block);
    }
}

// What a setter does: unless the call is invalid (`error`), changes a part
// of the copy, drawing the batch first; the same value again does nothing.
template <typename T> static void set(T Settings::*part, const T &value, bool valid = true, GLenum error = 0)
{
    GlState *s = outside_block();
    if (!s)
        return;
    if (!valid)
        return set_error(s, error);
    T &kept = s->settings.*part;
    if (memcmp(&kept, &value, sizeof kept) != 0)
        flush(s), memcpy(&kept, &value, sizeof kept);
}

// For an action or a matrix change: draws the batch; null where the call does nothing.
static GlState *changing()
{
    GlState *s = outside_block();
    if (s)
        flush(s);
    return s;
}

static float clamp(float x) { return x < 0 ? 0 : x > 1 ? 1 : x; }

static void multiply_current(const Matrix m)
{
    if (GlState *s = changing()) {
        multiply(s->stack->top(), m);
        s->product_stale = true;
    }
}

static void set_capability(GLenum cap, bool on)
{
    const unsigned bit = bit_of(cap), enabled = current ? current->settings.enabled : 0;
    set(&Settings::enabled, on ? enabled | bit : enabled & ~bit, bit != 0, GL_INVALID_ENUM);
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
    const float c[4] = {clamp(red), clamp(green), clamp(blue), clamp(alpha)};
    set(&Settings::clear_color, c);
}

void glClearDepth(GLclampd depth) { set(&Settings::clear_depth, clamp((float)depth)); }

void glDepthFunc(GLenum func)
{
    set(&Settings::depth_func, func, func >= GL_NEVER && func <= GL_ALWAYS, GL_INVALID_ENUM);
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
    const int v[4] = {x, y, width, height};
    set(&Settings::viewport, v, width >= 0 && height >= 0, GL_INVALID_VALUE);
}

void glClear(GLbitfield mask)
{
    GlState *s = outside_block();
    if (!s)
        return;
    const GLbitfield buffers = GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT;
    if (mask & ~(buffers | GL_ACCUM_BUFFER_BIT))
        return set_error(s, GL_INVALID_VALUE);
    flush(s);
    follow_context(s);
    // There is no accumulation buffer to clear.
    if (s->live && (mask & buffers)) {
        apply(s, false);
        emscripten_glClear(mask & buffers);
    }
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
    switch (mode) {
    case GL_MODELVIEW: s->stack = &s->modelview; break;
    case GL_PROJECTION: s->stack = &s->projection; break;
    case GL_TEXTURE: s->stack = &s->texture; break;
    default: set_error(s, GL_INVALID_ENUM);
    }
}

void glLoadIdentity(void)
{
    if (GlState *s = changing()) {
        load_identity(s->stack->top());
        s->product_stale = true;
    }
}

// The current matrix stays as it is, so the batch is not drawn.
void glPushMatrix(void)
{
    GlState *s = outside_block();
    if (!s)
        return;
    Stack &m = *s->stack;
    if (m.depth == m.limit)
        return set_error(s, GL_STACK_OVERFLOW);
    memcpy(m.matrices[m.depth], m.top(), sizeof(Matrix));
    ++m.depth;
}

void glPopMatrix(void)
{
    GlState *s = outside_block();
    if (!s)
        return;
    if (s->stack->depth == 1)
        return set_error(s, GL_STACK_UNDERFLOW);
    flush(s);
    --s->stack->depth;
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
    if (length == 0)
        return (void)outside_block();
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
    const GLenum mode = expand(s->primitive, s->block, s->shade == GL_FLAT, s->expanded);
    if (!s->expanded.empty())   // else too few vertices for one primitive
        add_to_batch(s, mode);
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
