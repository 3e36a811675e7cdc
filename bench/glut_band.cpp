// THE PEER: the band as a Linux programmer would write it with freeglut, for
// the benchmark to hold sineband against. Same window (600 x 450 at 50, 50,
// double-buffered RGBA with depth), the very same GL calls (it links the scene
// library: Initial, Resize, Draw), and the same policy: draw and swap whenever
// idle, with no frame limit.
//
// Built with GLUT_CLEAR_ONLY it is the ceiling instead: each frame is nothing
// but glClear and the swap. `glut_band WIDTHxHEIGHT` makes the window that
// size instead, as sineband's is on a scaled screen.
#include <GL/freeglut.h>
#include <stdio.h>

#include "../scene/scene.h"

static void display()
{
#ifdef GLUT_CLEAR_ONLY
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
#else
    Draw();
#endif
    glutSwapBuffers();
}

static void reshape(int width, int height)
{
#ifdef GLUT_CLEAR_ONLY
    glViewport(0, 0, width, height);
#else
    Resize(width, height);
#endif
}

int main(int argc, char **argv)
{
    glutInit(&argc, argv);
    int width = 600, height = 450;
    if (argc > 1 && (sscanf(argv[1], "%dx%d", &width, &height) != 2 || width < 1 || height < 1))
        return 2;
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(width, height);
    glutInitWindowPosition(50, 50);
    glutCreateWindow("OpenGL");
#ifndef GLUT_CLEAR_ONLY
    Initial(width, height);
#endif
    glutDisplayFunc(display);
    glutReshapeFunc(reshape);
    glutIdleFunc(display);
    glutMainLoop();
    return 0;
}
