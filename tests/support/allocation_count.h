// Counts the process's calls to malloc, calloc and realloc while counting is
// on, from every thread and every library (the plug-in's and SDL's
// included): the program that links kelvo_allocation_count defines the
// malloc family itself and exports it. Not for sanitizer builds, whose
// allocator must stay its own.
#ifndef KELVO_TESTS_SUPPORT_ALLOCATION_COUNT_H
#define KELVO_TESTS_SUPPORT_ALLOCATION_COUNT_H

void CountAllocations(bool on);
// Calls counted so far, over every stretch of counting.
long CountedAllocations();
// Makes the counted call with this index (counting from 0 over every
// stretch) fail as an exhausted heap would: null, errno ENOMEM.
void FailCountedAllocation(long index);

#endif
