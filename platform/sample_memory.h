// The large blocks behind the sample stores. Every page of a block is made
// resident, and written once, before the block is handed out: the loader then
// fills it without taking a fault per page, and the driver's real-time thread
// never takes a first-use fault (or, on a guest with shadow paging, a first
// write's trap to the hypervisor) when it records into one.
#pragma once

#include <cstddef>
#include <cstdint>

// Null when the memory cannot be had, including when the system cannot make
// the pages resident.
uint8_t* allocateSampleBlock(size_t bytes);

// The same in two steps, so that the pages can be made resident on another
// thread: the block as allocated, then every page of it resident (false when
// the system cannot; the block stays usable but may fault on first use).
uint8_t* reserveSampleBlock(size_t bytes);
bool makeSampleBlockResident(uint8_t* block, size_t bytes);

// Null is allowed.
void freeSampleBlock(uint8_t* block);
