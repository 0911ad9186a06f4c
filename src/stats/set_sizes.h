#pragma once

#include <cstddef>
#include <vector>

/// Prints "No. sets", the smallest, largest and mean number of genes of the sets whose sizes
/// are given (all three 0 for no set), the mean in float as the console has always shown it.
/// The mean's line gets no newline: each caller's summary goes on from there.
void print_set_sizes(const std::vector<std::size_t>& sizes);
