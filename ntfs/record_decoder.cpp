#include "ntfs/record_decoder.h"

#include <cstring>

#include "ntfs/attributes.h"
#include "ntfs/layout.h"

namespace vant {

using namespace ntfs;

bool IsValidBaseRecord(std::span<const std::uint8_t> record) {
  return record.size() >= rec::HeaderMin + 8 && std::memcmp(record.data(), "FILE", 4) == 0 &&
         GetU64(record.data() + rec::BaseRecord) == 0;
}

bool IsRecycledName(std::string_view name, char driveLetter) {
  if (name.size() < 2 || name[0] != 'D' || name[1] != driveLetter) return false;
  for (std::size_t i = 2; i < name.size(); ++i) {
    if (name[i] == '.') return true;
    if (name[i] < '0' || name[i] > '9') return false;
  }
  return false;  // no "." at all
}

namespace {

bool IsPassOverType(std::uint32_t type) {
  switch (type) {
    case attr::StandardInformation: case attr::AttributeList: case attr::ObjectId: case attr::SecurityDescriptor:
    case attr::VolumeName: case attr::VolumeInformation: case attr::IndexRoot: case attr::IndexAllocation:
    case attr::Bitmap: case attr::ReparsePoint: case attr::EaInformation: case attr::Ea:
      return true;
    default:
      return false;
  }
}

void DecodeData(FileEntry& entry, const AttributeView& data) {
  if (data.NonResident()) {
    // The header must be whole before any of its fields is read.
    if (data.Bytes.size() < attr::NonResidentHeader) return;
    const std::size_t pairs = GetU16(data.Bytes.data() + attr::MappingPairsOffset);
    if (pairs >= data.Bytes.size()) return;
    const std::int64_t initialized = data.InitializedSize();
    const std::int64_t allocated = data.AllocatedSize();
    entry.FileSize = static_cast<std::uint64_t>(initialized > allocated ? data.DataSize() : initialized);
    entry.DataOffset = data.Offset + pairs;
    entry.IsResident = false;
  } else {
    // The value must lie inside the attribute, so the recovery copies only record bytes.
    const auto value = data.ResidentValue();
    if (!value) return;
    entry.FileSize = value->size();
    entry.DataOffset = data.Offset + GetU16(data.Bytes.data() + attr::ValueOffset);
    entry.IsResident = true;
  }
}

}  // namespace

void DecodeFileRecord(Catalogue& catalogue, FileEntry& entry, std::span<const std::uint8_t> record, char driveLetter) {
  const std::uint16_t flags = GetU16(record.data() + rec::Flags);
  entry.IsDeleted = (flags & rec::FlagInUse) == 0;
  entry.IsDirectory = (flags & rec::FlagDirectory) != 0;
  entry.SequenceNumber = GetU16(record.data() + rec::SequenceNumber);

  char name[256];
  char16_t units16[256];
  std::size_t nameLength = 0;

  // The first attribute is taken for $STANDARD_INFORMATION without looking
  // at its type (only the header's low byte gives its offset).
  std::size_t offset = record[rec::FirstAttribute];
  auto current = AttributeAt(record, offset);
  if (current) {
    if (auto value = current->ResidentValue(); value && value->size() >= si::MinSize) {
      entry.CreationTime = GetI64(value->data() + si::CreationTime);
      entry.ModificationTime = GetI64(value->data() + si::ModificationTime);
      entry.AccessTime = GetI64(value->data() + si::AccessTime);
    }
    offset += current->Bytes.size();
    current = AttributeAt(record, offset);
    // The second attribute: one that is not a name is passed over (typically
    // the attribute list); its type is judged by its first byte.
    if (current && current->Bytes[0] == 0xFF) current.reset();  // the end marker, by its first byte
    if (current && current->Bytes[0] != attr::FileName) {
      offset += current->Bytes.size();
      current = AttributeAt(record, offset);
    }
  }
  // The name run: the last non-DOS name, the last parent whatever its namespace.
  while (current && current->Type() == attr::FileName) {
    // The value's offset is read only once the resident header is known whole.
    auto value = current->ResidentValue();
    if (value && GetU16(current->Bytes.data() + attr::ValueOffset) != 0 && value->size() >= fn::Name) {
      entry.ParentRecord = GetU64(value->data() + fn::ParentReference) & RecordNumberMask;
      const std::size_t units = (*value)[fn::NameLength];
      if ((*value)[fn::Namespace] != fn::NamespaceDos && fn::Name + 2 * units <= value->size()) {
        for (std::size_t i = 0; i < units; ++i) {
          name[i] = static_cast<char>((*value)[fn::Name + 2 * i]);
          units16[i] = static_cast<char16_t>(GetU16(value->data() + fn::Name + 2 * i));
        }
        nameLength = units;
      }
    }
    offset += current->Bytes.size();
    current = AttributeAt(record, offset);
  }
  catalogue.SetName(entry, std::string_view(name, nameLength));
  catalogue.SetVolumeName(entry, std::u16string_view(units16, nameLength));

  // $DATA directly after the names, or after exactly one attribute of a known type.
  if (current && current->Type() != attr::Data && IsPassOverType(current->Type())) {
    offset += current->Bytes.size();
    current = AttributeAt(record, offset);
  }
  if (current && current->Type() == attr::Data) DecodeData(entry, *current);

  if (IsRecycledName(entry.NameView(), driveLetter)) {
    entry.HeldInBin = !entry.IsDeleted;
    entry.IsDeleted = true;
  }
}

bool DecodeExtensionRecord(Catalogue& catalogue, FileEntry& base, std::span<const std::uint8_t> extension,
                           char driveLetter) {
  if (extension.size() < rec::HeaderMin) return false;
  bool changed = false;
  const bool wantName = base.NameView().empty();
  const bool wantData = base.FileSize == 0 && base.DataOffset == 0 && !base.IsResident && !base.IsDirectory;
  char name[256];
  char16_t units16[256];
  std::size_t nameLength = 0;
  bool haveName = false;
  for (std::size_t offset = GetU16(extension.data() + rec::FirstAttribute);;) {
    auto a = AttributeAt(extension, offset);
    if (!a) break;
    offset += a->Bytes.size();
    if (wantName && a->Type() == attr::FileName) {
      auto value = a->ResidentValue();
      if (!value || GetU16(a->Bytes.data() + attr::ValueOffset) == 0 || value->size() < fn::Name) continue;
      base.ParentRecord = GetU64(value->data() + fn::ParentReference) & RecordNumberMask;
      changed = true;
      const std::size_t units = (*value)[fn::NameLength];
      if ((*value)[fn::Namespace] != fn::NamespaceDos && fn::Name + 2 * units <= value->size()) {
        for (std::size_t i = 0; i < units; ++i) {
          name[i] = static_cast<char>((*value)[fn::Name + 2 * i]);
          units16[i] = static_cast<char16_t>(GetU16(value->data() + fn::Name + 2 * i));
        }
        nameLength = units;
        haveName = true;
      }
    } else if (wantData && a->Type() == attr::Data && a->NameLength() == 0 && a->NonResident() && a->LowestVcn() == 0 &&
               a->Bytes.size() >= attr::NonResidentHeader) {
      // The first piece of the data: its size. Its runs are gathered at
      // recovery time through the base record's attribute list.
      const std::int64_t initialized = a->InitializedSize();
      base.FileSize = static_cast<std::uint64_t>(initialized > a->AllocatedSize() ? a->DataSize() : initialized);
      changed = true;
    }
  }
  if (haveName) {
    catalogue.SetName(base, std::string_view(name, nameLength));
    catalogue.SetVolumeName(base, std::u16string_view(units16, nameLength));
    if (IsRecycledName(base.NameView(), driveLetter) && !base.IsDeleted) {
      base.HeldInBin = true;
      base.IsDeleted = true;
    }
  }
  return changed;
}

std::uint64_t BaseRecordOf(std::span<const std::uint8_t> record) {
  if (record.size() < rec::HeaderMin || std::memcmp(record.data(), "FILE", 4) != 0) return 0;
  return GetU64(record.data() + rec::BaseRecord) & RecordNumberMask;
}

}  // namespace vant
