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

// Hands the whole pages among a block's bytes from `from` to `to` back to
// the system, now, though the block stays taken: they read as zeros after.
// Any block of ours may be spent so, once nothing will read those bytes
// again. Returns where the pages handed back end, the next call's from, so
// that a block spent piece by piece loses no page between pieces.
uint64_t spend_room(void* block, uint64_t from, uint64_t to);

// How the heap serves large blocks. Frames: blocks up to 32 MiB stay in the
// heap, as the GL driver allocates and frees its memory every frame and
// would otherwise fault the same pages in anew. Reading: blocks from 1 MiB
// are mapped apart, so that arrays grown by doubling move page by page and
// leave no freed copy resident behind them.
enum HeapUse { HEAP_FRAMES, HEAP_READING };
void use_heap_room(HeapUse use);
