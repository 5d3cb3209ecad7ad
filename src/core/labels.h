// Labels on the picture: boxes in pixels, and where a label may go beside
// the end of a line so that it overlaps no other label and no line, pushed
// outward along its line or turned aside, with a leader line when it ends
// up away from the end it names.
#pragma once

// A box in pixels, x0 <= x1 and y0 <= y1.
struct Box {
    float x0, y0, x1, y1;
};

// A segment in pixels, from (x0, y0) to (x1, y1).
struct Segment {
    float x0, y0, x1, y1;
};

// Whether two boxes share any area.
bool overlap_labels(const Box& a, const Box& b);

// Whether a segment passes through a box or touches it.
bool crosses_labels(const Box& box, const Segment& segment);

// What a label must keep clear of, and the room it has.
struct Clearance {
    const Box* boxes;
    int box_count;
    const Segment* segments;
    int segment_count;
    Box room;     // the label must lie wholly inside it
    float margin; // kept free around the label, in pixels
};

// Finds a place for a box of the given width and height by the end of the
// line from `from` to `end`: just beyond the end along the line, else
// farther out, else turned aside from it by up to 90 degrees, nearest
// first. Returns 0 when no place is clear, 1 when the box lies by the end,
// 2 when it lies away from it and a leader from the end to *leader should
// show which end it names; puts the box in *placed.
int place_labels(const float* from, const float* end, float width, float height, const Clearance& clear,
    Box* placed, Segment* leader);

// The height of a label's digits on a drawing area side pixels across: in
// proportion to it, a 40th, and never under 10 pixels.
float digits_labels(int side);
