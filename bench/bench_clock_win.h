#pragma once

// The clocks the Windows benchmarks measure with, and the figures they print.

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace quorvane::bench {

// Seconds between two QueryPerformanceCounter readings.
inline double secondsBetween(const LARGE_INTEGER& start, const LARGE_INTEGER& stop) {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  return static_cast<double>(stop.QuadPart - start.QuadPart) / frequency;
}

// CPU time of this process so far, user and kernel, in seconds.
inline double processCpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  const auto value = [](const FILETIME& t) {
    return static_cast<double>((uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 1e7;
  };
  return value(kernel) + value(user);
}

// The middle and the 95th percentile of a benchmark's figures (0 for none).
inline double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

inline double p95(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[std::min(v.size() - 1, v.size() * 95 / 100)];
}

}  // namespace quorvane::bench
