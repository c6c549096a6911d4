// Takes a picture of a window and tells whether anything is drawn in it.
// Usage: window_shot <window id> [picture.ppm]
// Prints "<width> <height> <colours>" (colours: distinct pixel values, counted
// up to 256) and writes the picture when asked.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>

#define MAX_COLOURS 256

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) return 2;
  Display* d = XOpenDisplay(NULL);
  if (!d) return 1;
  Window w = (Window)strtoul(argv[1], NULL, 0);
  XWindowAttributes a;
  if (!XGetWindowAttributes(d, w, &a) || a.map_state != IsViewable) return 1;
  XImage* image = XGetImage(d, w, 0, 0, (unsigned)a.width, (unsigned)a.height, AllPlanes, ZPixmap);
  if (!image) return 1;
  static unsigned long seen[MAX_COLOURS];
  int colours = 0;
  FILE* out = argc == 3 ? fopen(argv[2], "wb") : NULL;
  if (out) fprintf(out, "P6\n%d %d\n255\n", a.width, a.height);
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) {
      unsigned long pixel = XGetPixel(image, x, y);
      if (out) {
        unsigned char rgb[3] = {(unsigned char)(pixel >> 16), (unsigned char)(pixel >> 8),
                                (unsigned char)pixel};
        fwrite(rgb, 1, 3, out);
      }
      int known = 0;
      for (int i = 0; i < colours && !known; ++i) known = seen[i] == pixel;
      if (!known && colours < MAX_COLOURS) seen[colours++] = pixel;
    }
  }
  if (out) fclose(out);
  printf("%d %d %d\n", a.width, a.height, colours);
  XDestroyImage(image);
  XCloseDisplay(d);
  return 0;
}
