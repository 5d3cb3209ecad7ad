// Guided tours on the surfaces on show: their triangles read once into
// memory for the index, each step's index told as progress and the frame
// where the tour stops printed with its index.
#pragma once

// Whether a step waits for the index (offscreen, where frames may wait) or
// holds the frame still until it is found (in the window, where none may).
void wait_pursuit(bool wait);

// Moves a running guided tour one step from the frame on show.
void advance_pursuit();

// Stops the work on the way and lets the copy of the surface go.
void stop_pursuit();
