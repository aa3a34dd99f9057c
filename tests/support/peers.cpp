#include "tests/support/peers.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace vant::testing {

std::optional<std::string> RunCommand(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return std::nullopt;
  std::string out;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  return ::pclose(pipe) == 0 ? std::optional(out) : std::nullopt;
}

std::string Quote(const std::string& text) {
  std::string q = "'";
  for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string Sha256OfFile(const std::string& path) {
  auto out = RunCommand("sha256sum " + Quote(path));
  return out ? out->substr(0, 64) : std::string();
}

std::string FixturePath(const std::string& name) { return std::string(VANT_FIXTURE_DIR) + "/" + name; }

namespace {

std::vector<std::string> Split(const std::string& line, char sep) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, sep)) fields.push_back(field);
  if (!line.empty() && line.back() == sep) fields.emplace_back();
  return fields;
}

}  // namespace

std::vector<ManifestRow> LoadManifest(const std::string& path) {
  std::vector<ManifestRow> rows;
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    const auto f = Split(line, '\t');
    if (f.size() < 10) continue;
    ManifestRow r;
    r.Record = std::stoull(f[0]);
    r.Parent = std::stoull(f[1]);
    r.Directory = f[2] == "dir";
    r.Deleted = f[3] == "deleted";
    r.Size = std::stoull(f[4]);
    r.Sha256 = f[5];
    r.Runs = std::stoi(f[6]);
    r.Resident = f[7] == "1";
    r.Reused = f[8] == "1";
    r.Path = f[9];
    rows.push_back(r);
  }
  return rows;
}

const ManifestRow* FindByPath(const std::vector<ManifestRow>& rows, const std::string& path) {
  for (const auto& r : rows)
    if (r.Path == path) return &r;
  return nullptr;
}

std::vector<FlsName> Fls(const std::string& image, std::uint64_t sectorOffset) {
  std::vector<FlsName> names;
  auto out = RunCommand("fls -r -p -l -o " + std::to_string(sectorOffset) + " " + Quote(image) + " 2>/dev/null");
  if (!out) return names;
  std::istringstream in(*out);
  std::string line;
  while (std::getline(in, line)) {
    // "r/r * 69-128-2:\tpath\tmtime\tatime\tctime\tcrtime\tsize\tuid\tgid"
    const auto f = Split(line, '\t');
    if (f.size() < 7 || f[0].size() < 5) continue;
    FlsName n;
    n.Directory = f[0][2] == 'd';
    std::size_t at = 4;
    if (f[0].compare(at, 2, "* ") == 0) {
      n.Deleted = true;
      at += 2;
    }
    const std::string id = f[0].substr(at);
    if (id.find("realloc") != std::string::npos) continue;
    n.Record = std::stoull(id);
    n.Path = f[1];
    if (n.Name().find(':') != std::string::npos) continue;  // a named stream
    n.Orphan = n.Path.rfind("$OrphanFiles", 0) == 0;
    n.Size = std::stoull(f[6]);
    names.push_back(n);
  }
  return names;
}

std::map<std::uint64_t, bool> IlsAllocation(const std::string& image, std::uint64_t sectorOffset) {
  std::map<std::uint64_t, bool> state;
  auto out = RunCommand("ils -e -o " + std::to_string(sectorOffset) + " " + Quote(image) + " 2>/dev/null");
  if (!out) return state;
  std::istringstream in(*out);
  std::string line;
  while (std::getline(in, line)) {
    const auto f = Split(line, '|');
    if (f.size() < 2 || f[0].empty() || !std::isdigit(static_cast<unsigned char>(f[0][0]))) continue;
    state[std::stoull(f[0])] = f[1] == "a";
  }
  return state;
}

std::string LowBytes(const std::string& utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char c = utf8[i];
    std::uint32_t cp = c;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra) cp = c & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < utf8.size(); ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
    i += 1 + extra;
    if (cp >= 0x10000) {  // a surrogate pair in UTF-16: two units
      cp -= 0x10000;
      out += static_cast<char>((0xD800 + (cp >> 10)) & 0xFF);
      out += static_cast<char>((0xDC00 + (cp & 0x3FF)) & 0xFF);
    } else {
      out += static_cast<char>(cp & 0xFF);
    }
  }
  return out;
}

}  // namespace vant::testing
