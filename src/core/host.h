// What the host offers to work that knows no GL, named as features as the
// platform's GL differences are: the page is built without threads, so
// long work runs there between frames.
#pragma once

#ifdef __EMSCRIPTEN__
constexpr bool has_threads_platform = false;
#else
constexpr bool has_threads_platform = true;
#endif
