#pragma once
#include "detector/quorvane.h"

// Both routines write straight into a 3-channel BGR buffer of width x height pixels whose rows are
// stride bytes apart. Every pixel is clipped against the image, so objects partly or wholly outside
// it, or with absurd coordinates, never touch bytes beyond the rows. count is read as 0..100 and
// each track_length as 0..200, whatever the detector left in them. A null buffer, an empty image
// or a stride shorter than a row draws nothing.

// Draws every object's track as a two-pixel-wide polyline in a colour derived from its id.
void draw_tracks(unsigned char *buffer, const qv_object *objects, int count, int width, int height, int stride);

// Draws a one-pixel box around every object in the colour of the event of its first flagged
// region (blue none, red enter, yellow leave; no box otherwise). region_count is read as 0..10.
void draw_boxes(unsigned char *buffer, const qv_object *objects, int count, int width, int height, int stride,
                int region_count);
