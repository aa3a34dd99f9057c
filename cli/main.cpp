// vant: the recovery engine on the command line, over disk images and
// block devices (always opened read-only).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
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
#include "cli/names.h"
#include "cli/output_tree.h"
#include "cli/session.h"
#include "ntfs/index_remnants.h"
#include "ntfs/mft_scan.h"
#include "platform/latin1.h"
#include "platform/image/image_volume.h"
#include "recovery/extraction.h"
#include "recovery/integrity.h"
#include "recovery/run_list.h"
#include "vant_version.h"

namespace vant::cli {
namespace {

constexpr const char* kVersion = VANT_VERSION_TEXT;

constexpr const char* kUsage =
    "usage: vant COMMAND [ARGS]\n"
    "\n"
    "IMAGE is a disk image or a block device, opened read-only. A partitioned\n"
    "image is read at its first NTFS partition unless --partition N is given.\n"
    "\n"
    "  vant form IMAGE...            the drive tree of the form, images as C:, D:, ...\n"
    "  vant scan IMAGE [--deleted] [--remnants] [--format tsv|body]\n"
    "                                the MFT catalogue, one line per valid record;\n"
    "                                --remnants adds names left in folder indexes\n"
    "  vant tree IMAGE               the folder tree of the analysed drive\n"
    "  vant ls IMAGE PATH [--deleted] [--remnants]\n"
    "                                the files of a folder, PATH as the tree shows it;\n"
    "                                --remnants adds its index remnants (image r, then their id)\n"
    "  vant search IMAGE WORD [--type 0..5] [--whole] [--deleted]\n"
    "                                files whose name holds WORD\n"
    "  vant recover IMAGE RECORD... -o DIR [--force] [--original-paths]\n"
    "  vant recover IMAGE --all-deleted -o DIR [--force] [--original-paths]\n"
    "                                writes files out, with their integrity and times;\n"
    "                                recycle-bin items under their original names in\n"
    "                                DIR/PAPELERA, or with --original-paths in their\n"
    "                                original folders below DIR (DIR/C/Users/...);\n"
    "                                an index remnant's id has no data to recover\n"
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

// A caption or message of the form (8-bit), printed on one line.
std::string Shown(std::string_view latin1) { return Printable(CodePointsOfLatin1(latin1)); }

// An entry's name as the volume holds it, while the catalogue's 8-bit name
// is still its low bytes; once the form has renamed the entry ("RECYCLER"
// shown as "PAPELERA"), the form's name.
std::u16string NameUnits(const Catalogue& catalogue, const FileEntry& entry) {
  const std::u16string_view wide = catalogue.VolumeName(entry);
  const std::string_view narrow = entry.NameView();
  // The 8-bit name ends at the first unit whose low byte is zero (U+0100).
  std::size_t lowBytes = 0;
  while (lowBytes < wide.size() && (wide[lowBytes] & 0xFF) != 0) ++lowBytes;
  bool same = lowBytes == narrow.size() && !wide.empty();
  for (std::size_t i = 0; same && i < lowBytes; ++i)
    same = static_cast<unsigned char>(wide[i] & 0xFF) == static_cast<unsigned char>(narrow[i]);
  if (same) return std::u16string(wide);
  std::u16string widened;
  for (char c : narrow) widened += static_cast<char16_t>(static_cast<unsigned char>(c));
  return widened;
}

std::u32string NameOf(const Catalogue& catalogue, const FileEntry& entry) {
  return CodePoints(NameUnits(catalogue, entry));
}

// An original path as the bin recorded it, each part shown as names are.
std::string ShownOriginal(std::u16string_view path) {
  std::string shown;
  for (std::size_t start = 0;;) {
    const std::size_t end = std::min(path.find(u'\\', start), path.size());
    shown += Printable(CodePoints(path.substr(start, end - start)));
    if (end == path.size()) return shown;
    shown += '\\';
    start = end + 1;
  }
}

// The caption of a tree node: a folder's name as the volume holds it, any
// other node's text as the form made it.
std::u32string NodeCaption(const TreeView& tree, TreeNode node, const Catalogue& catalogue) {
  const std::string text = tree.Text(node);
  const auto* data = static_cast<const FolderNodeData*>(tree.Data(node));
  if (data && data->Name && data->RecordNumber < catalogue.Count()) {
    const FileEntry& entry = catalogue.At(static_cast<std::size_t>(data->RecordNumber));
    if (entry.IsBaseRecord && entry.NameView() == text) return NameOf(catalogue, entry);
  }
  return CodePointsOfLatin1(text);
}

// Before any work: the image can be opened (the host's own text when not)
// and holds an NTFS volume. Fills `identity` for the recovery's refusal to
// write onto it.
bool CheckImage(const std::string& image, int partition, struct stat* identity = nullptr) {
  const int fd = ::open(image.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::cerr << "vant: " << image << ": " << std::strerror(errno) << "\n";
    return false;
  }
  struct stat st;
  const bool statted = ::fstat(fd, &st) == 0;
  ::close(fd);
  if (!statted) {
    std::cerr << "vant: " << image << ": " << std::strerror(errno) << "\n";
    return false;
  }
  if (identity) *identity = st;
  const std::string fileSystem = image::FileSystemName(image, partition);
  if (fileSystem != "NTFS") {
    std::cerr << "vant: " << image << ": not an NTFS volume";
    if (!fileSystem.empty()) std::cerr << " (" << fileSystem << ")";
    std::cerr << "\n";
    return false;
  }
  return true;
}

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
  s.System.HostTexts = true;
  ShowProgress(s, "analizando");
  const bool ok = s.Analyse('C');
  EndProgress();
  s.Toolkit.OnPump = nullptr;
  if (!ok) {
    std::cerr << "vant: the image cannot be analysed";
    for (const auto& m : s.Toolkit.Asked)
      if (m.Caption.empty()) std::cerr << ": " << Shown(m.Text);
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

class Quiet : public WorkObserver {};

// An index remnant has no record of its own: its id is "r", its folder's
// record, "." and its place among that folder's remnants (from 1).
std::vector<std::string> RemnantIds(const std::vector<IndexRemnant>& remnants) {
  std::vector<std::string> ids;
  std::uint64_t folder = 0, place = 0;
  for (const IndexRemnant& r : remnants) {
    place = ids.empty() || r.Folder != folder ? 1 : place + 1;
    folder = r.Folder;
    ids.push_back("r" + std::to_string(r.Folder) + "." + std::to_string(place));
  }
  return ids;
}

bool IsRemnantId(std::string_view arg) { return !arg.empty() && arg[0] == 'r'; }

// `scan --remnants`: state "remnant" and the id where a record number would
// stand in the TSV; in the bodyfile "(index remnant)" after the name and the
// record the name last pointed to, or 0 (timeline readers take only digits
// and dashes there).
void PrintRemnantScanRows(const std::vector<IndexRemnant>& remnants, bool body) {
  const std::vector<std::string> ids = RemnantIds(remnants);
  for (std::size_t i = 0; i < remnants.size(); ++i) {
    const IndexRemnant& r = remnants[i];
    const std::string name = Printable(CodePoints(r.Name), body ? U'|' : 0);
    if (body) {
      std::cout << "0|" << name << " (index remnant)|" << (r.HasReference ? r.Record : 0) << "|"
                << (r.IsDirectory() ? "d/d" : "r/r") << "|0|0|" << r.RealSize << "|" << UnixTime(r.AccessTime) << "|" << UnixTime(r.ModificationTime) << "|"
                << UnixTime(r.ChangeTime) << "|" << UnixTime(r.CreationTime) << "\n";
    } else {
      std::cout << ids[i] << "\tremnant\t" << (r.IsDirectory() ? "dir" : "file") << '\t' << r.Folder << '\t' << r.RealSize
                << '\t' << Iso8601(r.CreationTime) << '\t' << Iso8601(r.ModificationTime) << '\t' << Iso8601(r.AccessTime)
                << '\t' << name << "\t\t\n";  // no original path, no recycling time
    }
  }
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
  void ReportError(std::string_view text) override { std::cerr << "vant: " << Shown(text) << "\n"; }
  void DiscardCatalogue() override {}

 private:
  std::int64_t max_ = 0;
  bool tty_ = ::isatty(2);
};

int CommandScan(const Args& args) {
  if (args.Positional.size() != 1) return std::cerr << kUsage, 2;
  if (!CheckImage(args.Positional[0], Partition(args))) return 1;
  ToolSystem system;
  system.HostTexts = true;
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
  catalogue.KeepVolumeNames(true);
  CliScanObserver observer;
  const ScanStats stats = ScanMft(context, catalogue, observer, system);
  if (::isatty(2)) std::fprintf(stderr, "\r\033[K");
  const bool deletedOnly = args.Has("--deleted");
  const bool body = args.Get("--format", "tsv") == "body";
  if (!body) std::cout << "record\tstate\tkind\tparent\tsize\tcreated\tmodified\taccessed\tname\toriginal\trecycled\n";
  for (std::size_t i = 0; i < catalogue.Count(); ++i) {
    const FileEntry& e = catalogue.At(i);
    if (!e.IsBaseRecord || (deletedOnly && !e.IsDeleted)) continue;
    // A bodyfile's fields are split at "|", so a name's own is escaped too.
    const std::string name = Printable(NameOf(catalogue, e), body ? U'|' : 0);
    const RecycledOrigin* origin = catalogue.OriginOf(e);
    std::string original = origin ? ShownOriginal(origin->Path) : std::string();
    if (body)  // a bodyfile's fields are split at "|"
      for (std::size_t at; (at = original.find('|')) != std::string::npos;) original.replace(at, 1, "\\x7C");
    if (body) {
      // MD5|name|inode|mode|UID|GID|size|atime|mtime|ctime|crtime; a bin
      // item's original path follows its name as a link's target would.
      std::cout << "0|" << name << (origin ? " -> " + original : std::string()) << (e.IsDeleted ? " (deleted)" : "")
                << "|" << e.RecordNumber << "|"
                << (e.IsDirectory ? "d/d" : "r/r") << "|0|0|" << e.FileSize << "|" << UnixTime(e.AccessTime) << "|"
                << UnixTime(e.ModificationTime) << "|0|" << UnixTime(e.CreationTime) << "\n";
    } else {
      std::cout << e.RecordNumber << '\t' << (e.IsDeleted ? "deleted" : "live") << '\t'
                << (e.IsDirectory ? "dir" : "file") << '\t' << e.ParentRecord << '\t' << e.FileSize << '\t'
                << Iso8601(e.CreationTime) << '\t' << Iso8601(e.ModificationTime) << '\t' << Iso8601(e.AccessTime)
                << '\t' << name << '\t' << original << '\t' << (origin ? Iso8601(origin->DeletionTime) : "") << '\n';
    }
  }
  if (args.Has("--remnants")) PrintRemnantScanRows(FindIndexRemnants(*context.VolumeHandle, catalogue), body);
  std::cerr << "vant: " << stats.Records << " records read";
  if (stats.UnreadableRecords) std::cerr << ", " << stats.UnreadableRecords << " unreadable";
  if (stats.FixupMismatches) std::cerr << ", " << stats.FixupMismatches << " torn (update sequence mismatch)";
  std::cerr << "\n";
  return 0;
}

int CommandTree(const Args& args) {
  if (args.Positional.size() != 1) return std::cerr << kUsage, 2;
  if (!CheckImage(args.Positional[0], Partition(args))) return 1;
  Session s(args.Positional, Partition(args));
  if (!AnalyseOrSay(s)) return 1;
  auto& tree = s.Form->Get<TreeView>("TreeView1");
  TreeNode drive = s.DriveNode('C');
  std::cout << Shown(tree.Text(drive)) << " [" << tree.Image(drive) << "]\n";
  // Iterative walk: deep folder chains must not overflow the stack.
  std::vector<std::pair<TreeNode, int>> work;
  for (TreeNode c = tree.FirstChild(drive); c; c = tree.NextSibling(c)) work.emplace_back(c, 1);
  std::reverse(work.begin(), work.end());
  while (!work.empty()) {
    auto [node, depth] = work.back();
    work.pop_back();
    std::cout << std::string(static_cast<std::size_t>(depth) * 2, ' ') << Printable(NodeCaption(tree, node, s.Entries))
              << " [" << tree.Image(node) << "]\n";
    std::vector<std::pair<TreeNode, int>> kids;
    for (TreeNode c = tree.FirstChild(node); c; c = tree.NextSibling(c)) kids.emplace_back(c, depth + 1);
    work.insert(work.end(), kids.rbegin(), kids.rend());
  }
  return 0;
}

// "C:\folder\sub\" with each folder's name as the volume holds it; a
// backslash inside a name shows doubled, so the separators stay readable.
std::string ShownFolderPath(const RowContext& rows, const FileEntry& entry) {
  const FolderPathParts parts = BuildFolderPathParts(rows, entry);
  std::string path{rows.DriveLetter, ':', '\\'};
  for (const std::string& caption : parts.LostCaptions) path += Shown(caption) + '\\';
  for (const FileEntry* folder : parts.Folders) path += Printable(NameOf(rows.Entries, *folder)) + '\\';
  return path;
}

// One row as the form lists it, the name (and, in search results, the
// folder path) as the volume holds it.
// An item of the recycle bin also shows (after the three time columns) its
// original path and when it was deleted; the name column keeps the bin's name.
void PrintRow(int image, const std::vector<std::string>& texts, const FileEntry* entry, const RowContext& rows,
              bool withFolder) {
  std::cout << image;
  for (std::size_t c = 1; c <= texts.size(); ++c) {
    const std::string& text = texts[c - 1];
    std::cout << '\t';
    if (entry && c == 1) std::cout << Printable(NameOf(rows.Entries, *entry));
    else if (entry && c == 2 && withFolder) std::cout << ShownFolderPath(rows, *entry);
    else std::cout << Shown(text);
  }
  if (const RecycledOrigin* origin = entry ? rows.Entries.OriginOf(*entry) : nullptr) {
    for (std::size_t c = texts.size(); c < (withFolder ? 6u : 5u); ++c) std::cout << '\t';
    std::cout << '\t' << ShownOriginal(origin->Path) << '\t' << Iso8601(origin->DeletionTime);
  }
  std::cout << '\n';
}

void PrintRows(const ListView& list, const RowContext& rows) {
  for (int r = 0; r < list.RowCount(); ++r) {
    std::vector<std::string> texts;
    for (int c = 1;; ++c) {
      std::string text = list.RowText(r, c);
      if (text.empty() && list.RowText(r, c + 1).empty()) break;
      texts.push_back(std::move(text));
    }
    PrintRow(list.RowImage(r), texts, static_cast<const FileEntry*>(list.RowData(r)), rows, false);
  }
}

RowContext RowsOf(Session& s) {
  return RowContext{s.Entries, s.Form->Get<TreeView>("TreeView1"), s.Form->LostItemsNode(), 'C'};
}

// A folder by its path below the drive, "/" or "\" between names, each name
// as the volume holds it (or as the tree shows it for the form's own nodes).
TreeNode FindFolder(Session& s, std::string_view pathUtf8) {
  std::u32string path = CodePointsOfUtf8(pathUtf8);
  for (char32_t& c : path)
    if (c == U'/') c = U'\\';
  while (!path.empty() && path.back() == U'\\') path.pop_back();
  const auto& tree = s.Form->Get<TreeView>("TreeView1");
  // Matched by whole captions, as a name may itself hold a backslash; two
  // siblings may share a caption (two bins both shown as PAPELERA), so every
  // match is tried in turn.
  std::function<TreeNode(TreeNode, std::u32string_view)> find = [&](TreeNode at, std::u32string_view rest) -> TreeNode {
    if (rest.empty()) return at;
    std::vector<std::pair<std::size_t, TreeNode>> matches;
    for (TreeNode c = tree.FirstChild(at); c; c = tree.NextSibling(c)) {
      const std::u32string caption = NodeCaption(tree, c, s.Entries);
      if (!caption.empty() && rest.starts_with(caption) && (rest.size() == caption.size() || rest[caption.size()] == U'\\'))
        matches.emplace_back(caption.size(), c);
    }
    std::stable_sort(matches.begin(), matches.end(), [](auto& a, auto& b) { return a.first > b.first; });
    for (auto [used, c] : matches)
      if (TreeNode found = find(c, rest.substr(std::min(rest.size(), used + 1)))) return found;
    return nullptr;
  };
  return find(s.DriveNode('C'), path);
}

// `ls --remnants`: after the folder's rows, its index remnants as rows of
// the same columns, image "r", and their id last.
void PrintRemnantRows(Session& s, TreeNode node) {
  const auto* data = static_cast<const FolderNodeData*>(s.Form->Get<TreeView>("TreeView1").Data(node));
  if (!data || data->RecordNumber >= s.Entries.Count()) return;  // the lost-items node stands for no folder
  const auto remnants = FindIndexRemnants(*s.Form->Context().VolumeHandle, s.Entries, data->RecordNumber);
  const std::vector<std::string> ids = RemnantIds(remnants);
  for (std::size_t i = 0; i < remnants.size(); ++i) {
    const IndexRemnant& r = remnants[i];
    std::cout << "r\t" << Printable(CodePoints(r.Name)) << '\t' << r.RealSize;
    for (std::int64_t t : {r.CreationTime, r.ModificationTime, r.AccessTime}) std::cout << '\t' << FormatFileTime(t).value_or("");
    std::cout << '\t' << ids[i] << '\n';
  }
}

int CommandLs(const Args& args) {
  if (args.Positional.size() != 2) return std::cerr << kUsage, 2;
  if (!CheckImage(args.Positional[0], Partition(args))) return 1;
  Session s({args.Positional[0]}, Partition(args));
  if (!AnalyseOrSay(s)) return 1;
  TreeNode node = FindFolder(s, args.Positional[1]);
  if (!node) {
    std::cerr << "vant: no folder " << Printable(CodePointsOfUtf8(args.Positional[1])) << " in the tree\n";
    return 1;
  }
  if (args.Has("--deleted")) s.Form->Get<CheckBox>("CheckBox1").SetChecked(true);
  headless::ClickNode(s.Form->Get<TreeView>("TreeView1"), node);
  PrintRows(s.Form->Get<ListView>("ListView1"), RowsOf(s));
  if (args.Has("--remnants")) PrintRemnantRows(s, node);
  return 0;
}

int CommandSearch(const Args& args) {
  if (args.Positional.size() != 2) return std::cerr << kUsage, 2;
  if (!CheckImage(args.Positional[0], Partition(args))) return 1;
  Session s({args.Positional[0]}, Partition(args));
  if (!AnalyseOrSay(s)) return 1;
  auto& types = s.Form->Get<FilterBox>("FilterComboBox1");
  const int type = std::stoi(args.Get("--type", "0"));
  if (type < 0 || type >= types.ItemCount()) return std::cerr << "vant: no type " << type << "\n", 2;
  types.SetSelectedIndex(type);
  // The form's rule of search on the names as the volume holds them (the
  // form itself sees only their low bytes), in catalogue order.
  const NameSearch search(args.Positional[1], types.Mask(), args.Has("--whole"));
  const bool deletedOnly = args.Has("--deleted");
  const RowContext rows = RowsOf(s);
  for (std::size_t i = 0; i < s.Entries.Count(); ++i) {
    const FileEntry& e = s.Entries.At(i);
    if (deletedOnly && !e.IsDeleted) continue;
    const std::u32string name = NameOf(s.Entries, e);
    const RecycledOrigin* origin = s.Entries.OriginOf(e);
    // A bin item is found by its original name too.
    if (name.empty() || !(search.Matches(name) || (origin && search.Matches(CodePoints(origin->Leaf()))))) continue;
    PrintRow(e.IsDeleted ? 2 : 0, FileRowTexts(rows, e, true), &e, rows, true);
  }
  return 0;
}

// The folders of an original path ("C:\\Users\\Ana\\x.docx" gives C, Users,
// Ana), each written as the output's names are.
std::vector<std::string> OriginalFolders(std::u16string_view path) {
  std::vector<std::string> folders;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find(u'\\', start), path.size());
    std::u16string part(path.substr(start, end - start));
    if (end == path.size()) break;  // the last part is the name itself
    if (part.size() == 2 && part[1] == u':') part.pop_back();  // "C:" as "C"
    if (!part.empty()) folders.push_back(OutputName(part, TargetRules::Posix));
    start = end + 1;
  }
  return folders;
}

int CommandRecover(const Args& args) {
  if (args.Positional.empty() || !args.Has("-o")) return std::cerr << kUsage, 2;
  const bool all = args.Has("--all-deleted");
  if (!all && args.Positional.size() < 2) return std::cerr << kUsage, 2;
  struct stat image;
  if (!CheckImage(args.Positional[0], Partition(args), &image)) return 1;
  Session s({args.Positional[0]}, Partition(args));
  if (!AnalyseOrSay(s)) return 1;
  // Index remnants are names only: told so, never written.
  int remnantsAsked = 0;
  if (!all) {
    std::vector<IndexRemnant> remnants;
    std::vector<std::string> ids;
    for (std::size_t k = 1; k < args.Positional.size(); ++k) {
      if (!IsRemnantId(args.Positional[k])) continue;
      if (remnants.empty()) {
        remnants = FindIndexRemnants(*s.Form->Context().VolumeHandle, s.Entries);
        ids = RemnantIds(remnants);
      }
      const auto at = std::find(ids.begin(), ids.end(), args.Positional[k]);
      if (at == ids.end()) {
        std::cerr << "vant: " << Printable(CodePointsOfUtf8(args.Positional[k])) << " is no index remnant of this volume\n";
        return 1;
      }
      std::cout << *at << "\t-\t" << Printable(CodePoints(remnants[std::size_t(at - ids.begin())].Name))
                << "\tno data to recover (index remnant)\n";
      ++remnantsAsked;
    }
    if (remnantsAsked + 1 == static_cast<int>(args.Positional.size())) return 1;
  }
  const std::string out = args.Get("-o");
  std::string error;
  auto tree = OutputTree::Open(out, error);
  if (!tree) {
    std::cerr << "vant: " << Printable(CodePointsOfUtf8(error)) << "\n";
    return 1;
  }
  tree->Protect(image.st_dev, image.st_ino);
  const bool force = args.Has("--force");
  const bool originalPaths = args.Has("--original-paths");
  const Catalogue& catalogue = s.Entries;
  VolumeDevice& volume = *s.Form->Context().VolumeHandle;
  const RecoveryGeometry geometry = ReadRecoveryGeometry(volume);
  const RowContext rows = RowsOf(s);

  std::vector<std::size_t> wanted;
  if (all) {
    for (std::size_t i = 0; i < catalogue.Count(); ++i) {
      const FileEntry& e = catalogue.At(i);
      // Unnamed slots are reserved records, not files anyone lost.
      if (e.IsBaseRecord && e.IsDeleted && !e.IsDirectory && !NameUnits(catalogue, e).empty()) wanted.push_back(i);
    }
  } else {
    for (std::size_t k = 1; k < args.Positional.size(); ++k) {
      if (IsRemnantId(args.Positional[k])) continue;
      const std::uint64_t record = std::stoull(args.Positional[k]);
      if (record >= catalogue.Count() || !catalogue.At(record).IsBaseRecord) {
        std::cerr << "vant: record " << record << " is not a file record of this volume\n";
        return 1;
      }
      wanted.push_back(record);
    }
  }
  auto widened = [](std::string_view latin1) {
    std::u16string units;
    for (char c : latin1) units += static_cast<char16_t>(static_cast<unsigned char>(c));
    return units;
  };
  int failures = 0;
  Quiet quiet;
  std::set<std::string> written;
  for (std::size_t index : wanted) {
    const FileEntry& e = catalogue.At(index);
    std::vector<std::string> folders;
    std::string name = OutputName(NameUnits(catalogue, e), TargetRules::Posix);
    const FolderPathParts parts = BuildFolderPathParts(rows, e);
    // An item of the recycle bin, or a file inside a recycled folder, goes
    // back under its original name: into PAPELERA, or where it came from.
    std::size_t inside = parts.Folders.size();  // the recycled folder's place in the chain, if any
    const RecycledOrigin* origin = catalogue.OriginOf(e);
    for (std::size_t k = parts.Folders.size(); !origin && k-- > 0;)
      if ((origin = catalogue.OriginOf(*parts.Folders[k]))) inside = k;
    if (origin) {
      folders = originalPaths ? OriginalFolders(origin->Path) : std::vector<std::string>{"PAPELERA"};
      const std::string leaf = OutputName(std::u16string(origin->Leaf()), TargetRules::Posix);
      if (inside == parts.Folders.size()) {
        name = leaf;
      } else if (all) {
        folders.push_back(leaf);
        for (std::size_t k = inside + 1; k < parts.Folders.size(); ++k)
          folders.push_back(OutputName(NameUnits(catalogue, *parts.Folders[k]), TargetRules::Posix));
      } else {
        folders.clear();  // one file asked for by its record: beside the others, as always
      }
    } else if (all) {
      for (const std::string& caption : parts.LostCaptions) folders.push_back(OutputName(widened(caption), TargetRules::Posix));
      for (const FileEntry* folder : parts.Folders)
        folders.push_back(OutputName(NameUnits(catalogue, *folder), TargetRules::Posix));
    }
    std::string relative;
    for (const std::string& f : folders) relative += f + "/";
    // Two files whose names come out the same in one folder both come back:
    // the later one is told apart by its record number.
    if (!written.insert(relative + name).second) {
      const std::size_t dot = name.rfind('.');
      const bool hasExtension = dot != std::string::npos && dot > 0;
      const std::string stem = hasExtension ? name.substr(0, dot) : name;
      const std::string extension = hasExtension ? name.substr(dot) : std::string();
      std::string apart = stem + "~" + std::to_string(e.RecordNumber) + extension;
      for (int k = 2; !written.insert(relative + apart).second; ++k)
        apart = stem + "~" + std::to_string(e.RecordNumber) + "-" + std::to_string(k) + extension;
      name = apart;
    }
    const std::string shownTarget = Printable(CodePointsOfUtf8((std::filesystem::path(out) / relative / name).string()));
    FileEntry& entry = const_cast<FileEntry&>(e);
    std::optional<RunList> runs;
    if (!e.IsResident) runs = LoadRunList(volume, entry, geometry, 'C', &catalogue);
    if (!e.IsResident && !runs) {
      std::cout << e.RecordNumber << "\t-\t" << shownTarget << "\tno data to recover\n";
      continue;
    }
    const int integrity = ComputeIntegrity(volume, entry, runs ? &*runs : nullptr, geometry, quiet);
    OutputTree::Result made = tree->Create(folders, name, force);
    if (made.What != OutputTree::Outcome::Created) {
      std::cout << e.RecordNumber << '\t' << integrity << "%\t" << shownTarget << '\t'
                << Printable(CodePointsOfUtf8(made.Text)) << "\n";
      ++failures;
      continue;
    }
    TreeFile& file = *made.File;
    file.KeepTimes({e.CreationTime, e.ModificationTime, e.AccessTime});
    const ExtractResult r = e.IsResident ? ExtractResidentFile(volume, entry, geometry, file)
                                         : ExtractRunFile(volume, e.FileSize, *runs, geometry, file, quiet);
    std::cout << e.RecordNumber << '\t' << integrity << "%\t" << shownTarget << '\t';
    if (!r.Ok || !file.ErrorText().empty()) {
      // A failure of ours is told with the host's text; one of the volume's
      // through the codes the engine reports.
      std::cout << (file.ErrorText().empty() ? Shown(s.System.ErrorText(r.Error)) : Printable(CodePointsOfUtf8(file.ErrorText())))
                << "\n";
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
  return failures || remnantsAsked ? 1 : 0;
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
