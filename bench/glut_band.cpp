// THE PEER: the band as a Linux programmer would write it with freeglut, for
// the benchmark to hold sineband against. Same window (600 x 450 at 50, 50,
// double-buffered RGBA with depth), the very same GL calls (it links the scene
// library: Initial, Resize, Draw), and the same policy: draw and swap whenever
// idle, with no frame limit.
//
// Built with GLUT_CLEAR_ONLY it is the ceiling instead: each frame is nothing
// but glClear and the swap.
#include <GL/freeglut.h>

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
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(600, 450);
    glutInitWindowPosition(50, 50);
    glutCreateWindow("OpenGL");
#ifndef GLUT_CLEAR_ONLY
    Initial(600, 450);
#endif
    glutDisplayFunc(display);
    glutReshapeFunc(reshape);
    glutIdleFunc(display);
    glutMainLoop();
    return 0;
}
