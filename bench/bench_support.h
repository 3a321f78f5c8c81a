#pragma once
// What the benchmark programs share: a count of the heap allocations made so far (the program
// that links bench_allocations.cpp replaces the global operator new to keep it), and the reading
// of a positive whole number from the command line.

#include <cstddef>

namespace qv::bench {

// How many times operator new has run since the program started.
std::size_t allocations();

// `text` as a positive whole number, or `fallback` when it is absent; anything else ends the
// program with status 2, naming `program`.
int wholeArgument(const char* program, const char* text, int fallback);

}  // namespace qv::bench
