// The web host's OpenGL 1.1 (web_gl.cpp), built natively against a recording
// stand-in for WebGL: what a program's GL calls become, as GL 1.1 defines
// them and batched into as few draws as the state allows.
#include "web_host.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "scene.h"

struct Drawn {
    unsigned mode;
    std::vector<int> ids, reds;   // each vertex's x, and its colour's red
    std::array<float, 16> product;
};

static std::vector<std::string> calls;   // the WebGL calls, as "name args"
static std::vector<Drawn> draws;
static std::string buffer;
static std::array<float, 16> product;
static int stride, color_offset, generation;
static float scale = 1;   // the page's drawing buffer pixels a window pixel

static void call(const std::string &what) { calls.push_back(what); }
static std::string Text(const std::string &name, size_t n) { return name + " " + std::to_string(n); }

extern "C" {
unsigned emscripten_glCreateShader(unsigned) { return 1; }
void emscripten_glShaderSource(unsigned, int, const char *const *, const int *) {}
void emscripten_glCompileShader(unsigned) {}
unsigned emscripten_glCreateProgram(void) { return call("createProgram"), 2; }
void emscripten_glAttachShader(unsigned, unsigned) {}
void emscripten_glBindAttribLocation(unsigned, unsigned, const char *) {}
void emscripten_glLinkProgram(unsigned) {}
void emscripten_glUseProgram(unsigned) {}
int emscripten_glGetUniformLocation(unsigned, const char *) { return 3; }
void emscripten_glUniform1f(int, float z) { call("pointSize " + std::to_string((int)z)); }
void emscripten_glLineWidth(float w) { call("lineWidth " + std::to_string((int)w)); }
void emscripten_glUniformMatrix4fv(int, int, unsigned char, const float *m) { memcpy(product.data(), m, 64); }
void emscripten_glGenBuffers(int, unsigned *b) { *b = 4; }
void emscripten_glBindBuffer(unsigned, unsigned) {}
void emscripten_glBufferData(unsigned, intptr_t size, const void *d, unsigned) { buffer.assign((const char *)d, size); }
void emscripten_glVertexAttribPointer(unsigned index, int, unsigned, unsigned char, int s, const void *offset)
{
    stride = s, color_offset = index == 1 ? (int)(intptr_t)offset : color_offset;
}
void emscripten_glEnableVertexAttribArray(unsigned) {}
void emscripten_glDrawArrays(unsigned mode, int first, int count)
{
    Drawn d = {mode, {}, {}, product};
    for (int i = first; i < first + count; ++i) {
        float x;   // the position comes first
        memcpy(&x, &buffer[(size_t)(i * stride)], sizeof x);
        d.ids.push_back((int)x), d.reds.push_back((unsigned char)buffer[(size_t)(i * stride + color_offset)]);
    }
    draws.push_back(d);
    static const char *const modes[] = {"points", "lines", "line loop", "line strip", "triangles"};
    call(Text(std::string("draw ") + modes[mode], (size_t)count));
}
void emscripten_glClear(unsigned) { call("clear"); }
void emscripten_glClearColor(float r, float, float, float) { call("clearColor " + std::to_string(r)); }
void emscripten_glClearDepthf(float) {}
void emscripten_glDepthFunc(unsigned f) { call(Text("depthFunc", f)); }
void emscripten_glEnable(unsigned cap) { call(Text("enable", cap)); }
void emscripten_glDisable(unsigned cap) { call(Text("disable", cap)); }
void emscripten_glViewport(int x, int y, int w, int h) { call(Text(Text(Text(Text("viewport", x), y), w), h)); }
void emscripten_glFlush(void) {}
void emscripten_glFinish(void) {}
int web_gl_generation(void) { return generation; }
void web_gl_scale(float *x, float *y) { *x = *y = scale; }
}

namespace {

// A block of n vertices, vertex i at x = i with red i (from 1).
void Block(GLenum primitive, int n)
{
    glBegin(primitive);
    for (int i = 1; i <= n; ++i)
        glColor3ub((GLubyte)i, 0, 0), glVertex3f((float)i, 0, 0);
    glEnd();
}

class WebGl : public ::testing::Test {
protected:
    compat::GlState *gl = nullptr;
    void SetUp() override
    {
        generation = 0, scale = 1;
        compat::web_gl_make_current(gl = compat::web_gl_create(100, 80));
        calls.clear(), draws.clear();
    }
    void TearDown() override { compat::web_gl_destroy(gl); }

    static bool Has(const std::string &what) { return std::find(calls.begin(), calls.end(), what) != calls.end(); }
    // Calls f n times, and gives the error that leaves.
    static GLenum Times(int n, void (*f)()) { for (; n > 0; --n) f(); return glGetError(); }
};

// What GL 1.1 draws for each primitive (vertices counted from 1), and the
// colour each vertex takes with flat shading: its primitive's provoking one.
struct Expansion { GLenum primitive; int n; GLenum mode; std::vector<int> ids, flat; };
const Expansion expansions[] = {
    {GL_POINTS, 3, GL_POINTS, {1, 2, 3}, {1, 2, 3}},
    {GL_LINES, 5, GL_LINES, {1, 2, 3, 4}, {2, 2, 4, 4}},
    {GL_LINE_STRIP, 3, GL_LINES, {1, 2, 2, 3}, {2, 2, 3, 3}},
    {GL_LINE_LOOP, 3, GL_LINES, {1, 2, 2, 3, 3, 1}, {2, 2, 3, 3, 1, 1}},
    {GL_TRIANGLES, 7, GL_TRIANGLES, {1, 2, 3, 4, 5, 6}, {3, 3, 3, 6, 6, 6}},
    {GL_TRIANGLE_STRIP, 5, GL_TRIANGLES, {1, 2, 3, 3, 2, 4, 3, 4, 5}, {3, 3, 3, 4, 4, 4, 5, 5, 5}},
    {GL_TRIANGLE_FAN, 5, GL_TRIANGLES, {1, 2, 3, 1, 3, 4, 1, 4, 5}, {3, 3, 3, 4, 4, 4, 5, 5, 5}},
    {GL_QUADS, 9, GL_TRIANGLES, {1, 2, 3, 1, 3, 4, 5, 6, 7, 5, 7, 8}, {4, 4, 4, 4, 4, 4, 8, 8, 8, 8, 8, 8}},
    {GL_QUAD_STRIP, 6, GL_TRIANGLES, {1, 2, 4, 1, 4, 3, 3, 4, 6, 3, 6, 5}, {4, 4, 4, 4, 4, 4, 6, 6, 6, 6, 6, 6}},
    {GL_POLYGON, 5, GL_TRIANGLES, {1, 2, 3, 1, 3, 4, 1, 4, 5}, {1, 1, 1, 1, 1, 1, 1, 1, 1}},
};

TEST_F(WebGl, EachPrimitiveBecomesWhatGlDrawsSmoothAndFlat)
{
    for (const Expansion &e : expansions)
        for (GLenum shade : {GL_SMOOTH, GL_FLAT}) {
            draws.clear(), glShadeModel(shade), Block(e.primitive, e.n), compat::web_gl_flush_frame();
            ASSERT_EQ(draws.size(), 1u) << e.primitive;
            EXPECT_EQ(draws[0].mode, e.mode) << e.primitive;
            EXPECT_EQ(draws[0].ids, e.ids) << e.primitive;
            EXPECT_EQ(draws[0].reds, shade == GL_FLAT ? e.flat : e.ids) << e.primitive << " shade " << shade;
        }
}

// The batch's rules: what WebGL is told for a point, the calls, a point and the frame's end.
struct Rule { const char *name; void (*calls)(); std::vector<std::string> webgl; };
void PrintTo(const Rule &rule, std::ostream *out) { *out << rule.name; }
const size_t bound = compat::web_gl_batch_bound;
const std::string one = "draw points 1";
const Rule rules[] = {
    {"ADrawModeChangeFlushes", [] { Block(GL_QUADS, 4); }, {one, "draw triangles 6", one}},
    {"ACapabilityChangeFlushes", [] { glEnable(GL_CULL_FACE); }, {one, Text("enable", GL_CULL_FACE), one}},
    {"ADepthFunctionChangeFlushes", [] { glDepthFunc(GL_LEQUAL); }, {one, Text("depthFunc", GL_LEQUAL), one}},
    {"AViewportChangeFlushes", [] { glViewport(1, 2, 3, 4); }, {one, "viewport 1 2 3 4", one}},
    {"AMatrixChangeFlushes", [] { glPushMatrix(), glTranslatef(1, 0, 0), Block(GL_POINTS, 1), glPopMatrix(); },
     {one, one, one}},
    {"WhatChangesNoDrawingDoesNotFlush", [] {
         glEnable(GL_DITHER), glDisable(GL_BLEND), glDepthFunc(GL_LESS), glViewport(0, 0, 100, 80);
         glShadeModel(GL_FLAT), glColor3ub(9, 9, 9), glMatrixMode(GL_PROJECTION), glPushMatrix();
     }, {"draw points 2"}},
    {"AClearFlushesBeforeItClears", [] { glClear(GL_COLOR_BUFFER_BIT); }, {one, "clear", one}},
    {"FlushAndFinishFlush", [] { glFlush(), Block(GL_POINTS, 1), glFinish(); }, {one, one, one}},
    {"AFullBatchFlushesBeforeItGrows", [] { Block(GL_POINTS, bound - 1); }, {Text("draw points", bound), one}},
    {"ABlockPastTheBoundIsDrawnAlone", [] { Block(GL_POINTS, bound + 1); }, {one, Text("draw points", bound + 1), one}},
    // At ratio 2 a window pixel is 2 x 2 of the buffer's, from the first draw
    // after the change, and points and lines are 2 wide.
    {"AtRatio2AWindowPixelIsTwoOfTheBuffers", [] { scale = 2, glViewport(1, 2, 3, 4); },
     {"viewport 0 0 200 160", "pointSize 2", "lineWidth 2", one, "viewport 2 4 6 8", one}},
    // A frame of the band, once set up: 200 quadrilaterals, two triangles each.
    {"AFrameOfTheBandIsAClearAndOneDraw", [] { Initial(592, 423), Draw(), glFlush(), calls.clear(), Draw(); },
     {"clear", "draw triangles 1200", one}},
};

class Batch : public WebGl, public ::testing::WithParamInterface<Rule> {};
TEST_P(Batch, Holds)
{
    Block(GL_POINTS, 1), GetParam().calls(), Block(GL_POINTS, 1);
    compat::web_gl_flush_frame();
    EXPECT_EQ(calls, GetParam().webgl);
}
INSTANTIATE_TEST_SUITE_P(WebGl, Batch, ::testing::ValuesIn(rules), [](const auto &rule) { return rule.param.name; });

TEST_F(WebGl, ErrorsAreGl11sAndTheFirstIsKept)
{
    // Inside a block only vertices and colours count.
    glBegin(GL_TRIANGLES);
    glEnable(GL_DEPTH_TEST), glViewport(0, 0, 1, 1), glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION), glTranslatef(5, 0, 0), glBegin(GL_POINTS);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);   // itself not allowed here
    glVertex2f(1, 0), glVertex2f(2, 0), glVertex2f(3, 0), glEnd(), compat::web_gl_flush_frame();
    EXPECT_EQ(draws[0].product[12], 0.0f);   // drawn with the modelview untranslated
    EXPECT_EQ(glGetError(), (GLenum)GL_INVALID_OPERATION);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

    const struct { void (*call)(); GLenum error; } cases[] = {
        {[] { glEnd(); }, GL_INVALID_OPERATION},
        {[] { glBegin(GL_POLYGON + 1); }, GL_INVALID_ENUM},
        {[] { glEnable(GL_LIGHTING); }, GL_INVALID_ENUM},
        {[] { glMatrixMode(GL_COLOR); }, GL_INVALID_ENUM},
        {[] { glDepthFunc(GL_ZERO); }, GL_INVALID_ENUM},
        {[] { glShadeModel(GL_LINE); }, GL_INVALID_ENUM},
        {[] { glViewport(0, 0, -1, 1); }, GL_INVALID_VALUE},
        {[] { glClear(GL_COLOR_BUFFER_BIT | 1); }, GL_INVALID_VALUE},
        {[] { glFrustum(-1, 1, -1, 1, 0, 1); }, GL_INVALID_VALUE},
        {[] { glOrtho(1, 1, -1, 1, 0, 1); }, GL_INVALID_VALUE},
    };
    for (const auto &c : cases) {
        c.call();
        glEnd();   // an error too, but the first is the one kept
        EXPECT_EQ(glGetError(), c.error);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    }
    // Of all that, only the one triangle reached WebGL.
    EXPECT_EQ(calls, (std::vector<std::string>{"draw triangles 3"}));
}

TEST_F(WebGl, MatrixStacksHoldGl11sMinimumsAndMapAsGlDoes)
{
    for (GLenum mode : {GL_MODELVIEW, GL_PROJECTION}) {
        const int depth = mode == GL_MODELVIEW ? 32 : 2;
        glMatrixMode(mode);
        EXPECT_EQ(Times(depth - 1, glPushMatrix), (GLenum)GL_NO_ERROR);
        EXPECT_EQ(Times(1, glPushMatrix), (GLenum)GL_STACK_OVERFLOW);
        glTranslatef(7, 0, 0);   // lost with the pops
        EXPECT_EQ(Times(depth - 1, glPopMatrix), (GLenum)GL_NO_ERROR);
        EXPECT_EQ(Times(1, glPopMatrix), (GLenum)GL_STACK_UNDERFLOW);
    }
    // (1, 0, 0) scaled by 2 in x, turned 90 degrees about z, moved by (1, 1):
    // (1, 3), which the ortho box [0, 4] x [0, 2] puts at (-0.5, 2).
    glMatrixMode(GL_PROJECTION), glOrtho(0, 4, 0, 2, -1, 1), glMatrixMode(GL_MODELVIEW);
    glTranslatef(1, 1, 0), glRotatef(90, 0, 0, 1), glScalef(2, 1, 1);
    Block(GL_POINTS, 1), compat::web_gl_flush_frame();   // at (1, 0, 0)
    ASSERT_EQ(draws.size(), 1u);
    const float *m = draws[0].product.data(), expected[4] = {-0.5f, 2, 0, 1};
    for (int row = 0; row < 4; ++row)   // the product times (1, 0, 0, 1)
        EXPECT_NEAR(m[row] + m[12 + row], expected[row], 1e-6) << row;
}

TEST_F(WebGl, ALostContextIsGivenItsStateBackWhenRestored)
{
    generation = -1;
    compat::web_gl_follow_context();   // as after a swap
    glViewport(1, 2, 3, 4), glEnable(GL_DEPTH_TEST), glDepthFunc(GL_LEQUAL), glClearColor(0.5f, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT), Block(GL_TRIANGLES, 3), compat::web_gl_flush_frame();
    EXPECT_EQ(calls, std::vector<std::string>{});   // nothing reaches a lost context

    generation = 1, glClear(GL_COLOR_BUFFER_BIT);
    for (const std::string &what : std::vector<std::string>{"createProgram", "viewport 1 2 3 4", "clearColor 0.500000",
                                                          Text("enable", GL_DEPTH_TEST), Text("depthFunc", GL_LEQUAL)})
        EXPECT_TRUE(Has(what)) << what;
    EXPECT_EQ(calls.back(), "clear");
    glClearColor(0.25f, 0, 0, 0), glClear(GL_COLOR_BUFFER_BIT);   // with the colour set since
    EXPECT_EQ(calls.end()[-2], "clearColor 0.250000");

    // With no current context, nothing happens at all.
    compat::web_gl_make_current(nullptr), calls.clear();
    glEnable(GL_CULL_FACE), Block(GL_TRIANGLES, 3), glClear(GL_COLOR_BUFFER_BIT), glEnd();
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    EXPECT_EQ(calls, std::vector<std::string>{});
}

}  // namespace
