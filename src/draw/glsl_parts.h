// What the files of the GLSL stages share.
#pragma once

#include <string>

// A stage's text with one piece put in place of another; the text as it is
// without the piece.
std::string replaced_glsl(std::string text, const char* piece, const std::string& by);

// The smooth stage's t1 and t2 for a vertex of dim coordinates bound to
// attributes, summed through the frame as columns_glsl sums the position.
std::string tangent_columns_glsl(int dim);
