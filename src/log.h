// The log: the fixed progress messages on standard output, which a quiet
// run leaves out.
#pragma once

// Writes a progress message to standard output as it stands, unless quiet.
void mlog(const char* message);

// From now on, mlog prints nothing (or again, with false).
void quiet_log(bool quiet);
