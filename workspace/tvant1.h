// The form TVANT1: the recovery workspace the user sees. It owns the drive
// tree and the analysis state, and runs every user action as a handler.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/listing.h"
#include "ntfs/mft_scan.h"
#include "ntfs/volume_context.h"
#include "platform/system.h"
#include "platform/toolkit.h"

namespace vant {

// The catalogue of the module: created empty when the library is loaded,
// before any form exists.
Catalogue& ModuleCatalogue();

class TVANT1 {
 public:
  TVANT1(Toolkit& toolkit, SystemServices& system, Catalogue& catalogue = ModuleCatalogue());
  ~TVANT1();
  TVANT1(const TVANT1&) = delete;
  TVANT1& operator=(const TVANT1&) = delete;

  FormWindow& Window() { return *window_; }
  template <class T>
  T& Get(std::string_view name) { return window_->Get<T>(name); }

  // --- handlers ---
  void ActiveFormCreate();
  void ActiveFormDestroy();
  void TreeView1Change(TreeNode node);
  void TreeView1Click();
  void TreeView1Deletion(TreeNode node);
  void CheckBox1Click();
  void BitBtn4Click();
  void ListView1Click();
  void ListView2Click();
  void BitBtn2Click();
  void BitBtn3Click();
  void BitBtn5Click();
  void Edit1KeyPress(char& key);
  void CheckBox2Click();

  // The host let the form go while one of its handlers runs: the analysis
  // ends as a cancel does, a listing, search or recovery stops (a file being
  // written is removed, never left half-written), and nothing more is asked.
  void Abandon();

  // --- state, for hosts and tests ---
  TreeNode MyComputerNode() const { return myComputer_; }
  TreeNode MyDocumentsNode() const { return myDocuments_; }
  TreeNode LostItemsNode() const { return lostItems_; }
  std::uint8_t FatKind() const { return fatKind_; }
  char LoadedDriveLetter() const { return loadedDrive_; }
  bool RunInProgress() const { return pendingNode_ != nullptr; }
  const VolumeContext& Context() const { return context_; }
  const Catalogue& Entries() const { return catalogue_; }
  const ScanStats& LastScan() const { return lastScan_; }
  bool UseFolderListing() const { return useFolderListing_; }

 private:
  class Progress;
  class Scan;
  bool Analyse(char letter, const std::string& documents, bool haveDocuments);
  bool OpenDrive(char letter);
  void ClearTreeBelowDrives();
  void ClearStageMarks();
  void SetStageMark(std::string_view image, int mark);
  void DiscardCatalogue();
  void SortFolderTree();
  bool Listable(TreeNode node) const;
  void EndRun();
  void RunSearch();
  void RecoverRow(FileEntry& entry, const struct RecoveryGeometry& geometry);
  RowContext Rows();
  void Pump();

  Toolkit& toolkit_;
  SystemServices& system_;
  Catalogue& catalogue_;
  std::unique_ptr<FormWindow> window_;
  TreeView* tree_ = nullptr;
  ListView* list1_ = nullptr;
  ListView* list2_ = nullptr;

  TreeNode myComputer_ = nullptr;
  TreeNode myDocuments_ = nullptr;
  TreeNode lostItems_ = nullptr;
  std::uint8_t fatKind_ = 0;
  VolumeContext context_;
  char loadedDrive_ = 0;
  TreeNode currentNode_ = nullptr;
  TreeNode pendingNode_ = nullptr;
  bool relistRequested_ = false;
  ChildIndex children_;
  ScanStats lastScan_;
  bool searching_ = false;
  bool searchRestart_ = false;
  std::string searchMask_;
  bool searchWholeName_ = false;
  bool useFolderListing_ = true;
  bool destroyed_ = false;
  bool abandoned_ = false;
};

}  // namespace vant
