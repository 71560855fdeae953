/* Watches an X display and prints, whenever it changes, the time since the start (ms) and
 * how many pixels of a screen region are colourful (the test pictures are; window
 * chrome, text and backgrounds are grey) and how many are not black (a window is up). Used by bench/side_by_side.sh to time any
 * picture browser by its screen alone:
 *   screen_poll SECONDS [X Y W H]   (DISPLAY chooses the display) */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static double NowMs(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

int main(int argc, char** argv)
{
    double seconds = argc > 1 ? atof(argv[1]) : 30;
    Display* display = NULL;
    double start = NowMs();
    while (display == NULL && NowMs() - start < 5000)
        display = XOpenDisplay(NULL);
    if (display == NULL)
        return 1;
    Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, root, &attributes);
    int x = argc > 5 ? atoi(argv[2]) : 0, y = argc > 5 ? atoi(argv[3]) : 0;
    int w = argc > 5 ? atoi(argv[4]) : attributes.width, h = argc > 5 ? atoi(argv[5]) : attributes.height;
    long last = -1;
    long lastShown = -1;
    while (NowMs() - start < seconds * 1000) {
        XImage* image = XGetImage(display, root, x, y, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
        if (image == NULL)
            return 1;
        long colourful = 0;
        long shown = 0;
        for (int j = 0; j < h; j += 2) {
            for (int i = 0; i < w; i += 2) {
                unsigned long p = XGetPixel(image, i, j);
                int r = (p >> 16) & 255, g = (p >> 8) & 255, b = p & 255;
                int hi = r > g ? (r > b ? r : b) : (g > b ? g : b);
                int lo = r < g ? (r < b ? r : b) : (g < b ? g : b);
                colourful += hi - lo > 60;
                shown += hi > 0;
            }
        }
        XDestroyImage(image);
        if (colourful != last || shown != lastShown) {
            printf("%.0f %ld %ld\n", NowMs() - start, colourful, shown);
            fflush(stdout);
            last = colourful;
            lastShown = shown;
        }
    }
    return 0;
}
