#pragma once
// Large pictures in large pages. On these machines a page fault costs more
// than the arithmetic done in the fresh page, and every full-frame matrix
// touches tens of thousands of 4 KiB pages. Matrices of at least
// kLargeMatrixBytes are therefore mapped on their own, aligned to 2 MiB and
// marked for transparent huge pages, which the kernel then fills 512 small
// pages at a time (where it supports them; elsewhere they are ordinary pages).
#include <cstddef>

namespace vantorix {

constexpr size_t kLargeMatrixBytes = size_t(8) << 20;

// Makes the allocator above OpenCV's default for new matrices, once per
// process; smaller matrices still go to the allocator that was the default
// before. Safe to call from any thread, any number of times.
void use_large_pages_for_matrices();

}  // namespace vantorix
