#pragma once
#include "detector/quorvane.h"

// Draws every object's track as a two-pixel-wide polyline in a colour derived
// from its id, straight into a 3-channel BGR buffer whose rows are stride bytes apart.
void draw_tracks(unsigned char *buffer, const qv_object *objects, int count, int width, int height, int stride);

// Draws a one-pixel box around every object in the colour of the event of its
// first flagged region (blue none, red enter, yellow leave; no box otherwise).
void draw_boxes(unsigned char *buffer, const qv_object *objects, int count, int width, int height, int stride,
                int region_count);
