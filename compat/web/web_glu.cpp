// GLU for the web backend: the two calls the scene makes, as GLU defines
// them, each multiplied onto the current matrix.
//
// NOTE: Emscripten brings a GLU only with its fixed-function emulation,
// which the page does without (web_gl.cpp is its OpenGL).
#include <GL/gl.h>
#include <GL/glu.h>

#include <math.h>

// A frustum of vertical angle fovy (degrees) and width/height ratio aspect.
// Degenerate arguments leave the matrix alone, as GLU's reference code does.
void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar)
{
    const double half = fovy / 2 * M_PI / 180;
    const double depth = zFar - zNear;
    const double sine = sin(half);
    if (depth == 0 || sine == 0 || aspect == 0)
        return;
    const double f = cos(half) / sine;
    // Column by column.
    const GLdouble m[16] = {
        f / aspect, 0, 0, 0,
        0, f, 0, 0,
        0, 0, -(zFar + zNear) / depth, -1,
        0, 0, -2 * zNear * zFar / depth, 0,
    };
    glMultMatrixd(m);
}

static void normalize(float v[3])
{
    float length = sqrtf(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length == 0)
        return;
    v[0] /= length, v[1] /= length, v[2] /= length;
}

static void cross(const float a[3], const float b[3], float out[3])
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

// The eye at (eyeX, eyeY, eyeZ) looking at the centre, `up` upwards: a
// rotation that takes the view direction to -z and up to +y, then a
// translation of the eye to the origin.
void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY, GLdouble centerZ,
               GLdouble upX, GLdouble upY, GLdouble upZ)
{
    float forward[3] = {(float)(centerX - eyeX), (float)(centerY - eyeY), (float)(centerZ - eyeZ)};
    float up[3] = {(float)upX, (float)upY, (float)upZ};
    float side[3], upward[3];
    normalize(forward);
    cross(forward, up, side);
    normalize(side);
    cross(side, forward, upward);
    // Rows side, upward and -forward, written column by column.
    const GLfloat m[16] = {
        side[0], upward[0], -forward[0], 0,
        side[1], upward[1], -forward[1], 0,
        side[2], upward[2], -forward[2], 0,
        0, 0, 0, 1,
    };
    glMultMatrixf(m);
    glTranslated(-eyeX, -eyeY, -eyeZ);
}
