// Recovery throughput on a deleted file of 1 GiB in many fragments, warm
// cache: vant recover against icat and a plain dd of the same extents.
// Usage: bench_extract [IMAGE RECORD]   (default: builds or reuses the cached image)
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace {

// The file's clusters as istat lists them, merged into runs.
std::vector<std::pair<long long, long long>> Runs(const std::string& image, const std::string& record,
                                                  long long& clusterSize) {
  std::vector<std::pair<long long, long long>> runs;
  FILE* pipe = ::popen(("fsstat '" + image + "' | grep 'Cluster Size'; istat '" + image + "' " + record).c_str(), "r");
  if (!pipe) return runs;
  std::string text;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  ::pclose(pipe);
  clusterSize = std::stoll(text.substr(text.find(':') + 1));
  const auto data = text.find("Type: $DATA");
  if (data == std::string::npos) return runs;
  std::istringstream in(text.substr(text.find('\n', data)));
  for (std::string word; in >> word && isdigit(static_cast<unsigned char>(word[0]));) {
    const long long c = std::stoll(word);
    if (!runs.empty() && runs.back().first + runs.back().second == c) ++runs.back().second;
    else runs.push_back({c, 1});
  }
  return runs;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vant::bench;
  std::string image = CacheDir() + "/bigfile-1g.img", record;
  if (argc > 2) {
    image = argv[1];
    record = argv[2];
  } else {
    if (!EnsureImage(image, "--size-mib 3072 --cluster 4096 --sector 512 --seed 11 --profile bigfile --big-mib 1024"))
      return 1;
    std::ifstream manifest(image + ".tsv");
    std::string line;
    while (std::getline(manifest, line))
      if (line.size() > 11 && line.compare(line.size() - 11, 11, "\tgrande.bin") == 0)
        record = line.substr(0, line.find('\t'));
  }
  if (record.empty()) return std::fprintf(stderr, "no record for grande.bin\n"), 1;
  long long clusterSize = 0;
  const auto runs = Runs(image, record, clusterSize);
  long long bytes = 0;
  for (auto& [lcn, count] : runs) bytes += count * clusterSize;
  if (runs.empty() || clusterSize == 0) return std::fprintf(stderr, "cannot read the file's runs\n"), 1;
  const std::string out = CacheDir() + "/extract-out";
  std::filesystem::remove_all(out);
  std::filesystem::create_directories(out);
  Warm(image);

  auto best = [&](const std::string& command, const std::string& file) {
    Measure b;
    for (int i = 0; i < 3; ++i) {
      std::filesystem::remove_all(out);
      std::filesystem::create_directories(out);
      Measure m = RunCommand(command);
      if (i == 0 || m.Seconds < b.Seconds) b = m;
    }
    return b;
  };
  std::string dd = "set -e; for r in";
  for (auto& [lcn, count] : runs) dd += " " + std::to_string(lcn) + ":" + std::to_string(count);
  dd += "; do dd if='" + image + "' of='" + out + "/dd.bin' bs=" + std::to_string(clusterSize) +
        " skip=${r%:*} count=${r#*:} oflag=append conv=notrunc status=none; done; sync '" + out + "/dd.bin'";
  const Measure perRun = best(dd, "dd.bin");
  // The same number of bytes in one sequential stretch: the copy floor,
  // without a process per run. Every copy is made durable (vant recover
  // flushes each file it writes before it says it is done), so each peer
  // is timed with its flush too.
  const Measure plain = best("dd if='" + image + "' of='" + out + "/dd1.bin' bs=4M iflag=count_bytes,skip_bytes skip=" +
                                 std::to_string(runs.front().first * clusterSize) + " count=" + std::to_string(bytes) +
                                 " conv=fsync status=none",
                             "dd1.bin");
  const Measure icat = best("icat '" + image + "' " + record + " > '" + out + "/icat.bin' && sync '" + out + "/icat.bin'",
                            "icat.bin");
  const Measure ours = best(std::string(VANT_CLI) + " recover '" + image + "' " + record + " -o '" + out + "'", "");
  const double mib = bytes / 1048576.0;
  std::printf("deleted file: record %s, %.0f MiB in %zu runs, clusters of %lld bytes (best of 3, warm)\n",
              record.c_str(), mib, runs.size(), clusterSize);
  std::printf("%-16s %9s %9s %9s\n", "", "seconds", "MiB/s", "of dd (one stretch)");
  auto row = [&](const char* what, const Measure& m) {
    std::printf("%-16s %9.3f %9.0f %8.0f%%%s\n", what, m.Seconds, mib / m.Seconds, 100 * plain.Seconds / m.Seconds,
                m.Status ? "  (failed)" : "");
  };
  row("dd, one stretch", plain);
  row("dd, run by run", perRun);
  row("icat", icat);
  row("vant recover", ours);
  std::filesystem::remove_all(out);
  return 0;
}
