// Xlib, for what SDL does not do for an X11 window: reading the frame the
// window manager put around it, reading the visual it was made with, reading
// the screen's scale, and ending the process as the layer does when the X
// server goes away.
#include "sdl_host.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

namespace compat {

static pid_t connected_pid;   // the process that opened the display

static int lost_x_server(Display *)
{
    // NOTE: SDL shows its X11 message box from a forked child, which has
    // this handler too. Only the program says the display is gone; the
    // child's failure ends the box, and the program then finds its own
    // connection gone.
    if (getpid() != connected_pid)
        _exit(1);
    input_lost_host("the X server closed the connection");
}

void x11_handle_lost_server()
{
    // NOTE: Xlib's own handler ends the process with status 1, which would
    // read as the program's normal end.
    connected_pid = getpid();
    XSetIOErrorHandler(lost_x_server);
    // NOTE: a write into a connection the server has closed raises SIGPIPE,
    // which would kill the process before Xlib sees the error and calls the
    // handler above. Windows has no such signal, and the program writes to
    // no pipe of its own.
    signal(SIGPIPE, SIG_IGN);
}

// NOTE: SDL takes the window manager's _NET_FRAME_EXTENTS in only as its
// events are read, so a window just shown has no frame in SDL's eyes; the
// property itself is there once the window is mapped.
void x11_frame_extents(HostWindow *w, int *left, int *top, int *right, int *bottom)
{
    *left = *top = *right = *bottom = 0;
    Display *dpy = static_cast<Display *>(w->x11.display);
    Atom type;
    int format;
    unsigned long count = 0, after;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(dpy, w->x11.window, XInternAtom(dpy, "_NET_FRAME_EXTENTS", False), 0, 4, False,
                           XA_CARDINAL, &type, &format, &count, &after, &data) == Success &&
        data && format == 32 && count == 4) {
        const long *e = reinterpret_cast<const long *>(data);
        *left = (int)e[0], *right = (int)e[1], *top = (int)e[2], *bottom = (int)e[3];
    }
    if (data)
        XFree(data);
}

unsigned long x11_window_visual(HostWindow *w)
{
    XWindowAttributes a;
    if (!XGetWindowAttributes(static_cast<Display *>(w->x11.display), w->x11.window, &a) || !a.visual)
        return 0;
    return XVisualIDFromVisual(a.visual);
}

// NOTE: X scales nothing itself. GNOME and KDE set Xft.dpi in the root
// window's resources at 200 % and more; GTK takes GDK_SCALE over it. A scale
// below 1 is taken as 1 (Windows scales no program down), and one past 8 as 8.
float x11_screen_scale()
{
    double scale = 0;
    const char *gdk = getenv("GDK_SCALE");
    if (gdk && *gdk)
        scale = (double)strtol(gdk, nullptr, 10);   // whole numbers only, as GTK takes it
    else if (Display *dpy = XOpenDisplay(nullptr)) {
        if (const char *resources = XResourceManagerString(dpy)) {
            XrmInitialize();
            XrmDatabase db = XrmGetStringDatabase(resources);
            char *type = nullptr;
            XrmValue value = {0, nullptr};
            if (db && XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr)
                scale = strtod(value.addr, nullptr) / 96;
            if (db)
                XrmDestroyDatabase(db);
        }
        XCloseDisplay(dpy);
    }
    return scale > 8 ? 8 : scale >= 1 ? (float)scale : 1;
}

}  // namespace compat
