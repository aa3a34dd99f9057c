// vant: the recovery engine on the command line, over disk images and
// block devices (always opened read-only).
#include <sys/stat.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "catalogue/folder_tree.h"
#include "catalogue/listing.h"
#include "catalogue/search.h"
#include "cli/session.h"
#include "ntfs/mft_scan.h"
#include "platform/latin1.h"
#include "platform/image/image_volume.h"
#include "recovery/extraction.h"
#include "recovery/integrity.h"
#include "recovery/run_list.h"

namespace vant::cli {
namespace {

constexpr const char* kVersion = "0.1.0";

constexpr const char* kUsage =
    "usage: vant COMMAND [ARGS]\n"
    "\n"
    "IMAGE is a disk image or a block device, opened read-only. A partitioned\n"
    "image is read at its first NTFS partition unless --partition N is given.\n"
    "\n"
    "  vant form IMAGE...            the drive tree of the form, images as C:, D:, ...\n"
    "  vant scan IMAGE [--deleted] [--format tsv|body]\n"
    "                                the MFT catalogue, one line per valid record\n"
    "  vant tree IMAGE               the folder tree of the analysed drive\n"
    "  vant ls IMAGE PATH [--deleted]\n"
    "                                the files of a folder, PATH as the tree shows it\n"
    "  vant search IMAGE WORD [--type 0..5] [--whole] [--deleted]\n"
    "                                files whose name holds WORD\n"
    "  vant recover IMAGE RECORD... -o DIR [--force]\n"
    "  vant recover IMAGE --all-deleted -o DIR [--force]\n"
    "                                writes files out, with their integrity\n"
    "  vant --help | --version\n";

struct Args {
  std::vector<std::string> Positional;
  std::map<std::string, std::string> Options;
  bool Has(const std::string& name) const { return Options.count(name) != 0; }
  std::string Get(const std::string& name, const std::string& fallback = {}) const {
    auto it = Options.find(name);
    return it == Options.end() ? fallback : it->second;
  }
};

Args Parse(int argc, char** argv, int from) {
  static const char* const kValued[] = {"--partition", "--format", "--type", "-o"};
  Args args;
  for (int i = from; i < argc; ++i) {
    std::string a = argv[i];
    bool valued = false;
    for (const char* v : kValued) valued = valued || a == v;
    if (valued && i + 1 < argc) args.Options[a] = argv[++i];
    else if (a.size() > 1 && a[0] == '-') args.Options[a] = "1";
    else args.Positional.push_back(a);
  }
  return args;
}

std::string Utf8(std::string_view latin1) { return Latin1ToUtf8(latin1); }

int Partition(const Args& args) { return args.Has("--partition") ? std::stoi(args.Get("--partition")) : -1; }

// Progress on standard error while a terminal watches.
void ShowProgress(Session& s, const char* what) {
  if (!::isatty(2)) return;
  s.Toolkit.OnPump = [&s, what] {
    auto& bar = s.Form->Get<ProgressBar>("ProgressBar1");
    if (bar.Max() > 0) std::fprintf(stderr, "\r%s %3d%%", what, static_cast<int>(100 * bar.Position() / bar.Max()));
  };
}

void EndProgress() {
  if (::isatty(2)) std::fprintf(stderr, "\r\033[K");
}

bool AnalyseOrSay(Session& s) {
  ShowProgress(s, "analizando");
  const bool ok = s.Analyse('C');
  EndProgress();
  s.Toolkit.OnPump = nullptr;
  if (!ok) {
    std::cerr << "vant: the image cannot be analysed";
    for (const auto& m : s.Toolkit.Asked)
      if (m.Caption.empty()) std::cerr << ": " << Utf8(m.Text);
    std::cerr << "\n";
  }
  return ok;
}

std::string Iso8601(std::int64_t filetime) {
  auto text = FormatFileTime(filetime);  // dd/mm/yyyy  hh:mm:ss
  if (!text) return "";
  const std::string& t = *text;
  const auto slash2 = t.find('/', 3);
  const auto space = t.find(' ');
  return t.substr(slash2 + 1, space - slash2 - 1) + "-" + t.substr(3, 2) + "-" + t.substr(0, 2) + "T" +
         t.substr(space + 2) + "Z";
}

std::int64_t UnixTime(std::int64_t filetime) {
  return filetime <= 0 ? 0 : filetime / 10'000'000 - 11'644'473'600LL;
}

int CommandForm(const Args& args) {
  if (args.Positional.empty()) return std::cerr << kUsage, 2;
  Session s(args.Positional, Partition(args));
  std::cout << Utf8(headless::DumpTree(s.Form->Get<TreeView>("TreeView1")));
  return 0;
}

class CliScanObserver : public ScanObserver {
 public:
  void SetProgressMax(std::int64_t max) override { max_ = max; }
  void SetProgress(std::int64_t p) override {
    if (tty_ && max_ > 0) std::fprintf(stderr, "\rleyendo %3d%%", static_cast<int>(100 * p / max_));
  }
  void ReportError(std::string_view text) override { std::cerr << "vant: " << Utf8(text) << "\n"; }
  void DiscardCatalogue() override {}

 private:
  std::int64_t max_ = 0;
  bool tty_ = ::isatty(2);
};

int CommandScan(const Args& args) {
  if (args.Positional.size() != 1) return std::cerr << kUsage, 2;
  headless::System system;
  headless::DriveMapping mapping;
  mapping.Image = args.Positional[0];
  mapping.Partition = Partition(args);
  system.MapDrive('C', mapping);
  VolumeContext context;
  context.DriveLetter = 'C';
  if (!OpenVolume(context, system, 2)) {
    std::cerr << "vant: " << mapping.Image << ": " << Utf8(system.ErrorText(context.LastError)) << "\n";
    return 1;
  }
  if (!OpenMft(context, system)) {
    std::cerr << "vant: " << mapping.Image << ": not an NTFS volume\n";
    return 1;
  }
  Catalogue catalogue;
  CliScanObserver observer;
  const ScanStats stats = ScanMft(context, catalogue, observer, system);
  if (::isatty(2)) std::fprintf(stderr, "\r\033[K");
  const bool deletedOnly = args.Has("--deleted");
  const bool body = args.Get("--format", "tsv") == "body";
  if (!body) std::cout << "record\tstate\tkind\tparent\tsize\tcreated\tmodified\taccessed\tname\n";
  for (std::size_t i = 0; i < catalogue.Count(); ++i) {
    const FileEntry& e = catalogue.At(i);
    if (!e.IsBaseRecord || (deletedOnly && !e.IsDeleted)) continue;
    const std::string name = Utf8(e.NameView());
    if (body) {
      // MD5|name|inode|mode|UID|GID|size|atime|mtime|ctime|crtime
      std::cout << "0|" << name << (e.IsDeleted ? " (deleted)" : "") << "|" << e.RecordNumber << "|"
                << (e.IsDirectory ? "d/d" : "r/r") << "|0|0|" << e.FileSize << "|" << UnixTime(e.AccessTime) << "|"
                << UnixTime(e.ModificationTime) << "|0|" << UnixTime(e.CreationTime) << "\n";
    } else {
      std::cout << e.RecordNumber << '\t' << (e.IsDeleted ? "deleted" : "live") << '\t'
                << (e.IsDirectory ? "dir" : "file") << '\t' << e.ParentRecord << '\t' << e.FileSize << '\t'
                << Iso8601(e.CreationTime) << '\t' << Iso8601(e.ModificationTime) << '\t' << Iso8601(e.AccessTime)
                << '\t' << name << '\n';
    }
  }
  std::cerr << "vant: " << stats.Records << " records read";
  if (stats.UnreadableRecords) std::cerr << ", " << stats.UnreadableRecords << " unreadable";
  if (stats.FixupMismatches) std::cerr << ", " << stats.FixupMismatches << " torn (update sequence mismatch)";
  std::cerr << "\n";
  return 0;
}

int CommandTree(const Args& args) {
  if (args.Positional.size() != 1) return std::cerr << kUsage, 2;
  Session s(args.Positional, Partition(args));
  if (!AnalyseOrSay(s)) return 1;
  auto& tree = s.Form->Get<TreeView>("TreeView1");
  TreeNode drive = s.DriveNode('C');
  std::cout << Utf8(tree.Text(drive)) << " [" << tree.Image(drive) << "]\n"
            << Utf8(headless::DumpTree(tree, drive, 1));
  return 0;
}

void PrintRows(const ListView& list) {
  for (int r = 0; r < list.RowCount(); ++r) {
    std::cout << list.RowImage(r);
    for (int c = 1;; ++c) {
      const std::string text = list.RowText(r, c);
      if (text.empty() && list.RowText(r, c + 1).empty()) break;
      std::cout << '\t' << Utf8(text);
    }
    std::cout << '\n';
  }
}

std::string ToLatin1(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c >= 0xC2 && c <= 0xC3 && i + 1 < utf8.size()) {
      out += static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int CommandLs(const Args& args) {
  if (args.Positional.size() != 2) return std::cerr << kUsage, 2;
  Session s({args.Positional[0]}, Partition(args));
  if (!AnalyseOrSay(s)) return 1;
  auto& tree = s.Form->Get<TreeView>("TreeView1");
  std::string path = ToLatin1(args.Positional[1]);
  while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  for (char& c : path)
    if (c == '/') c = '\\';
  TreeNode node = path.empty() ? s.DriveNode('C') : headless::FindNode(tree, path, s.DriveNode('C'));
  if (!node) {
    std::cerr << "vant: no folder " << args.Positional[1] << " in the tree\n";
    return 1;
  }
  if (args.Has("--deleted")) s.Form->Get<CheckBox>("CheckBox1").SetChecked(true);
  headless::ClickNode(tree, node);
  PrintRows(s.Form->Get<ListView>("ListView1"));
  return 0;
}

int CommandSearch(const Args& args) {
  if (args.Positional.size() != 2) return std::cerr << kUsage, 2;
  Session s({args.Positional[0]}, Partition(args));
  if (!AnalyseOrSay(s)) return 1;
  s.Form->Get<EditBox>("Edit1").SetText(ToLatin1(args.Positional[1]));
  s.Form->Get<FilterBox>("FilterComboBox1").SetSelectedIndex(std::stoi(args.Get("--type", "0")));
  s.Form->Get<CheckBox>("CheckBox8").SetChecked(args.Has("--whole"));
  s.Form->Get<CheckBox>("CheckBox2").SetChecked(args.Has("--deleted"));
  headless::Click(s.Form->Get<Button>("BitBtn5"));
  PrintRows(s.Form->Get<ListView>("ListView2"));
  return 0;
}

// The name as the form's recovery cleans it, made safe as one path component.
std::string CleanName(std::string_view name) {
  std::string out(name);
  for (char& c : out)
    if (static_cast<signed char>(c) < 32 || c == '/') c = c == '/' ? '_' : ' ';
  if (out.empty() || out == "." || out == "..") out = "_" + out;
  return out;
}

class Quiet : public WorkObserver {};

int CommandRecover(const Args& args) {
  if (args.Positional.empty() || !args.Has("-o")) return std::cerr << kUsage, 2;
  const bool all = args.Has("--all-deleted");
  if (!all && args.Positional.size() < 2) return std::cerr << kUsage, 2;
  Session s({args.Positional[0]}, Partition(args));
  if (!AnalyseOrSay(s)) return 1;
  const std::filesystem::path out = args.Get("-o");
  std::error_code ec;
  std::filesystem::create_directories(out, ec);
  const Catalogue& catalogue = s.Form->Entries();
  VolumeDevice& volume = *s.Form->Context().VolumeHandle;
  const RecoveryGeometry geometry = ReadRecoveryGeometry(volume);
  const RowContext rows{catalogue, s.Form->Get<TreeView>("TreeView1"), s.Form->LostItemsNode(), 'C'};

  std::vector<std::size_t> wanted;
  if (all) {
    for (std::size_t i = 0; i < catalogue.Count(); ++i) {
      const FileEntry& e = catalogue.At(i);
      // Unnamed slots are reserved records, not files anyone lost.
      if (e.IsBaseRecord && e.IsDeleted && !e.IsDirectory && !e.NameView().empty()) wanted.push_back(i);
    }
  } else {
    for (std::size_t k = 1; k < args.Positional.size(); ++k) {
      const std::uint64_t record = std::stoull(args.Positional[k]);
      if (record >= catalogue.Count() || !catalogue.At(record).IsBaseRecord) {
        std::cerr << "vant: record " << record << " is not a file record of this volume\n";
        return 1;
      }
      wanted.push_back(record);
    }
  }
  int failures = 0;
  Quiet quiet;
  std::set<std::string> written;
  for (std::size_t index : wanted) {
    FileEntry& e = const_cast<FileEntry&>(catalogue.At(index));
    std::filesystem::path target = out;
    if (all) {
      std::string folder = BuildFolderPath(rows, e);
      std::string part;
      for (char c : folder) {
        if (c == '\\') {
          target /= Utf8(CleanName(part));
          part.clear();
        } else {
          part += c;
        }
      }
    }
    target /= Utf8(CleanName(e.NameView()));
    // Two deleted files of one name in one folder both come back: the later
    // one is told apart by its record number.
    if (!written.insert(target.string()).second) {
      target.replace_filename(target.stem().string() + "~" + std::to_string(e.RecordNumber) + target.extension().string());
      written.insert(target.string());
    }
    std::optional<RunList> runs;
    if (!e.IsResident) runs = LoadRunList(volume, e, geometry, 'C', &catalogue);
    if (!e.IsResident && !runs) {
      std::cout << e.RecordNumber << "\t-\t" << target.string() << "\tno data to recover\n";
      continue;
    }
    const int integrity = ComputeIntegrity(volume, e, runs ? &*runs : nullptr, geometry, quiet);
    std::filesystem::create_directories(target.parent_path(), ec);
    struct stat st;
    if (!args.Has("--force") && ::stat(target.c_str(), &st) == 0) {
      std::cout << e.RecordNumber << '\t' << integrity << "%\t" << target.string() << "\texists, not overwritten\n";
      ++failures;
      continue;
    }
    std::uint32_t error = 0;
    auto file = s.System.CreateOutputFile(target.string(), error);
    if (!file) {
      std::cout << e.RecordNumber << '\t' << integrity << "%\t" << target.string() << "\t"
                << Utf8(s.System.ErrorText(error)) << "\n";
      ++failures;
      continue;
    }
    const ExtractResult r = e.IsResident ? ExtractResidentFile(volume, e, geometry, *file)
                                         : ExtractRunFile(volume, e.FileSize, *runs, geometry, *file, quiet);
    std::cout << e.RecordNumber << '\t' << integrity << "%\t" << target.string() << '\t';
    if (!r.Ok) {
      std::cout << Utf8(s.System.ErrorText(r.Error)) << "\n";
      ++failures;
    } else if (runs && runs->Encrypted) {
      std::cout << r.BytesWritten << " bytes, encrypted: written as they lie on the volume\n";
    } else if (r.CutAtVolumeSize) {
      std::cout << r.BytesWritten << " bytes, cut at the volume's size (the record claims " << e.FileSize << ")\n";
    } else if (r.UnreadableClusters) {
      std::cout << r.BytesWritten << " bytes, " << r.UnreadableClusters << " unreadable clusters written as zeros\n";
    } else {
      std::cout << r.BytesWritten << " bytes\n";
    }
  }
  return failures ? 1 : 0;
}

}  // namespace
}  // namespace vant::cli

int main(int argc, char** argv) {
  using namespace vant::cli;
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
    std::cout << kUsage;
    return argc < 2 ? 2 : 0;
  }
  if (!std::strcmp(argv[1], "--version")) {
    std::cout << "vant " << kVersion << "\n";
    return 0;
  }
  const std::string command = argv[1];
  const Args args = Parse(argc, argv, 2);
  try {
    if (args.Has("--partition") && !args.Positional.empty()) {
      // A partition the image does not have is named as such, not as "not NTFS".
      std::uint32_t error = 0;
      const auto parts = vant::image::ListPartitions(args.Positional[0], error);
      const int wanted = Partition(args);
      if (!parts.empty() && (wanted < 0 || static_cast<std::size_t>(wanted) >= parts.size())) {
        std::cerr << "vant: " << args.Positional[0] << " has " << parts.size() << " volume(s), numbered from 0; no partition "
                  << wanted << "\n";
        return 2;
      }
    }
    if (command == "form") return CommandForm(args);
    if (command == "scan") return CommandScan(args);
    if (command == "tree") return CommandTree(args);
    if (command == "ls") return CommandLs(args);
    if (command == "search") return CommandSearch(args);
    if (command == "recover") return CommandRecover(args);
  } catch (const std::exception& e) {
    std::cerr << "vant: " << e.what() << "\n";
    return 1;
  }
  std::cerr << "vant: unknown command " << command << "\n" << kUsage;
  return 2;
}
