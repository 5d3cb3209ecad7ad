// Frames of R^m: four orthonormal rows F, so that the shown (x, y, z, w) of a
// vertex with coordinates c are F c. A coordinate choice is the frame whose
// rows are the chosen unit vectors. Frames are made, turned in planes of
// coordinates, pulled by a coordinate's axis, drawn at random and walked
// along geodesics between their 4-planes; no GL.
#pragma once

#include <cstdint>

constexpr int max_dim_frame = 255;

struct Frame {
    uint8_t dim;                  // m; 0 for none
    float rows[4][max_dim_frame]; // x, y, z, w; the first dim of each row count
};

// The frame of a coordinate choice (indices from 0, each below dim).
void choice_frame(const uint8_t show[4], uint8_t dim, Frame* frame);

// Turns coordinate a toward coordinate b by angle, in the plane of the two
// in R^m, as xw turns x toward w: 1:5 = 90 degrees shows x5 where x1 was.
void turn_frame(Frame* frame, int a, int b, float angle);

// F becomes turn4 F; turn4 is 16 floats, column by column.
void compose_frame(const float* turn4, Frame* frame);

// Whether F is a coordinate choice under a 4-D turn: then show receives the
// choice and turn4 (column by column) the turn, so that F = turn4 choice.
// Every frame of R^4 is one.
bool reduce_frame(const Frame* frame, uint8_t show[4], float* turn4);

// How far the rows are from orthonormal: the largest error of a dot product.
float error_frame(const Frame* frame);

// Makes the rows orthonormal again, as near as can be. Returns 0 when they
// span fewer than four directions.
int orthonormalise_frame(Frame* frame);

// A frame drawn at random, uniform over the 4-planes of R^dim, from the
// generator's state; the same state gives the same frame on every platform
// to float precision. Of fewer than four coordinates, a frame of zeros.
void random_frame(uint64_t* state, uint8_t dim, Frame* frame);

// Moves the column of coordinate k, its shown direction, toward column (4
// floats), keeping the rows orthonormal: the nearest frame whose column k
// is the one asked for, as a manual tour moves one coordinate.
void pull_frame(Frame* frame, int k, const float* column);

// The largest length of F c over count vertices of dim coordinates; those
// not finite do not count.
float reach_frame(const Frame* frame, const float* coords, uint64_t count);

// The same for the coordinate choice show[0..3], from the four alone.
float reach_choice_frame(const uint8_t show[4], uint8_t dim, const float* coords, uint64_t count);

// The largest |weights . c| over count vertices c of dim coordinates:
// how far one combination of them, such as the shown w, reaches. Those not
// finite do not count.
float extent_frame(const float* weights, int dim, const float* coords, uint64_t count);

// A path between two frames: their 4-planes joined along the geodesic of the
// Grassmannian, each principal angle at a constant pace (Buja, Cook, Asimov
// and Hurley 2005), while the frame turns within the moving plane at a
// constant pace so as to arrive at the second frame itself.
struct Geodesic {
    Frame from, to; // the ends; to may have its last row turned the other way
    uint8_t dim;
    double u[4][4];              // the first frame's rows turned onto its principal vectors
    double ga[4][max_dim_frame]; // the principal vectors of the first plane
    double gz[4][max_dim_frame]; // the direction each turns toward, square to it
    double tau[4];               // the principal angles
    double q[4][4];              // the turn within the plane: its invariant planes
    double theta[2];             // and its angle in each
    double angle;                // the largest angle of all, radians
};

// Prepares the path from a to b, both of the same dim. Returns 0 when it
// cannot be walked (the frames span fewer than four directions).
int start_geodesic_frame(const Frame* a, const Frame* b, Geodesic* path);

// The frame at fraction t of the path, from 0 (a) to 1 (b).
void walk_geodesic_frame(const Geodesic* path, double t, Frame* frame);

// The principal angles between the 4-planes of a and b, in radians, largest first.
void angles_frame(const Frame* a, const Frame* b, double* angles);
