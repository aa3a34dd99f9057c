#include "workspace/tvant1.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "catalogue/folder_tree.h"
#include "catalogue/search.h"
#include "platform/latin1.h"
#include "recovery/extraction.h"
#include "recovery/integrity.h"
#include "recovery/run_list.h"
#include "workspace/form_layout.h"

namespace vant {

Catalogue& ModuleCatalogue() {
  static Catalogue catalogue;
  return catalogue;
}

namespace {
// Created with the module, before any form exists.
[[maybe_unused]] Catalogue& kModuleCatalogue = ModuleCatalogue();

constexpr std::string_view kConfirmation = "Confirmación"_l1;

std::string Format(std::string_view pattern, std::string_view a, std::string_view b = {}) {
  // Patterns with "%s"/"%c" in order, filled by plain text (names may hold '%').
  std::string out;
  std::string_view args[] = {a, b};
  int next = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && (pattern[i + 1] == 's' || pattern[i + 1] == 'c') && next < 2) {
      out += args[next++];
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

}  // namespace

// Progress, message pumping and the cancel flag for the engine's long work,
// on a given progress bar. Positions are pushed to the bar when messages are
// processed, so stepping per entry costs nothing, and at most 20 times a
// second: with a visual theme each move of the bar is a costly repaint.
class TVANT1::Progress : public ScanObserver {
 public:
  Progress(TVANT1& form, ProgressBar* bar) : form_(form), bar_(bar) {}
  void SetProgressMax(std::int64_t max) override {
    if (bar_) bar_->SetMax(max);
  }
  void SetProgress(std::int64_t position) override {
    position_ = position;
    if (bar_) bar_->SetPosition(position);
  }
  void StepProgress(std::int64_t by) override { position_ += by; }
  void Pump() override {
    if (bar_) {
      const auto now = std::chrono::steady_clock::now();
      if (now - shown_ >= std::chrono::milliseconds(50)) {
        bar_->SetPosition(position_);
        shown_ = now;
      }
    }
    form_.Pump();
  }
  bool CancelRequested() const override { return form_.context_.CancelRequested; }
  void ReportError(std::string_view text) override { form_.toolkit_.Notice(text, NoticeKind::Information); }
  void ScanStarted() override {
    form_.SetStageMark("Image7", 4);
    form_.Get<Control>("Panel4").SetVisible(false);
    form_.Get<Control>("Panel5").SetVisible(true);
    const std::string capacity = form_.system_.FormatByteSize(form_.system_.DriveTotalSize(form_.context_.DriveLetter - 'A' + 1), 8);
    form_.Get<TextControl>("Label11").SetText(
        Format("Realizando el análisis de la Unidad %c:\\ que tiene una capacidad de %s."_l1,
               std::string(1, form_.context_.DriveLetter), capacity));
  }
  void DiscardCatalogue() override { form_.DiscardCatalogue(); }
  void Finish() {
    if (bar_) bar_->SetPosition(position_);
  }

 private:
  TVANT1& form_;
  ProgressBar* bar_;
  std::int64_t position_ = 0;
  std::chrono::steady_clock::time_point shown_{};  // when the bar last moved
};

TVANT1::TVANT1(Toolkit& toolkit, SystemServices& system, Catalogue& catalogue)
    : toolkit_(toolkit), system_(system), catalogue_(catalogue), window_(toolkit.BuildForm(Tvant1Layout())) {
  tree_ = &Get<TreeView>("TreeView1");
  list1_ = &Get<ListView>("ListView1");
  list2_ = &Get<ListView>("ListView2");
  tree_->OnChange = [this](TreeNode n) { TreeView1Change(n); };
  tree_->OnClick = [this] { TreeView1Click(); };
  tree_->OnDeletion = [this](TreeNode n) { TreeView1Deletion(n); };
  list1_->OnClick = [this] { ListView1Click(); };
  list2_->OnClick = [this] { ListView2Click(); };
  // Rows are entries; their texts are made when a row is shown.
  ShowFileRows(*list1_, [this] { return Rows(); }, false);
  ShowFileRows(*list2_, [this] { return Rows(); }, true);
  // The search's choices, kept as they change: it reads them per entry.
  Get<FilterBox>("FilterComboBox1").OnChange = [this] { searchMask_ = Get<FilterBox>("FilterComboBox1").Mask(); };
  Get<CheckBox>("CheckBox8").OnClick = [this] { searchWholeName_ = Get<CheckBox>("CheckBox8").Checked(); };
  Get<CheckBox>("CheckBox1").OnClick = [this] { CheckBox1Click(); };
  Get<CheckBox>("CheckBox2").OnClick = [this] { CheckBox2Click(); };
  Get<Button>("BitBtn2").OnClick = [this] { BitBtn2Click(); };
  Get<Button>("BitBtn3").OnClick = [this] { BitBtn3Click(); };
  Get<Button>("BitBtn4").OnClick = [this] { BitBtn4Click(); };
  Get<Button>("BitBtn5").OnClick = [this] { BitBtn5Click(); };
  Get<EditBox>("Edit1").OnKeyPress = [this](char& key) { Edit1KeyPress(key); };
  ActiveFormCreate();
  if (window_->OnCreate) window_->OnCreate();
}

TVANT1::~TVANT1() {
  // The form's own destruction work, then whatever a host bound to it.
  ActiveFormDestroy();
  if (window_->OnDestroy) window_->OnDestroy();
  // The widgets go first: the tree's deletions release every node's data.
  window_.reset();
}

void TVANT1::Pump() { toolkit_.ProcessMessages(); }

RowContext TVANT1::Rows() { return RowContext{catalogue_, *tree_, lostItems_, context_.DriveLetter}; }

// ---------------------------------------------------------------- start-up

void TVANT1::ActiveFormCreate() {
  TreeNode desktop = tree_->AddChild(nullptr, "Escritorio", nullptr, 8, 8);
  myComputer_ = tree_->AddChild(desktop, "Mi PC", nullptr, 7, 7);
  tree_->Select(myComputer_);
  const std::uint32_t mask = system_.LogicalDrives();
  std::string root = "A:\\";
  for (int bit = 0; bit < 32; ++bit, ++root[0]) {
    if (!(mask & (1u << bit)) || system_.GetDriveType(root) != DriveType::Fixed) continue;
    std::string fileSystem;
    if (!system_.GetFileSystemName(root, fileSystem)) fileSystem.clear();
    if (fileSystem.size() > 31) fileSystem.resize(31);  // the name's 32-byte buffer
    const std::string text = root + " (" + fileSystem + ")";
    void* data = fileSystem == "NTFS" ? FolderNodeData::Make(RootDirectoryRecord) : nullptr;
    tree_->AddChild(myComputer_, text, data, 1, 1);
    if (fileSystem == "FAT32") fatKind_ = 2;
    else if (fileSystem == "FAT") fatKind_ = 1;
  }
  myDocuments_ = tree_->AddChild(desktop, "Mis Documentos", FolderNodeData::Make(0), 9, 9);
}

void TVANT1::ActiveFormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  list1_->Clear();
  list2_->Clear();
  children_.Clear();
  catalogue_.Clear();
  CloseVolume(context_);
  loadedDrive_ = 0;
  context_.DriveLetter = 0;
}

void TVANT1::TreeView1Deletion(TreeNode node) {
  ReleaseNodeData(*tree_, node);
  if (node == lostItems_) lostItems_ = nullptr;
  if (node == currentNode_) currentNode_ = nullptr;
  if (node == pendingNode_) pendingNode_ = nullptr;
}

void TVANT1::TreeView1Click() { Get<Control>("BitBtn2").SetEnabled(false); }

// ---------------------------------------------------------- analysis flow

bool TVANT1::Listable(TreeNode node) const {
  if (!node || node == myComputer_) return false;
  const auto* data = static_cast<const FolderNodeData*>(tree_->Data(node));
  return data && data->Children;
}

void TVANT1::EndRun() {
  pendingNode_ = nullptr;
  currentNode_ = nullptr;
  relistRequested_ = false;
  context_.CancelRequested = abandoned_;
}

void TVANT1::Abandon() {
  abandoned_ = true;
  context_.CancelRequested = true;
}

void TVANT1::TreeView1Change(TreeNode node) {
  if (pendingNode_) {
    // A run is in progress: it picks the new node up. The very node it is
    // handling (the filter box toggled) makes its listing start again.
    if (node != pendingNode_) pendingNode_ = node;
    else relistRequested_ = true;
    return;
  }
  tree_->SetDoubleBuffered(true);
  list1_->SetDoubleBuffered(true);
  pendingNode_ = currentNode_ = node;
  char letter = 0;

  for (;;) {  // the restart point: a drive node met by the listing decides again
    std::string documents;
    const bool haveDocuments = system_.DocumentsPath(documents);
    if (haveDocuments && currentNode_ == myDocuments_) {
      // A documents folder that is not on a drive letter (a network path) offers no analysis.
      const bool onDrive = documents.size() >= 2 && documents[1] == ':' &&
                           ((documents[0] & ~0x20) >= 'A' && (documents[0] & ~0x20) <= 'Z');
      letter = onDrive ? static_cast<char>(documents[0] & ~0x20) : 0;
    } else if (tree_->Parent(currentNode_) == myComputer_) {
      letter = tree_->Text(currentNode_)[0];
    }
    if (letter != 0 && letter != loadedDrive_) {
      if (!Analyse(letter, documents, haveDocuments)) {
        EndRun();
        return;
      }
    }

    list1_->Clear();
    if (!Listable(currentNode_)) {
      EndRun();
      return;
    }
    bool redecide = false;
    const auto* data = static_cast<const FolderNodeData*>(tree_->Data(currentNode_));
    auto files = children_.FilesOf(data->RecordNumber);
    relistRequested_ = false;
    // The box can change only while messages are processed; pressing it
    // restarts the listing, which reads it again.
    bool deletedOnly = Get<CheckBox>("CheckBox1").Checked();
    PumpBudget pump(64, 65536, toolkit_.PumpInterval());
    bool settled = false;  // messages processed after the last row
    for (std::size_t k = 0;;) {
      if (abandoned_) break;
      if (pendingNode_ != currentNode_) {
        currentNode_ = pendingNode_;
        list1_->Clear();
        if (!Listable(currentNode_)) {
          EndRun();
          return;
        }
        if (tree_->Text(currentNode_).size() > 1 && tree_->Text(currentNode_)[1] == ':') {
          redecide = true;
          break;
        }
        data = static_cast<const FolderNodeData*>(tree_->Data(currentNode_));
        files = children_.FilesOf(data->RecordNumber);
        k = 0;
        settled = false;
        continue;
      }
      if (relistRequested_) {
        relistRequested_ = false;
        list1_->Clear();
        deletedOnly = Get<CheckBox>("CheckBox1").Checked();
        k = 0;
        settled = false;
        continue;
      }
      if (k >= files.size()) {
        // The last rows reach the window, and a choice made meanwhile is taken.
        if (settled) break;
        settled = true;
        Pump();
        continue;
      }
      AddFileRow(*list1_, catalogue_.At(files[k++]), deletedOnly);
      if (pump.Due()) Pump();
    }
    if (!redecide) break;
  }
  EndRun();
}

bool TVANT1::OpenDrive(char letter) {
  // The new volume is opened before the loaded one is let go: a drive that
  // cannot be opened leaves the previous analysis loaded and true.
  VolumeContext fresh;
  if (!OpenVolume(fresh, system_, letter - 'A')) {
    toolkit_.MessageBox(system_.ErrorText(fresh.LastError), "", MsgButtons::Ok, MsgIcon::Information);
    return false;
  }
  CloseVolume(context_);
  context_.VolumeHandle = std::move(fresh.VolumeHandle);
  loadedDrive_ = letter;
  context_.DriveLetter = letter;
  return true;
}

void TVANT1::ClearTreeBelowDrives() {
  for (TreeNode drive = tree_->FirstChild(myComputer_); drive; drive = tree_->NextSibling(drive))
    tree_->DeleteChildren(drive);
  tree_->DeleteChildren(myDocuments_);
  lostItems_ = nullptr;
}

void TVANT1::SetStageMark(std::string_view image, int mark) {
  auto& box = Get<ImageBox>(image);
  box.ShowImage(-1);
  box.Redraw();
  box.ShowImage(mark);
}

void TVANT1::ClearStageMarks() {
  for (std::string_view name : {"Image7", "Image8", "Image9"}) Get<ImageBox>(name).ShowImage(-1);
}

void TVANT1::DiscardCatalogue() {
  // Rows point at entries: they go with them.
  list1_->Clear();
  list2_->Clear();
  children_.Clear();
  catalogue_.Clear();
  Get<Control>("Panel5").SetVisible(false);
  Get<Control>("Panel4").SetVisible(true);
}

bool TVANT1::Analyse(char letter, const std::string& documents, bool haveDocuments) {
  const std::string capacity = system_.FormatByteSize(system_.DriveTotalSize(letter - 'A' + 1), 8);
  const std::string question = Format(
      "Para mostrarle el contenido de la carpeta se va a realizar el análisis de la Unidad %c:\\ que tiene una "
      "capacidad de %s. Este proceso puede durar algunos minutos. ¿Quiere comenzar el análisis de la unidad?"_l1,
      std::string(1, letter), capacity);
  if (toolkit_.MessageBox(question, kConfirmation, MsgButtons::OkCancel, MsgIcon::Question) != MsgAnswer::Ok) return false;
  if (abandoned_ || !OpenDrive(letter)) return false;
  if (!OpenMft(context_, system_)) {
    const std::string peek = PeekFatRootDirectory(context_, fatKind_);
    toolkit_.MessageBox(peek, "", MsgButtons::Ok, MsgIcon::None);
  }
  ClearTreeBelowDrives();
  list1_->Clear();
  list2_->Clear();
  children_.Clear();

  auto& bar = Get<ProgressBar>("ProgressBar1");
  Progress progress(*this, &bar);
  tree_->SetEnabled(false);
  lastScan_ = ScanMft(context_, catalogue_, progress, system_);
  tree_->SetEnabled(true);
  if (context_.CancelRequested) {
    ClearStageMarks();
    return false;
  }
  SetStageMark("Image7", 3);
  Get<ImageBox>("Image8").ShowImage(4);

  TreeNode drive = nullptr;
  for (TreeNode c = tree_->FirstChild(myComputer_); c && !drive; c = tree_->NextSibling(c))
    if (tree_->Text(c)[0] == letter) drive = c;
  if (drive) {
    progress.SetProgress(0);
    lostItems_ = tree_->AddChild(drive, "Elementos perdidos", FolderNodeData::Make(NoDirectoryRecord), 10, 10);
    FolderTreeBuilder builder(*tree_, catalogue_, drive, lostItems_, progress);
    builder.BuildFolderTree();
    progress.Finish();
    SetStageMark("Image8", 3);
    Get<ImageBox>("Image9").ShowImage(4);
    SetStageMark("Image9", 3);
    if (context_.CancelRequested) {
      DiscardCatalogue();
      ClearStageMarks();
      return false;
    }
    SortFolderTree();
    if (lostItems_) tree_->MoveToEnd(lostItems_);
  }
  if (haveDocuments && !documents.empty() && documents[0] == loadedDrive_) {
    TreeNode at = drive;
    std::string_view rest(documents);
    const auto first = rest.find('\\');
    rest = first == std::string_view::npos ? std::string_view() : rest.substr(first + 1);
    while (at && !rest.empty()) {
      const auto cut = rest.find('\\');
      const std::string_view part = rest.substr(0, cut);
      TreeNode next = nullptr;
      for (TreeNode c = tree_->FirstChild(at); c && !next; c = tree_->NextSibling(c))
        if (tree_->Text(c) == part) next = c;
      at = next;
      rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    }
    if (at && at != drive) CopyFolderSubtree(*tree_, at, myDocuments_);
  }
  bar.SetPosition(bar.Max());
  children_.Build(catalogue_);
  ClearStageMarks();
  Get<Control>("Panel5").SetVisible(false);
  return true;
}

// Node by node, processing messages between: a drive holds thousands of
// folders, and each costs the window system several requests.
void TVANT1::SortFolderTree() {
  PumpBudget pump(1, 65536, toolkit_.PumpInterval());
  std::vector<TreeNode> work{nullptr};
  while (!work.empty()) {
    const TreeNode node = work.back();
    work.pop_back();
    tree_->SortChildren(node, false);
    for (TreeNode c = tree_->FirstChild(node); c; c = tree_->NextSibling(c)) work.push_back(c);
    if (pump.Due()) Pump();
  }
}

void TVANT1::CheckBox1Click() {
  if (tree_->Count() > 0 && tree_->Selected()) TreeView1Change(tree_->Selected());
}

void TVANT1::BitBtn4Click() {
  if (toolkit_.MessageBox("¿Desea detener el proceso y recomenzar la aplicación?"_l1, kConfirmation, MsgButtons::YesNo,
                          MsgIcon::Question) == MsgAnswer::Yes)
    context_.CancelRequested = true;
}

void TVANT1::ListView1Click() { Get<Control>("BitBtn2").SetEnabled(list1_->SelectedCount() > 0); }
void TVANT1::ListView2Click() { Get<Control>("BitBtn3").SetEnabled(list2_->SelectedCount() > 0); }

// ------------------------------------------------------------------ search

void TVANT1::BitBtn5Click() {
  if (searching_) {
    searchRestart_ = true;
    return;
  }
  searching_ = true;
  RunSearch();
  searching_ = false;
}

void TVANT1::RunSearch() {
  auto& button = Get<Control>("BitBtn5");
  auto& edit = Get<EditBox>("Edit1");
  auto& filter = Get<FilterBox>("FilterComboBox1");
  auto& bar = Get<ProgressBar>("ProgressBar2");
  auto& label = Get<Control>("Label15");
  button.SetEnabled(false);
  edit.SetEnabled(false);
  filter.SetEnabled(false);
  list2_->SetDoubleBuffered(true);
  label.SetVisible(true);
  bar.SetVisible(true);
  Progress progress(*this, &bar);
  // The system's lower case of each byte, asked once: asked per character
  // of a million names it would cost more than the search itself.
  std::array<unsigned char, 256> lowered{};
  for (int c = 0; c < 256; ++c) lowered[c] = system_.ToLower(static_cast<unsigned char>(c));
  const LowerCase lower = [&lowered](unsigned char c) { return lowered[c]; };
  bool again = true;
  while (again && !abandoned_) {
    again = false;
    searchRestart_ = false;
    progress.SetProgressMax(static_cast<std::int64_t>(catalogue_.Count()));
    progress.SetProgress(0);
    if (Get<CheckBox>("CheckBox7").Checked()) list2_->Clear();
    const std::string word = ToLowerText(edit.Text(), lower);
    const std::uint64_t generation = catalogue_.Generation();
    // The choices are read from their controls once per pass (on Windows
    // each read is a window message); a change during the pass reaches the
    // form's own copies through the controls' notifications.
    searchMask_ = filter.Mask();
    searchWholeName_ = Get<CheckBox>("CheckBox8").Checked();
    const bool deletedOnly = Get<CheckBox>("CheckBox2").Checked();
    PumpBudget pump(64, 65536, toolkit_.PumpInterval());
    for (std::size_t i = 0; i < catalogue_.Count(); ++i) {
      progress.StepProgress(1);
      FileEntry& entry = catalogue_.At(i);
      // Entries without a name (records never decoded, reserved slots) are not files to find.
      // An item of the recycle bin is found by its bin name and by its original one.
      const RecycledOrigin* origin = catalogue_.OriginOf(entry);
      const auto matches = [&](std::string_view name) {
        return MatchesSearch(name, word, searchMask_, searchWholeName_, lower);
      };
      if (!entry.NameView().empty() && (matches(entry.NameView()) || (origin && matches(origin->Leaf8()))))
        AddFileRow(*list2_, entry, deletedOnly);
      if (pump.Due()) {
        progress.Pump();
        // A new analysis ran meanwhile: the entries walked are gone.
        if (catalogue_.Generation() != generation) break;
        if (searchRestart_ || abandoned_) break;
      }
    }
    // The last rows reach the window before the pass ends.
    if (!abandoned_ && catalogue_.Generation() == generation) progress.Pump();
    progress.Finish();
    if (searchRestart_) {
      // The deleted-only box was pressed meanwhile: a fresh list, once.
      auto& discard = Get<CheckBox>("CheckBox7");
      const bool was = discard.Checked();
      discard.SetChecked(true);
      searchRestart_ = false;
      progress.SetProgress(0);
      list2_->Clear();
      discard.SetChecked(was);
      again = true;
    }
  }
  label.SetVisible(false);
  bar.SetVisible(false);
  button.SetEnabled(true);
  edit.SetEnabled(true);
  filter.SetEnabled(true);
}

void TVANT1::Edit1KeyPress(char& key) {
  if (key == '\r') BitBtn5Click();
  else if (key == '*') key = 0;
}

void TVANT1::CheckBox2Click() {
  if (tree_->Count() == 0) return;
  if (searching_) {
    searchRestart_ = true;
    return;
  }
  auto& discard = Get<CheckBox>("CheckBox7");
  const bool was = discard.Checked();
  discard.SetChecked(true);
  BitBtn5Click();
  discard.SetChecked(was);
}

// ---------------------------------------------------------------- recovery

void TVANT1::BitBtn3Click() {
  useFolderListing_ = false;
  BitBtn2Click();
  useFolderListing_ = true;
}

void TVANT1::BitBtn2Click() {
  if (!context_.VolumeHandle) return;
  const RecoveryGeometry geometry = ReadRecoveryGeometry(*context_.VolumeHandle);
  ListView& list = useFolderListing_ ? *list1_ : *list2_;
  const std::uint64_t generation = catalogue_.Generation();
  for (int row = list.NextSelected(-1); row != -1; row = list.NextSelected(row)) {
    auto* entry = static_cast<FileEntry*>(list.RowData(row));
    RecoverRow(*entry, geometry);
    if (catalogue_.Generation() != generation || abandoned_) break;  // the rows went with the catalogue
  }
}

void TVANT1::RecoverRow(FileEntry& entry, const RecoveryGeometry& geometry) {
  VolumeDevice& volume = *context_.VolumeHandle;
  Progress progress(*this, nullptr);
  std::optional<RunList> runs;
  if (!entry.IsResident) runs = LoadRunList(volume, entry, geometry, context_.DriveLetter, &catalogue_);
  if (!entry.IsResident && !runs) {
    toolkit_.Notice(Format("El archivo %s no contiene datos que se puedan recuperar."_l1, entry.NameView()),
                    NoticeKind::Information);
    return;
  }
  const int integrity = ComputeIntegrity(volume, entry, runs ? &*runs : nullptr, geometry, progress);
  const std::string question = Format("La integridad del archivo %s es del "_l1, entry.NameView()) +
                               std::to_string(integrity) + std::string("%. ¿Desea proceder a su recuperación?"_l1);
  if (toolkit_.MessageBox(question, kConfirmation, MsgButtons::YesNo, MsgIcon::Question) != MsgAnswer::Yes) return;

  for (char* p = entry.Name; p && *p; ++p)
    if (static_cast<signed char>(*p) < 32) *p = ' ';
  SaveDialogOptions dialog;
  dialog.Title = "Guardar archivo";
  // An item of the recycle bin is proposed under the name it had before.
  const RecycledOrigin* origin = catalogue_.OriginOf(entry);
  dialog.FileName = origin ? origin->Leaf8() : std::string(entry.NameView());
  for (char& c : dialog.FileName)
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  if (!toolkit_.SaveDialog(dialog)) {
    toolkit_.Notice("Restauración cancelada"_l1, NoticeKind::Information);
    return;
  }
  const std::string& path = dialog.FileName;
  if (system_.PathIsOnDrive(path, loadedDrive_)) {
    const std::string warning = Format(
        "El archivo %s se va a guardar en la unidad %c:, la misma que se está analizando. Escribir en ella puede "
        "sobrescribir los datos de los archivos borrados que quiere recuperar. ¿Desea guardarlo ahí de todos modos?"_l1,
        entry.NameView(), std::string(1, loadedDrive_));
    if (toolkit_.MessageBox(warning, kConfirmation, MsgButtons::YesNo, MsgIcon::Question) != MsgAnswer::Yes) {
      toolkit_.Notice("Restauración cancelada"_l1, NoticeKind::Information);
      return;
    }
  }
  std::uint32_t error = 0;
  std::unique_ptr<OutputFile> destination;
  if (path.size() > system_.MaxPathLength()) error = error_code::FilenameTooLong;
  else destination = system_.CreateOutputFile(path, error);
  if (!destination) {
    if (error == error_code::FilenameTooLong)
      toolkit_.Notice(Format("La ruta %s es demasiado larga para guardar el archivo."_l1, path), NoticeKind::Warning);
    else
      toolkit_.Notice("Error al crear el archivo en ruta la especificada", NoticeKind::Warning);
    return;
  }
  // The copy keeps the record's times, as the file had them.
  destination->KeepTimes({entry.CreationTime, entry.ModificationTime, entry.AccessTime});
  const int cursor = toolkit_.SetHourglass();
  const ExtractResult result = entry.IsResident
                                   ? ExtractResidentFile(volume, entry, geometry, *destination)
                                   : ExtractRunFile(volume, entry.FileSize, *runs, geometry, *destination, progress);
  toolkit_.RestoreCursor(cursor);
  if (result.Cancelled) {
    // Stopped with the form: the part written is no recovered file.
    destination.reset();
    system_.RemoveFile(path);
    return;
  }
  if (!result.Ok) {
    toolkit_.Notice(Format("Error al escribir el archivo %s: %s"_l1, path, system_.ErrorText(result.Error)),
                    NoticeKind::Warning);
    return;
  }
  if (result.UnreadableClusters > 0) {
    toolkit_.Notice(Format("No se pudieron leer %s clústeres del archivo %s: se han escrito como ceros."_l1,
                           std::to_string(result.UnreadableClusters), entry.NameView()),
                    NoticeKind::Warning);
  }
  if (runs && runs->Encrypted) {
    toolkit_.Notice(Format("El archivo %s está cifrado por NTFS: se ha guardado tal como está en el disco, sin descifrar."_l1,
                           entry.NameView()),
                    NoticeKind::Warning);
  }
  toolkit_.Notice(Format("Restauración del archivo %s terminada"_l1, entry.NameView()), NoticeKind::Information);
}

}  // namespace vant
