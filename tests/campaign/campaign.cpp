// vant_campaign: damages copies of the fixture volumes on purpose and takes
// each through the vant tool as a user would (scan, tree, ls, search,
// recover --all-deleted), each command under a time limit. It prints how
// each command ended, by damage kind, and fails on a crash, a sanitizer
// report, a time-out, an image that changed, or anything written outside
// the output folder. The same seed makes the same copies, so a failure is
// reproduced with --seed and --only.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kSector = 512;

std::uint16_t U16(const std::vector<std::uint8_t>& b, std::size_t at) { return std::uint16_t(b[at] | b[at + 1] << 8); }
std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) { return U16(b, at) | std::uint32_t(U16(b, at + 2)) << 16; }
std::uint64_t U64(const std::vector<std::uint8_t>& b, std::size_t at) { return U32(b, at) | std::uint64_t(U32(b, at + 4)) << 32; }
void Put(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes && at + i < b.size(); ++i) b[at + i] = std::uint8_t(v >> (8 * i));
}

// Whether the file at `path` still holds exactly these bytes.
bool Unchanged(const fs::path& path, const std::uint8_t* bytes, std::size_t length) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> now(length + 1);
  in.read(now.data(), static_cast<std::streamsize>(now.size()));
  return static_cast<std::size_t>(in.gcount()) == length && std::memcmp(now.data(), bytes, length) == 0;
}

// What the damage may aim at in one fixture, found once.
struct Fixture {
  std::string Name;
  std::vector<std::uint8_t> Bytes;
  std::size_t Volume = 0;                 // byte offset of the NTFS volume
  std::size_t RecordSize = 1024;
  std::vector<std::size_t> Records;       // FILE records (image offsets)
  std::vector<std::size_t> IndexBlocks;   // INDX blocks
  bool Partitioned = false;
  bool Gpt = false;
};

bool IsNtfsBoot(const std::vector<std::uint8_t>& b, std::size_t at) {
  return at + kSector <= b.size() && std::memcmp(&b[at + 3], "NTFS    ", 8) == 0;
}

Fixture LoadFixture(const fs::path& path) {
  Fixture f;
  f.Name = path.stem().string();
  std::ifstream in(path, std::ios::binary);
  f.Bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  const auto& b = f.Bytes;
  if (!IsNtfsBoot(b, 0) && b.size() >= 2 * kSector) {
    f.Partitioned = true;
    f.Gpt = b[446 + 4] == 0xEE;
    if (f.Gpt) {
      const std::uint64_t entries = U64(b, kSector + 72) * kSector;
      for (std::uint32_t i = 0; i < 128 && entries + (i + 1) * 128 <= b.size(); ++i) {
        const std::uint64_t at = U64(b, entries + i * 128 + 32) * kSector;
        if (IsNtfsBoot(b, at)) {
          f.Volume = at;
          break;
        }
      }
    } else {
      for (int i = 0; i < 4; ++i) {
        const std::uint64_t at = std::uint64_t(U32(b, 446 + 16 * i + 8)) * kSector;
        if (IsNtfsBoot(b, at)) {
          f.Volume = at;
          break;
        }
      }
    }
  }
  if (IsNtfsBoot(b, f.Volume)) {
    const auto perRecord = static_cast<std::int8_t>(b[f.Volume + 64]);
    const std::size_t cluster = std::size_t(U16(b, f.Volume + 11)) * b[f.Volume + 13];
    f.RecordSize = perRecord < 0 ? std::size_t{1} << -perRecord : perRecord * cluster;
  }
  for (std::size_t at = f.Volume; at + f.RecordSize <= b.size(); at += kSector) {
    if (std::memcmp(&b[at], "FILE", 4) == 0) f.Records.push_back(at);
    else if (std::memcmp(&b[at], "INDX", 4) == 0) f.IndexBlocks.push_back(at);
  }
  return f;
}

// The bytes of the update sequence put back in place (undone) or moved out
// again (redone), so damage made in between survives the reader's check and
// reaches the decoders.
void Unfix(std::vector<std::uint8_t>& b, std::size_t record, std::size_t size) {
  const std::size_t usa = U16(b, record + 4), count = U16(b, record + 6);
  if (usa + 2 * count > size || count == 0) return;
  for (std::size_t k = 1; k < count && k * kSector <= size; ++k)
    Put(b, record + k * kSector - 2, U16(b, record + usa + 2 * k), 2);
}
void Refix(std::vector<std::uint8_t>& b, std::size_t record, std::size_t size) {
  const std::size_t usa = U16(b, record + 4), count = U16(b, record + 6);
  if (usa + 2 * count > size || count == 0) return;
  const std::uint16_t usn = U16(b, record + usa);
  for (std::size_t k = 1; k < count && k * kSector <= size; ++k) {
    Put(b, record + usa + 2 * k, U16(b, record + k * kSector - 2), 2);
    Put(b, record + k * kSector - 2, usn, 2);
  }
}

class Damage {
 public:
  Damage(const Fixture& f, std::vector<std::uint8_t>& b, std::mt19937_64& rng) : f_(f), b_(b), rng_(rng) {}
  std::string Kind;
  std::ostringstream What;
  std::size_t TruncateTo = SIZE_MAX;

  void Apply(int kind) {
    switch (kind) {
      case 0: Kind = "bit flips"; BitFlips(); break;
      case 1: Kind = "MFT run overwritten"; Run(false); break;
      case 2: Kind = "MFT run zeroed"; Run(true); break;
      case 3: Kind = "boot sector"; Boot(); break;
      case 4: Kind = "index blocks"; Index(); break;
      case 5: Kind = f_.Partitioned ? "partition table" : "boot sector"; f_.Partitioned ? Table() : Boot(); break;
      case 6: Kind = "truncated"; Truncate(); break;
      default: Kind = "record fields"; Fields(); break;
    }
  }

 private:
  std::uint64_t Below(std::uint64_t n) { return n == 0 ? 0 : rng_() % n; }
  std::size_t SomeRecord() { return f_.Records.empty() ? f_.Volume : f_.Records[Below(std::min<std::size_t>(f_.Records.size(), Below(4) ? 64 : f_.Records.size()))]; }
  // A value a damaged field is likely to hold: edges, small, huge, random.
  std::uint64_t Interesting(int bytes) {
    const std::uint64_t top = bytes >= 8 ? ~0ull : (1ull << (8 * bytes)) - 1;
    switch (Below(8)) {
      case 0: return 0;
      case 1: return 1;
      case 2: return top;
      case 3: return top >> 1;
      case 4: return (top >> 1) + 1;
      case 5: return Below(64);
      case 6: return Below(0x10000);
      default: return rng_() & top;
    }
  }

  void BitFlips() {
    const int n = 1 + static_cast<int>(Below(32));
    for (int i = 0; i < n; ++i) {
      const std::size_t at = SomeRecord() + Below(f_.RecordSize);
      if (at < b_.size()) b_[at] ^= std::uint8_t(1u << Below(8));
    }
    What << n << " bit flips in records";
  }
  void Run(bool zero) {
    const std::size_t at = SomeRecord() + Below(f_.RecordSize);
    const std::size_t length = 1 + Below(Below(4) ? 64 : 8192);
    for (std::size_t i = at; i < std::min(b_.size(), at + length); ++i) b_[i] = zero ? 0 : std::uint8_t(rng_());
    What << length << " bytes at " << at;
  }
  void Boot() {
    static const std::pair<int, int> kFields[] = {{11, 2}, {13, 1}, {40, 8}, {48, 8}, {56, 8}, {64, 1}, {68, 1}, {3, 8}};
    const int n = 1 + static_cast<int>(Below(3));
    for (int i = 0; i < n; ++i) {
      const auto [offset, bytes] = kFields[Below(std::size(kFields))];
      if (offset == 40 && Below(2)) {
        b_[f_.Volume + 47] = std::uint8_t(rng_());  // the total-sectors top byte
        What << "boot byte 47; ";
        continue;
      }
      Put(b_, f_.Volume + offset, Interesting(bytes), bytes);
      What << "boot field @" << offset << "; ";
    }
  }
  void Index() {
    if (f_.IndexBlocks.empty()) return BitFlips();
    const std::size_t block = f_.IndexBlocks[Below(f_.IndexBlocks.size())];
    const int n = 1 + static_cast<int>(Below(64));
    for (int i = 0; i < n; ++i) b_[std::min(b_.size() - 1, block + Below(4096))] = std::uint8_t(rng_());
    What << n << " bytes in the index block at " << block;
  }
  void Table() {
    if (!f_.Gpt || Below(3) == 0) {
      const std::size_t entry = 446 + 16 * Below(4);
      static const std::pair<int, int> kFields[] = {{4, 1}, {8, 4}, {12, 4}, {0, 1}};
      const auto [offset, bytes] = kFields[Below(std::size(kFields))];
      Put(b_, entry + offset, Interesting(bytes), bytes);
      if (Below(8) == 0) b_[510] ^= 0xFF;
      What << "MBR entry field @" << entry + offset;
      return;
    }
    if (Below(2)) {
      static const std::pair<int, int> kFields[] = {{72, 8}, {80, 4}, {84, 4}, {12, 4}, {0, 8}};
      const auto [offset, bytes] = kFields[Below(std::size(kFields))];
      Put(b_, kSector + offset, Interesting(bytes), bytes);
      What << "GPT header field @" << offset;
    } else {
      const std::size_t entry = U64(b_, kSector + 72) * kSector;
      const std::size_t at = std::min(b_.size() - 8, entry + 32 + 8 * Below(2));
      Put(b_, at, Interesting(8), 8);
      What << "GPT entry LBA @" << at;
    }
  }
  void Truncate() {
    // Mostly inside the metadata, where a cut hurts most.
    TruncateTo = Below(3) == 0 ? Below(b_.size()) : std::min(b_.size(), SomeRecord() + Below(1 << 20));
    What << "cut at " << TruncateTo;
  }
  void Fields() {
    const std::size_t record = SomeRecord();
    const std::size_t size = f_.RecordSize;
    if (record + size > b_.size()) return BitFlips();
    Unfix(b_, record, size);
    // The attributes, walked the way any reader walks them.
    std::vector<std::size_t> attributes;
    for (std::size_t at = U16(b_, record + 20); at + 16 <= size && attributes.size() < 32;) {
      if (U32(b_, record + at) == 0xFFFFFFFF) break;
      attributes.push_back(at);
      const std::size_t length = U32(b_, record + at + 4);
      if (length < 16) break;
      at += length;
    }
    const int n = 1 + static_cast<int>(Below(3));
    for (int i = 0; i < n; ++i) {
      if (attributes.empty() || Below(5) == 0) {
        static const std::pair<int, int> kHeader[] = {{20, 2}, {22, 2}, {24, 4}, {28, 4}, {32, 8}, {4, 2}, {6, 2}};
        const auto [offset, bytes] = kHeader[Below(std::size(kHeader))];
        if (offset == 4 || offset == 6) Refix(b_, record, size);  // the sequence array itself moves
        Put(b_, record + offset, Interesting(bytes), bytes);
        if (offset == 4 || offset == 6) Unfix(b_, record, size);
        What << "record header @" << offset << "; ";
        continue;
      }
      const std::size_t a = record + attributes[Below(attributes.size())];
      const bool nonResident = b_[a + 8] & 1;
      const std::uint32_t type = U32(b_, a);
      std::vector<std::pair<int, int>> fields = {{4, 4}, {8, 1}, {9, 1}, {10, 2}, {12, 2}};
      if (nonResident) {
        for (auto f : {std::pair{16, 8}, {24, 8}, {32, 2}, {34, 2}, {40, 8}, {48, 8}, {56, 8}}) fields.push_back(f);
        // The mapping pairs: a header byte, or a length or offset byte.
        const std::size_t pairs = U16(b_, a + 32);
        for (int k = 0; k < 6; ++k) fields.push_back({static_cast<int>(pairs + Below(16)), 1});
      } else {
        for (auto f : {std::pair{16, 4}, {20, 2}}) fields.push_back(f);
        const std::size_t value = U16(b_, a + 20);
        if (type == 0x30) for (auto f : {std::pair{0, 8}, {64, 1}, {65, 1}}) fields.push_back({static_cast<int>(value + f.first), f.second});
        if (type == 0x20) for (int k = 0; k < 4; ++k) fields.push_back({static_cast<int>(value + 4 + 32 * k), 2});
      }
      const auto [offset, bytes] = fields[Below(fields.size())];
      if (a - record + offset + bytes <= size) Put(b_, a + offset, Interesting(bytes), bytes);
      What << "attribute 0x" << std::hex << type << std::dec << " @" << offset << "; ";
    }
    Refix(b_, record, size);
    What << "record at " << record;
  }

  const Fixture& f_;
  std::vector<std::uint8_t>& b_;
  std::mt19937_64& rng_;
};

enum class Outcome { Ok, Refused, Crash, Sanitizer, Timeout };
const char* Name(Outcome o) {
  switch (o) {
    case Outcome::Ok: return "ok";
    case Outcome::Refused: return "refused";
    case Outcome::Crash: return "CRASH";
    case Outcome::Sanitizer: return "SANITIZER";
    case Outcome::Timeout: return "TIMEOUT";
  }
  return "?";
}

struct Run {
  Outcome Result;
  std::string Errors;
  double Seconds;
};

Run RunVant(const std::string& vant, const std::vector<std::string>& args, const fs::path& cwd, double limit) {
  const fs::path errors = cwd / ".stderr";
  const auto start = std::chrono::steady_clock::now();
  // posix_spawn, not fork: the workers are threads, and a forked child of a
  // threaded process may only make async-signal-safe calls before exec.
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawnattr_t attributes;
  ::posix_spawnattr_init(&attributes);
  ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  ::posix_spawnattr_setpgroup(&attributes, 0);
  std::vector<char*> argv{const_cast<char*>(vant.c_str())};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, vant.c_str(), &actions, &attributes, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  ::posix_spawnattr_destroy(&attributes);
  if (spawned != 0) throw std::runtime_error("cannot start " + vant + ": " + std::strerror(spawned));
  int status = 0;
  bool timedOut = false;
  for (;;) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > limit) {
      ::kill(-pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      timedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  Run r;
  r.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::ifstream in(errors);
  r.Errors.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  fs::remove(errors);
  if (timedOut) r.Result = Outcome::Timeout;
  else if (r.Errors.find("Sanitizer") != std::string::npos || r.Errors.find("runtime error:") != std::string::npos)
    r.Result = Outcome::Sanitizer;
  else if (WIFSIGNALED(status)) r.Result = Outcome::Crash;
  else r.Result = WEXITSTATUS(status) == 0 ? Outcome::Ok : Outcome::Refused;
  return r;
}

// Everything under `root` other than the output folder, and anything in the
// output folder that is a link or lies outside it.
std::vector<std::string> Strays(const fs::path& root, const fs::path& out) {
  std::vector<std::string> strays;
  std::error_code ec;
  const fs::path outReal = fs::weakly_canonical(out, ec);
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const fs::path p = it->path();
    if (it->is_symlink()) {
      strays.push_back(p.string() + " (a link)");
      continue;
    }
    if (p == out) continue;
    const fs::path rel = p.lexically_relative(out);
    if (rel.empty() || *rel.begin() == "..") strays.push_back(p.string());
    else if (fs::weakly_canonical(p, ec).string().rfind(outReal.string(), 0) != 0) strays.push_back(p.string());
  }
  return strays;
}

struct Options {
  std::string Vant, Fixtures, Work, Keep;
  std::vector<std::string> Images{"c512", "c4k", "r4k", "mbr", "gpt", "compressed", "indexslack"};
  std::uint64_t Copies = 100, Seed = 1;
  std::optional<std::uint64_t> Only;
  double Limit = 60;
  unsigned Jobs = 1;
};

// What a share of the copies came to; the workers' shares are added up.
struct Tally {
  std::map<std::string, std::map<std::string, std::uint64_t>> ByCommand;  // command -> outcome -> count
  std::map<std::string, std::map<std::string, std::uint64_t>> ByKind;     // damage -> outcome of recover
  std::uint64_t Faults = 0, Copies = 0, Changed = 0, Strays = 0;
  double Slowest = 0;
  std::string SlowestWhat;

  void Add(const Tally& t) {
    for (const auto& [command, outcomes] : t.ByCommand)
      for (const auto& [outcome, n] : outcomes) ByCommand[command][outcome] += n;
    for (const auto& [kind, outcomes] : t.ByKind)
      for (const auto& [outcome, n] : outcomes) ByKind[kind][outcome] += n;
    Faults += t.Faults, Copies += t.Copies, Changed += t.Changed, Strays += t.Strays;
    if (t.Slowest > Slowest) Slowest = t.Slowest, SlowestWhat = t.SlowestWhat;
  }
};

std::mutex gPrint;  // fault reports come whole, whichever worker finds them

// Damages one copy in `work` and takes it through every command.
void RunCopy(const Options& o, const std::map<std::string, Fixture>& fixtures, std::uint64_t copy, const fs::path& work,
             Tally& tally) {
  static const char* const kCommands[] = {"scan", "tree", "ls", "search", "recover"};
  std::mt19937_64 rng(o.Seed * 0x9E3779B97F4A7C15ull + copy);
  const Fixture& f = fixtures.at(o.Images[rng() % o.Images.size()]);
  std::vector<std::uint8_t> bytes = f.Bytes;
  Damage damage(f, bytes, rng);
  const int kinds = rng() % 5 == 0 ? 2 + rng() % 2 : 1;
  std::string kind;
  for (int k = 0; k < kinds; ++k) {
    damage.Apply(static_cast<int>(rng() % 8));
    kind += (k ? " + " : "") + damage.Kind;
  }
  if (kinds > 1) kind = "several";
  const std::size_t length = std::min(bytes.size(), damage.TruncateTo);
  const fs::path image = work / "image" / (f.Name + ".img");
  {
    std::ofstream out(image, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(length));
  }
  const fs::path run = work / "run", out = run / "out";
  fs::remove_all(run);
  fs::create_directories(run);
  bool faulty = false;
  std::ostringstream report;
  for (const char* command : kCommands) {
    std::vector<std::string> args{command, image.string()};
    // The index remnants too: their reader walks the damaged folder indexes.
    if (std::string(command) == "scan") args.push_back("--remnants");
    if (std::string(command) == "ls") args.insert(args.end(), {"", "--remnants"});
    if (std::string(command) == "search") args.push_back("a");
    if (std::string(command) == "recover") args.insert(args.end(), {"--all-deleted", "-o", out.string()});
    const Run r = RunVant(o.Vant, args, run, o.Limit);
    ++tally.ByCommand[command][Name(r.Result)];
    if (std::string(command) == "recover") ++tally.ByKind[kind][Name(r.Result)];
    if (r.Seconds > tally.Slowest) {
      tally.Slowest = r.Seconds;
      tally.SlowestWhat = std::string(command) + " on copy " + std::to_string(copy);
    }
    if (r.Result != Outcome::Ok && r.Result != Outcome::Refused) {
      faulty = true;
      report << "  " << command << ": " << Name(r.Result) << " after " << r.Seconds << " s\n"
             << r.Errors.substr(0, 2000) << "\n";
    }
  }
  if (!Unchanged(image, bytes.data(), length)) {
    faulty = true;
    ++tally.Changed;
    report << "  the image changed\n";
  }
  for (const auto& s : Strays(run, out)) {
    faulty = true;
    ++tally.Strays;
    report << "  written outside the output folder: " << s << "\n";
  }
  for (const auto& e : fs::directory_iterator(work / "image"))
    if (e.path() != image) {
      faulty = true;
      ++tally.Strays;
      report << "  written beside the image: " << e.path().string() << "\n";
    }
  if (faulty) {
    ++tally.Faults;
    {
      std::lock_guard lock(gPrint);
      std::cout << "FAULT copy " << copy << " (seed " << o.Seed << ") of " << f.Name << ": " << damage.What.str() << "\n"
                << report.str() << std::flush;
    }
    if (!o.Keep.empty()) {
      fs::create_directories(o.Keep);
      fs::copy_file(image, fs::path(o.Keep) / ("copy" + std::to_string(copy) + "-" + f.Name + ".img"),
                    fs::copy_options::overwrite_existing);
    }
  }
  fs::remove(image);
  ++tally.Copies;
}

std::vector<std::string> Split(const std::string& s) {
  std::vector<std::string> out;
  std::stringstream in(s);
  for (std::string part; std::getline(in, part, ',');) out.push_back(part);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i], v = argv[i + 1];
    if (a == "--vant") o.Vant = v;
    else if (a == "--fixtures") o.Fixtures = v;
    else if (a == "--work") o.Work = v;
    else if (a == "--keep") o.Keep = v;
    else if (a == "--images") o.Images = Split(v);
    else if (a == "--copies") o.Copies = std::stoull(v);
    else if (a == "--seed") o.Seed = std::stoull(v);
    else if (a == "--only") o.Only = std::stoull(v);
    else if (a == "--time-limit") o.Limit = std::stod(v);
    else if (a == "--jobs") o.Jobs = static_cast<unsigned>(std::stoul(v));
    else return std::cerr << "vant_campaign: unknown option " << a << "\n", 2;
  }
  if (o.Vant.empty() || o.Fixtures.empty()) {
    std::cerr << "usage: vant_campaign --vant PATH --fixtures DIR [--copies N] [--seed S] [--only COPY]\n"
                 "                     [--time-limit SECONDS] [--jobs N] [--images a,b,...] [--work DIR] [--keep DIR]\n";
    return 2;
  }
  o.Vant = fs::absolute(o.Vant).string();  // the commands run in a folder of their own
  if (o.Work.empty()) o.Work = (fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path()) /
                               ("vant-campaign-" + std::to_string(::getpid()));
  const fs::path work = o.Work;
  std::map<std::string, Fixture> fixtures;
  for (const auto& name : o.Images) fixtures.emplace(name, LoadFixture(fs::path(o.Fixtures) / (name + ".img")));

  const auto began = std::chrono::steady_clock::now();
  const std::uint64_t first = o.Only.value_or(0), last = o.Only ? *o.Only + 1 : o.Copies;
  const unsigned jobs = static_cast<unsigned>(std::clamp<std::uint64_t>(last - first, 1, std::max(1u, o.Jobs)));
  // Copy k goes to worker k mod jobs; each copy's damage depends only on the
  // seed and k, so the copies are the same whatever the number of workers.
  std::vector<Tally> shares(jobs);
  std::vector<std::thread> workers;
  for (unsigned w = 0; w < jobs; ++w)
    workers.emplace_back([&, w] {
      const fs::path own = work / ("worker" + std::to_string(w));
      fs::create_directories(own / "image");
      for (std::uint64_t copy = first + w; copy < last; copy += jobs) RunCopy(o, fixtures, copy, own, shares[w]);
    });
  for (auto& w : workers) w.join();
  fs::remove_all(work);
  Tally all;
  for (const auto& s : shares) all.Add(s);

  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  std::cout << "vant_campaign: " << all.Copies << " damaged copies (seed " << o.Seed << "), " << all.Copies * 5
            << " commands in " << static_cast<int>(seconds) << " s; slowest command " << all.Slowest << " s (" << all.SlowestWhat
            << ")\n";
  std::cout << "by command:";
  for (const auto& [command, outcomes] : all.ByCommand) {
    std::cout << "\n  " << command;
    for (const auto& [outcome, n] : outcomes) std::cout << "  " << outcome << " " << n;
  }
  std::cout << "\nrecover by damage:";
  for (const auto& [kind, outcomes] : all.ByKind) {
    std::cout << "\n  " << kind << ":";
    for (const auto& [outcome, n] : outcomes) std::cout << "  " << outcome << " " << n;
  }
  std::cout << "\nimages changed " << all.Changed << ", files outside the output folder " << all.Strays << ", faulty copies "
            << all.Faults << "\n";
  return all.Faults ? 1 : 0;
}
