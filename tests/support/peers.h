// The fixture volumes' manifests and what the reference tools (The Sleuth
// Kit, sha256sum) say about an image, parsed for cross-checks.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vant::testing {

// Standard output of a shell command; nullopt when it exits non-zero.
std::optional<std::string> RunCommand(const std::string& command);
std::string Quote(const std::string& text);
std::string Sha256OfFile(const std::string& path);

std::string FixturePath(const std::string& name);  // <fixture dir>/<name>

// One name of the fixture builder's manifest.
struct ManifestRow {
  std::uint64_t Record = 0, Parent = 0, Size = 0;
  bool Directory = false, Deleted = false, Resident = false, Reused = false;
  int Runs = 0;
  std::string Sha256, Path;  // Path: UTF-8, '/'-separated, from the root
  std::string Name() const { return Path.substr(Path.rfind('/') + 1); }
};
std::vector<ManifestRow> LoadManifest(const std::string& path);
const ManifestRow* FindByPath(const std::vector<ManifestRow>& rows, const std::string& path);

// One name as `fls -r -p -l` prints it (data streams other than the unnamed
// one, and names whose record has been taken by another file, left out).
struct FlsName {
  std::uint64_t Record = 0;
  bool Deleted = false, Directory = false, Orphan = false;
  std::string Path;  // UTF-8, '/'-separated
  std::uint64_t Size = 0;
  std::string Name() const { return Path.substr(Path.rfind('/') + 1); }
};
std::vector<FlsName> Fls(const std::string& image, std::uint64_t sectorOffset = 0);
// Record number -> allocated, for every entry `ils -e` lists.
std::map<std::uint64_t, bool> IlsAllocation(const std::string& image, std::uint64_t sectorOffset = 0);

// A name as this system stores it: the low byte of each UTF-16 unit.
std::string LowBytes(const std::string& utf8);

}  // namespace vant::testing
