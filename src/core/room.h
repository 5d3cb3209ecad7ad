// Room for work over millions of items: blocks in whole pages, large ones
// on 2 MiB pages where the kernel offers them on request, since faulting in
// 4 KiB pages one by one costs as much as the work itself, and handed back
// to the system when let go, which a heap may keep. No GL.
#pragma once

#include <cstdint>

// A block of at least bytes + 1 bytes (so that none is never asked for),
// starting on a page; none when memory runs out. GL takes such a block as
// buffer storage where it takes ours.
void* take_room(uint64_t bytes);

// Lets go of a block that take_room gave for the same bytes; none is ignored.
void give_room(void* room, uint64_t bytes);
