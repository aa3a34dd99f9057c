// Shared by the benchmarks: run a command or a function in a child process
// and report its wall time and peak memory; find or build the large images.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace vant::bench {

struct Measure {
  double Seconds = 0;
  double PeakMiB = 0;
  int Status = 0;
};

// Runs `command` through the shell with its output thrown away.
Measure RunCommand(const std::string& command);
// Runs `work` in a forked child, so its peak memory is its own.
Measure RunChild(const std::function<int()>& work);
// The cache folder for benchmark images (VANT_BENCH_CACHE or ~/.cache/vant-bench).
std::string CacheDir();
// Builds `image` with the fixture builder unless it is already there.
bool EnsureImage(const std::string& image, const std::string& builderArgs);
bool HaveTool(const std::string& name);
// Reads the file once so later runs are warm.
void Warm(const std::string& path);

}  // namespace vant::bench
