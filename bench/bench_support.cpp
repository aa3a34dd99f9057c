#include "bench/bench_support.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace vant::bench {
namespace {

Measure Wait(pid_t child, std::chrono::steady_clock::time_point start) {
  Measure m;
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  m.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.PeakMiB = usage.ru_maxrss / 1024.0;
  m.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
  return m;
}

}  // namespace

Measure RunCommand(const std::string& command) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    ::execl("/bin/sh", "sh", "-c", (command + " >/dev/null 2>&1").c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return Wait(child, start);
}

Measure RunChild(const std::function<int()>& work) {
  std::fflush(stdout);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) ::_exit(work());
  return Wait(child, start);
}

std::string CacheDir() {
  const char* env = std::getenv("VANT_BENCH_CACHE");
  std::string dir = env ? env : std::string(std::getenv("HOME") ? std::getenv("HOME") : "/tmp") + "/.cache/vant-bench";
  std::filesystem::create_directories(dir);
  return dir;
}

bool EnsureImage(const std::string& image, const std::string& builderArgs) {
  if (std::filesystem::exists(image) && std::filesystem::exists(image + ".tsv")) return true;
  std::fprintf(stderr, "building %s (once; cached for later runs)...\n", image.c_str());
  const std::string command = std::string(VANT_MKFIXTURE) + " --image '" + image + ".part' --manifest '" + image +
                              ".tsv' " + builderArgs + " >/dev/null";
  if (std::system(command.c_str()) != 0) return false;
  std::filesystem::rename(image + ".part", image);
  return true;
}

bool HaveTool(const std::string& name) { return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0; }

void Warm(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> buffer(1 << 22);
  while (in.read(buffer.data(), buffer.size()) || in.gcount() > 0) {
  }
}

}  // namespace vant::bench
