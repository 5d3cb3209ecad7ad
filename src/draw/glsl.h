// The GLSL stages: the vertex stage with the four-dimensional coordinate
// swap (in three forms: four coordinates bound, or all m through a frame,
// bound to attributes four at a time or fetched from textures), the
// lit fragment stage and the plain (unlit) fragment stage, and the stages
// made from them for the cues and the finish: colour by w, transparent
// layers, and the pass that lays the layers over the picture.
#pragma once

extern const char* const vs;
extern const char* const vs_frame; // the same through a frame of R^m
extern const char* const fs;
extern const char* const fs_plain;

// The vertex stage, bound to the coordinate choice (vs) or through a frame,
// taking the tangent planes for smooth light or not. Through a frame, a
// vertex of columns coordinates is read from attributes where they fit in
// most_columns_glsl locations; with columns 0, or where they do not fit,
// it is fetched from textures (vs_frame).
const char* vertex_glsl(bool smooth, bool framed, int columns);

// Attribute locations the stage that reads dim coordinates from attributes
// takes: ceil(dim / 4) for the coordinates, and as many for the normals.
int locations_glsl(int dim);

// The locations it may take: GL guarantees 16, and two are kept for what a
// kind of shape reads besides both ends of a segment (a colour and a join);
// so m up to 28.
constexpr int most_columns_glsl = 14;

// With smooth light, a triangle's vertex stage reads the number of the
// vertex's point, whose tangent plane it fetches, past those.
constexpr int point_location_glsl = 15;

// The lit fragment stage, coloured by w or not, writing the picture or the
// transparent layers; fs for neither.
const char* lit_glsl(bool tint, bool layered);

// The plain fragment stage, coloured by w or not; fs_plain for not.
const char* plain_glsl(bool tint);

// A surface's stage (vertex or fragment) that takes a colour of each
// vertex, fetched from the texture "paint", in place of "color" where the
// uniform "painted" is 1.
const char* painted_glsl(const char* stage, bool vertex);

// The start of a vertex stage that reads the four chosen coordinates of a
// vertex from locations 0 to 3 (position4()), or that fetches all m of
// vertex number v through a frame of R^m (fetched(coords, v)).
const char* position_glsl();
const char* fetch_glsl();

// The start of a vertex stage that reads all dim coordinates and normal
// components of a vertex from attributes through a frame of R^m, as the
// stage of vertex_glsl does (position4() and normal4()); dim up to 28.
const char* columns_glsl(int dim);

// What every kind's vertex stage shares, after its inputs: the uniforms of
// the view, and how a point of R^4 is shown (shownPoint), seen from the 4-D
// eye (eyeWeight), cut (cutDistances) and moved by zoom and pan (pictured).
const char* place_glsl();

// The map of w for a fragment stage: mapColor(), from the W it takes in.
const char* map_glsl();

// Lines and points: instances of four vertices, a quad about a segment from
// the instance's vertex to the next, or about a point, read through the
// coordinate choice or fetched through a frame of R^m. The colour comes at
// location 8 and, for lines, whether a segment leaves the vertex at 9.
const char* line_vertex_glsl(bool framed);
const char* point_vertex_glsl(bool framed);

// Their fragment stage: flat, as lines are, or round, lit as a tube or a
// little sphere; coloured as given or by w.
const char* stroke_fragment_glsl(bool round, bool tint);

// The pass that lays the transparent layers over the picture: a triangle
// over the viewport, and the layers' mean colour over what they let through.
extern const char* const composite_vs;
extern const char* const composite_fs;
