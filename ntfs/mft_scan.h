// Reads every record of the analysed volume's MFT into the catalogue, one
// entry per record slot, so that entry n is record n.
#pragma once

#include "catalogue/catalogue.h"
#include "ntfs/volume_context.h"
#include "platform/system.h"
#include "platform/work_observer.h"

namespace vant {

class ScanObserver : public WorkObserver {
 public:
  // The scan has emptied the catalogue and is about to read: the form shows
  // its progress panel.
  virtual void ScanStarted() {}
  // Empties the catalogue and shows the start panel (a cancelled scan).
  virtual void DiscardCatalogue() = 0;
};

struct ScanStats {
  std::uint64_t Records = 0;
  std::uint64_t UnreadableRecords = 0;
  std::uint64_t FixupMismatches = 0;
  std::uint64_t BytesRead = 0;
};

// Largest record the scan accepts.
inline constexpr std::uint32_t MaxRecordSize = 65536;
// Records are read in batches of at least this many bytes.
inline constexpr std::size_t ScanBatchBytes = 4 * 1024 * 1024;

ScanStats ScanMft(VolumeContext& context, Catalogue& catalogue, ScanObserver& observer, SystemServices& system);

}  // namespace vant
