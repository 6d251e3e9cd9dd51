#include "overlay/drawing.h"

// Placeholders until the drawing lands.
void draw_tracks(unsigned char *, const qv_object *, int, int, int, int) {}
void draw_boxes(unsigned char *, const qv_object *, int, int, int, int, int) {}
