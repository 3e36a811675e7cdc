// The sine band: 200 overlapping strips whose depth follows 1.3 sin(x),
// drawn white on black in immediate mode under a 45 degree perspective.
#include <windows.h>
#include <GL/gl.h>
#include <GL/glu.h>
#include <math.h>

#include "scene.h"

float Xrot, Yrot, Zrot;
float Px, Px1, Px2, Py1, Py2, Pz1, Pz2;

// NOTE: the near plane is the float 0.1 widened, not the double 0.1.
static void Perspective(int Width, int Height)
{
    gluPerspective(45.0, (GLfloat)Width / (GLfloat)Height, 0.1f, 100.0);
}

void Initial(int Width, int Height)
{
    if (Height == 0)
        Height = 1;
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepth(1.0);
    glDepthFunc(GL_LESS);
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    Perspective(Width, Height);
    glMatrixMode(GL_MODELVIEW);
}

void Resize(int Width, int Height)
{
    if (Height == 0)
        Height = 1;
    glViewport(0, 0, Width, Height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    Perspective(Width, Height);
    glMatrixMode(GL_MODELVIEW);
}

void Draw()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    gluLookAt(0.0, -10.0, 25.0, 0.0, 0.0, 0.0, 0.0, 100.0, 0.0);
    glTranslatef(-1.5f, 0.0f, -5.0f);
    glTranslatef(0.0f, 0.0f, -5.0f);
    glRotatef(Xrot, 1.0f, 0.0f, 0.0f);
    glRotatef(Yrot, 0.0f, 1.0f, 0.0f);
    glRotatef(Zrot, 0.0f, 0.0f, 1.0f);

    for (Px = -100.0f; Px < 100.0f; Px += 1.0f) {
        Px1 = (float)(Px / 10.0);
        Px2 = Px1 + 1.0f;
        Py1 = -3.0f;
        Py2 = 3.0f;
        // NOTE: the sine is taken in double; C++ would pick the float
        // overload for a float argument.
        Pz1 = (float)(sin((double)Px1) * 1.3);
        Pz2 = (float)(sin((double)Px2) * 1.3);
        glBegin(GL_POLYGON);
        glVertex3f(Px1, Py1, Pz1);
        glVertex3f(Px1, Py2, Pz1);
        glVertex3f(Px2, Py2, Pz2);
        glVertex3f(Px2, Py1, Pz2);
        glEnd();
    }

    Xrot += 0.0f;
    Yrot += 0.0f;
    Zrot += 0.0f;
}
