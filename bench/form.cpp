// The form as a user meets it, on real common controls: how long each step
// takes and how long the form goes without processing its messages (the
// longest it looks frozen to the user), on a drive of a million records in
// folders of a thousand files and on a drive with one folder of 100,000.
// The form is driven through its windows as a user drives it: tree
// selections, clicks and typed keys sent as messages; the analysis question
// is answered with OK.
//
// Usage: bench_form [--deadline SECONDS] [--bulk X:] [--bigfolder Y:]
// (bench/form-bench maps the two images as M: and N: and runs this under
// Wine). A step that passes the deadline is stopped as a user stops it and
// shows "> N" with the rows it reached and how long the form took to stop.
#include "platform/win32/win32_api.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_toolkit.h"
#include "workspace/tvant1.h"

namespace {

using Clock = std::chrono::steady_clock;
using vant::TreeNode;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// One step's watch over the message pumps. The step's start and end count
// as pumps for the gaps; a gap includes the pump that ends it, since a
// message arriving just after a pump's look waits that long.
struct StepWatch {
  Clock::time_point Start, LastPump;
  Clock::duration LongestGap{};
  long Pumps = 0;
  double Deadline = 0;
  std::function<int()> Rows;
  std::function<void()> Stop;  // what a user does to end the step
  std::optional<int> StoppedAt;  // rows reached when stopped
  Clock::time_point StopTime;     // when the user stopped it

  void PumpPoint(Clock::time_point at) {
    LongestGap = std::max(LongestGap, at - LastPump);
    LastPump = at;
  }
};

// Forwards everything to the real toolkit; notes the pumps of the step being
// watched and stops it at its deadline, from within a pump as a user's click
// would arrive.
class TimedToolkit : public vant::Toolkit {
 public:
  explicit TimedToolkit(vant::Toolkit& real) : real_(real) {}
  void Watch(StepWatch* watch) { watch_ = watch; }

  std::unique_ptr<vant::FormWindow> BuildForm(vant::FormLayout layout) override {
    return real_.BuildForm(std::move(layout));
  }
  vant::MsgAnswer MessageBox(std::string_view text, std::string_view caption, vant::MsgButtons buttons,
                             vant::MsgIcon icon) override {
    return real_.MessageBox(text, caption, buttons, icon);
  }
  void Notice(std::string_view text, vant::NoticeKind kind) override { real_.Notice(text, kind); }
  bool SaveDialog(vant::SaveDialogOptions& options) override { return real_.SaveDialog(options); }
  int SetHourglass() override { return real_.SetHourglass(); }
  void RestoreCursor(int token) override { real_.RestoreCursor(token); }
  std::chrono::microseconds PumpInterval() const override { return real_.PumpInterval(); }

  void ProcessMessages() override {
    StepWatch* watch = watch_;
    if (watch) {
      watch->PumpPoint(Clock::now());
      ++watch->Pumps;
    }
    real_.ProcessMessages();
    if (watch && !watch->StoppedAt && Seconds(Clock::now() - watch->Start) > watch->Deadline) {
      watch->StoppedAt = watch->Rows();
      watch->StopTime = Clock::now();
      watch->Stop();
    }
  }

 private:
  vant::Toolkit& real_;
  StepWatch* watch_ = nullptr;
};

HWND Window(const vant::Control& control) { return vant::win32::WindowOf(control); }

// One drive's form: built fresh, so each drive's analysis starts from an
// empty form, and let go with its catalogue afterwards.
class Session {
 public:
  Session(TimedToolkit& toolkit, vant::win32::ScriptedDialogs& dialogs, vant::win32::System& system,
          double deadline)
      : toolkit_(toolkit), dialogs_(dialogs), deadline_(deadline),
        form_(std::make_unique<vant::TVANT1>(toolkit, system, catalogue_)),
        tree_(form_->Get<vant::TreeView>("TreeView1")),
        files_(form_->Get<vant::ListView>("ListView1")),
        found_(form_->Get<vant::ListView>("ListView2")) {
    form_->Window().Show();
    Settle();
  }

  vant::TreeView& Tree() { return tree_; }
  vant::ListView& Files() { return files_; }
  vant::ListView& Found() { return found_; }
  vant::TVANT1& Form() { return *form_; }

  // The child of `parent` shown as `text`, or null.
  TreeNode Child(TreeNode parent, std::string_view text) const {
    for (TreeNode c = tree_.FirstChild(parent); c; c = tree_.NextSibling(c))
      if (tree_.Text(c) == text) return c;
    return nullptr;
  }
  // A folder by its path below `drive` ("bulk\\d00000").
  TreeNode Folder(TreeNode drive, std::string_view path) const {
    TreeNode at = drive;
    while (at && !path.empty()) {
      const auto cut = path.find('\\');
      at = Child(at, path.substr(0, cut));
      path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
    }
    return at;
  }

  // A click on a tree node.
  void Select(TreeNode node) {
    TreeView_SelectItem(Window(tree_), reinterpret_cast<HTREEITEM>(node));
  }
  void Click(std::string_view button) {
    SendMessageA(Window(form_->Get<vant::Control>(button)), BM_CLICK, 0, 0);
  }
  void Type(std::string_view edit, std::string_view text) {
    for (char c : text) SendMessageA(Window(form_->Get<vant::Control>(edit)), WM_CHAR, static_cast<unsigned char>(c), 1);
  }
  // Stops whatever the form lists: the user selects "Mi PC", which lists nothing.
  void StopListing() { Select(form_->MyComputerNode()); }
  void StopAnalysis() {
    dialogs_.Answer(IDYES);
    Click("BitBtn4");
  }
  // A search stops only with the form: the host lets it go. It is the last
  // step of a session, so nothing after it needs this form.
  void StopSearch() { form_->Abandon(); }

  // Runs the messages a step left behind (its last paints), outside any step.
  void Settle() { toolkit_.ProcessMessages(); }

  // Times `action`, printing one row of the table; false if it was stopped.
  bool Step(const std::string& name, const std::function<int()>& rows, const std::function<void()>& stop,
            const std::function<void()>& action) {
    Settle();
    StepWatch watch;
    watch.Deadline = deadline_;
    watch.Rows = rows;
    watch.Stop = stop;
    watch.Start = watch.LastPump = Clock::now();
    toolkit_.Watch(&watch);
    action();
    const auto end = Clock::now();
    toolkit_.Watch(nullptr);
    watch.PumpPoint(end);
    const double seconds = Seconds(end - watch.Start);
    const double gapMs = std::chrono::duration<double, std::milli>(watch.LongestGap).count();
    char time[32];
    if (watch.StoppedAt) std::snprintf(time, sizeof time, "> %.0f", deadline_);
    else std::snprintf(time, sizeof time, "%.3f", seconds);
    std::printf("%-44s %10s %9d %12.1f %9ld", name.c_str(), time, watch.StoppedAt ? *watch.StoppedAt : rows(), gapMs,
                watch.Pumps);
    // How long the form took to end the step once told (a listing clears its rows then).
    if (watch.StoppedAt) std::printf("   stopped in %.3f s", Seconds(end - watch.StopTime));
    std::printf("\n");
    std::fflush(stdout);
    Settle();
    return !watch.StoppedAt;
  }

  // Selects the drive's node and answers the question with OK: scan, tree,
  // and the root's files listed. Null when the drive is missing or stopped.
  TreeNode Analyse(char letter) {
    const std::string text = std::string(1, letter) + ":\\ (NTFS)";
    TreeNode drive = Child(form_->MyComputerNode(), text);
    if (!drive) {
      std::printf("%c: no drive %s in the form's tree: skipped\n", letter, text.c_str());
      return nullptr;
    }
    dialogs_.Answer(IDOK);
    const bool done = Step(std::string(1, letter) + ": analyse (scan, tree, root listed)",
                           [this] { return files_.RowCount(); }, [this] { StopAnalysis(); },
                           [&] { Select(drive); });
    if (!done || form_->LoadedDriveLetter() != letter) {
      std::printf("%c: the analysis did not finish: the drive's other steps skipped\n", letter);
      return nullptr;
    }
    return drive;
  }

  void ListFolder(const std::string& name, TreeNode folder) {
    Step(name, [this] { return files_.RowCount(); }, [this] { StopListing(); }, [&] { Select(folder); });
  }

  void Search(const std::string& name, std::string_view word) {
    vant::win32::SelectPage(form_->Get<vant::Control>("PageControl1"), 1);
    Type("Edit1", word);
    Step(name, [this] { return found_.RowCount(); }, [this] { StopSearch(); }, [this] { Click("BitBtn5"); });
  }

 private:
  TimedToolkit& toolkit_;
  vant::win32::ScriptedDialogs& dialogs_;
  double deadline_;
  vant::Catalogue catalogue_;
  std::unique_ptr<vant::TVANT1> form_;
  vant::TreeView& tree_;
  vant::ListView& files_;
  vant::ListView& found_;
};

// A million records in folders of a thousand files.
void BulkDrive(Session& s, char letter) {
  const TreeNode drive = s.Analyse(letter);
  if (!drive) return;
  const std::string l(1, letter);
  if (TreeNode folder = s.Folder(drive, "bulk\\d00000")) s.ListFolder(l + ": list a folder of 1,000 files", folder);
  else std::printf("%s: no folder bulk\\d00000: not the million-record image?\n", l.c_str());
  // No name holds the word: every entry is looked at, nothing listed.
  s.Search(l + ": search, no hit over every entry", "qzxjv");
}

// One folder of 100,000 photos, a tenth of them deleted.
void BigFolderDrive(Session& s, char letter) {
  const TreeNode drive = s.Analyse(letter);
  if (!drive) return;
  const std::string l(1, letter);
  const TreeNode fotos = s.Folder(drive, "fotos");
  if (!fotos) {
    std::printf("%s: no folder fotos: not the bigfolder image?\n", l.c_str());
    return;
  }
  s.ListFolder(l + ": list the folder of 100,000 files", fotos);
  const int shown = s.Files().RowCount();
  s.Step(l + ": clear the list (" + std::to_string(shown) + " rows)", [&] { return s.Files().RowCount(); },
         [] {}, [&] { s.StopListing(); });
  // The box ticked where nothing is listed, then the folder selected: the
  // listing of its deleted files alone, from an empty list.
  s.Click("CheckBox1");
  s.ListFolder(l + ": the same folder, deleted only", fotos);
  s.Search(l + ": search, every photo a hit", "IMG_");
}

// Wine's version, or empty on Windows.
std::string WineVersion() {
  using Version = const char*(CDECL*)();
  const auto get = reinterpret_cast<Version>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")));
  return get ? get() : "";
}

// Whether the controls draw with the visual theme (uxtheme's IsThemeActive).
std::string ThemeState() {
  HMODULE uxtheme = LoadLibraryA("uxtheme.dll");
  using IsActive = BOOL(WINAPI*)();
  const auto active =
      uxtheme ? reinterpret_cast<IsActive>(reinterpret_cast<void*>(GetProcAddress(uxtheme, "IsThemeActive"))) : nullptr;
  return !active ? "unknown" : active() ? "on" : "off";
}

// What the form told the user that no step expected (a read error, say).
void ReportNotices(vant::win32::ScriptedDialogs& dialogs) {
  for (const auto& notice : dialogs.Notices) std::printf("  the form said: %s\n", notice.Text.c_str());
  dialogs.Notices.clear();
}

char DriveArgument(const char* value) { return value && *value ? static_cast<char>(value[0] & ~0x20) : 0; }

}  // namespace

int main(int argc, char** argv) {
  double deadline = 300;
  char bulk = 'M', bigFolder = 'N';
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (a == "--deadline" && value) deadline = std::atof(argv[++i]);
    else if (a == "--bulk" && value) bulk = DriveArgument(argv[++i]);
    else if (a == "--bigfolder" && value) bigFolder = DriveArgument(argv[++i]);
    else {
      std::fprintf(stderr, "usage: bench_form [--deadline SECONDS] [--bulk X:] [--bigfolder Y:]\n");
      return 2;
    }
  }
  if (deadline <= 0) deadline = 300;
  try {
    vant::win32::ScriptedDialogs dialogs;
    vant::win32::Toolkit real(&dialogs);
    TimedToolkit toolkit(real);
    vant::win32::System system;
    const std::string wine = WineVersion();
    std::printf("form under %s, visual theme %s, deadline %.0f s per step\n",
                wine.empty() ? "Windows" : ("Wine " + wine).c_str(), ThemeState().c_str(), deadline);
    std::printf("%-44s %10s %9s %12s %9s\n", "step", "seconds", "rows", "max gap ms", "pumps");
    std::fflush(stdout);
    if (bulk) {
      Session session(toolkit, dialogs, system, deadline);
      BulkDrive(session, bulk);
      ReportNotices(dialogs);
    }
    if (bigFolder) {
      Session session(toolkit, dialogs, system, deadline);
      BigFolderDrive(session, bigFolder);
      ReportNotices(dialogs);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_form: %s\n", e.what());
    return 1;
  }
  return 0;
}
