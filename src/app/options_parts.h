// What the files of the options module share.
#pragma once

// The usage error in words, in a buffer of the module's; one at a time, as
// the parse stops at the first.
[[gnu::format(printf, 1, 2)]] const char* fault_options(const char* format, ...);
