// What the files of the GLSL stages share.
#pragma once

#include <string>

// A stage's text with one piece put in place of another; the text as it is
// without the piece.
std::string replaced_glsl(std::string text, const char* piece, const std::string& by);

