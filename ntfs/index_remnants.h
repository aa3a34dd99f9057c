// Names still standing in folder indexes: $FILE_NAME keys left behind in a
// folder's INDX blocks (in the slack after a block's used part, and in
// blocks the index bitmap marks free) once the files they named were
// deleted and their records freed or taken by other files. Nothing of their
// data can be reached from them: they tell that a file existed, its name,
// size and times.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/catalogue.h"
#include "platform/volume_device.h"

namespace vant {

struct IndexRemnant {
  std::uint64_t Folder = 0;     // record number of the folder whose index held it
  std::u16string Name;          // as the key holds it
  bool HasReference = false;    // the index entry's header before the key survived:
  std::uint64_t Record = 0;     //   the record the name pointed to
  std::uint16_t Sequence = 0;   //   and that record's sequence number then
  std::uint64_t RealSize = 0;
  std::uint64_t AllocatedSize = 0;
  std::int64_t CreationTime = 0;  // FILETIME, UTC
  std::int64_t ModificationTime = 0;
  std::int64_t ChangeTime = 0;
  std::int64_t AccessTime = 0;
  std::uint32_t FileFlags = 0;  // the key's file attribute flags
  std::uint8_t Namespace = 0;
  bool FromFreeBlock = false;   // else from the slack of a block in use
  bool IsDirectory() const;
};

// What a key must agree with to be believed.
struct IndexKeyRules {
  std::uint64_t Folder = 0;       // the parent reference (48 bits) names it
  std::uint64_t VolumeBytes = 0;  // both sizes stay below it
  std::int64_t NewestTime = 0;    // times lie within 1 January 1980 and a year past it
  // Records in the MFT: an entry header naming one past them was partly
  // overwritten (an end marker written over its reference), so no reference.
  std::uint64_t Records = ~std::uint64_t{0};
};

// One INDX block as read.
struct IndexBlockScan {
  bool Valid = false;          // "INDX", an update sequence that fits, a sane node header
  bool FixupMismatch = false;  // some sector was torn: it is scanned as read
  std::vector<IndexRemnant> Keys;  // consistent keys outside the used part (anywhere in a free block)
  // The entries of the used part of a block in use: reference and name.
  std::vector<std::pair<std::uint64_t, std::u16string>> Live;
};

// Applies the block's fixups in place and reads it: the entries of its used
// part and, past it up to the allocated length (or over the whole block when
// `inUse` is false), every key that keeps `rules`. Never reads outside `block`.
IndexBlockScan ScanIndexBlock(std::span<std::uint8_t> block, bool inUse, const IndexKeyRules& rules);

struct IndexRemnantStats {
  std::uint64_t Folders = 0;        // folders whose index was read
  std::uint64_t Blocks = 0;         // INDX blocks read and valid
  std::uint64_t FreeBlocks = 0;     // of which the bitmap marks free
  std::uint64_t TornBlocks = 0;     // of which some sector failed its update-sequence check
  std::uint64_t ListedKeys = 0;     // consistent keys dropped: the catalogue lists them
};

// The remnants of every folder of the catalogue whose record can be read
// (live, and deleted ones whose records survive), or of `onlyFolder`, in
// folder order and, in each, block order. Reads the volume only through
// `volume`, bounded by the volume's size; writes nothing.
std::vector<IndexRemnant> FindIndexRemnants(VolumeDevice& volume, const Catalogue& catalogue,
                                            std::optional<std::uint64_t> onlyFolder = std::nullopt,
                                            IndexRemnantStats* stats = nullptr);

}  // namespace vant
