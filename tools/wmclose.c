/* tibrel_wmclose <window id>: sends the window the WM_DELETE_WINDOW request a desktop's
 * close button sends, so a test can close a window on a display with no window manager. */
#include <stdio.h>
#include <stdlib.h>
#include <X11/Xlib.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s <window id>\n", argv[0]);
        return 2;
    }
    Display* d = XOpenDisplay(NULL);
    if (!d) {
        fprintf(stderr, "tibrel_wmclose: cannot open the display\n");
        return 1;
    }
    Window w = (Window)strtoul(argv[1], NULL, 0);
    XEvent e = {0};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
    e.xclient.data.l[1] = CurrentTime;
    Status sent = XSendEvent(d, w, False, NoEventMask, &e);
    XSync(d, False);
    XCloseDisplay(d);
    return sent ? 0 : 1;
}
