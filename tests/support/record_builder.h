// Hand-made FILE records for decoder tests: attributes laid out as a real
// volume lays them, so a test states only what it is about.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ntfs/layout.h"

namespace vant::testing {

class RecordBuilder {
 public:
  explicit RecordBuilder(std::size_t size = 1024, std::uint16_t flags = 1) : bytes_(size, 0) {
    std::memcpy(bytes_.data(), "FILE", 4);
    ntfs::PutU16(&bytes_[ntfs::rec::UsaOffset], 48);
    ntfs::PutU16(&bytes_[ntfs::rec::UsaCount], static_cast<std::uint16_t>(1 + size / 512));
    ntfs::PutU16(&bytes_[ntfs::rec::Flags], flags);
    first_ = 72;  // past the update-sequence array of a 4096-byte record
    ntfs::PutU16(&bytes_[ntfs::rec::FirstAttribute], static_cast<std::uint16_t>(first_));
    at_ = first_;
    End();
  }
  RecordBuilder& StandardInformation(std::int64_t created, std::int64_t modified, std::int64_t accessed) {
    std::vector<std::uint8_t> v(72, 0);
    ntfs::PutU64(&v[0], created);
    ntfs::PutU64(&v[8], modified);
    ntfs::PutU64(&v[24], accessed);
    return Resident(ntfs::attr::StandardInformation, v);
  }
  RecordBuilder& FileName(std::uint64_t parent, const std::u16string& name, std::uint8_t nameSpace = 1) {
    std::vector<std::uint8_t> v(66 + 2 * name.size(), 0);
    ntfs::PutU64(&v[0], parent | (std::uint64_t{3} << 48));
    v[64] = static_cast<std::uint8_t>(name.size());
    v[65] = nameSpace;
    for (std::size_t i = 0; i < name.size(); ++i) ntfs::PutU16(&v[66 + 2 * i], name[i]);
    return Resident(ntfs::attr::FileName, v);
  }
  RecordBuilder& Resident(std::uint32_t type, const std::vector<std::uint8_t>& value) {
    const std::size_t length = (24 + value.size() + 7) / 8 * 8;
    std::uint8_t* a = &bytes_[at_];
    ntfs::PutU32(a, type);
    ntfs::PutU32(a + 4, static_cast<std::uint32_t>(length));
    ntfs::PutU32(a + 16, static_cast<std::uint32_t>(value.size()));
    ntfs::PutU16(a + 20, 24);
    std::memcpy(a + 24, value.data(), value.size());
    at_ += length;
    return End();
  }
  RecordBuilder& NonResident(std::uint32_t type, std::int64_t allocated, std::int64_t dataSize, std::int64_t initialized,
                             const std::vector<std::uint8_t>& pairs) {
    const std::size_t length = (64 + pairs.size() + 1 + 7) / 8 * 8;
    std::uint8_t* a = &bytes_[at_];
    ntfs::PutU32(a, type);
    ntfs::PutU32(a + 4, static_cast<std::uint32_t>(length));
    a[8] = 1;
    ntfs::PutU16(a + 32, 64);
    ntfs::PutU64(a + 40, allocated);
    ntfs::PutU64(a + 48, dataSize);
    ntfs::PutU64(a + 56, initialized);
    std::memcpy(a + 64, pairs.data(), pairs.size());
    at_ += length;
    return End();
  }
  std::size_t Cursor() const { return at_; }
  // Writes the check values into each 512-byte stretch, as a volume stores the record.
  std::vector<std::uint8_t> OnDisk(std::uint16_t check = 0x0102) const {
    std::vector<std::uint8_t> r = bytes_;
    ntfs::PutU16(&r[48], check);
    for (std::size_t i = 1; i <= r.size() / 512; ++i) {
      r[48 + 2 * i] = r[i * 512 - 2];
      r[48 + 2 * i + 1] = r[i * 512 - 1];
      ntfs::PutU16(&r[i * 512 - 2], check);
    }
    return r;
  }
  std::vector<std::uint8_t>& Bytes() { return bytes_; }

 private:
  RecordBuilder& End() {
    ntfs::PutU32(&bytes_[at_], ntfs::attr::End);
    return *this;
  }
  std::vector<std::uint8_t> bytes_;
  std::size_t first_, at_;
};

}  // namespace vant::testing
