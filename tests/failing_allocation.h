// Lets a test refuse one of the program's checked array allocations
// (new (std::nothrow) T[n]), to exercise the paths that run out of memory.
#pragma once

// The n-th checked array allocation from now on (0 = the next one) returns
// null; -1 refuses none.
void refuseCheckedAllocation(long n);

// Checked array allocations made since the last refuseCheckedAllocation call.
long checkedAllocationsSeen();
