// What differs between Linux and Windows, in one place: the guard on the
// standard descriptors, the signal dispositions, and the clock the timing
// windows read. platform_posix.cpp or platform_windows.cpp, chosen by the
// build, holds the rest.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <omp.h>
#endif

namespace harness::platform {

// Readies the process to report through failing sinks: no standard
// descriptor left for the results file to take, and a console or file that
// cannot be written fails the write instead of ending the process.
void prepare_process();

// The clock of the timing windows. A reading is taken as it comes, so that
// each window holds nothing but the workload between its two readings; the
// conversion to seconds follows the window.
#if defined(_WIN32)
// The performance counter: the system's finest wall clock, and the one
// Windows programs time with. (MinGW's OpenMP runtime reads _ftime, which
// steps by a millisecond or more.)
using Ticks = std::int64_t;

inline Ticks read_clock() {
  LARGE_INTEGER count;
  (void)QueryPerformanceCounter(&count);  // cannot fail since Windows XP
  return count.QuadPart;
}

double seconds_between(Ticks t0, Ticks t1);
#else
// The OpenMP wall clock, read directly: the test probe stands in for
// omp_get_wtime to see every window open and close.
using Ticks = double;

inline Ticks read_clock() { return omp_get_wtime(); }

inline double seconds_between(Ticks t0, Ticks t1) { return t1 - t0; }
#endif

}  // namespace harness::platform
