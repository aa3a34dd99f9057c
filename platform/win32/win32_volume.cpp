#include "platform/win32/win32_volume.h"

#include <winioctl.h>

#include <algorithm>
#include <cstring>

#include "platform/image/ntfs_answers.h"

namespace vant::win32 {
namespace {

// The volume's bytes through a raw handle, for computing answers. Volume
// handles take only sector-aligned transfers into aligned memory, so reads go
// through an aligned bounce buffer in whole 4 KiB units (a multiple of every
// sector size), falling back to 512-byte units at the end of the device.
class HandleSource : public image::ByteSource {
 public:
  explicit HandleSource(HANDLE handle) : handle_(handle) {
    bounce_ = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, kChunk, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  }
  ~HandleSource() override {
    if (bounce_) VirtualFree(bounce_, 0, MEM_RELEASE);
  }
  HandleSource(const HandleSource&) = delete;
  HandleSource& operator=(const HandleSource&) = delete;

  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
    if (!bounce_) return 0;
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::size_t done = 0;
    std::uint64_t unit = 4096;
    while (done < count) {
      const std::uint64_t at = offset + done;
      const std::uint64_t base = at & ~(unit - 1);
      const auto skip = static_cast<std::size_t>(at - base);
      const std::uint64_t span = (skip + (count - done) + unit - 1) & ~(unit - 1);
      const auto want = static_cast<DWORD>(std::min<std::uint64_t>(kChunk, span));
      DWORD got = 0;
      LARGE_INTEGER to;
      to.QuadPart = static_cast<LONGLONG>(base);
      if (!SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN) || !ReadFile(handle_, bounce_, want, &got, nullptr)) {
        if (unit == 512) break;
        unit = 512;  // a transfer crossing the device's end; retry in sectors
        continue;
      }
      if (got <= skip) break;
      const std::size_t n = std::min<std::size_t>(count - done, got - skip);
      std::memcpy(out + done, bounce_ + skip, n);
      done += n;
      if (got < want) break;
    }
    return done;
  }

  std::uint64_t Size() const override {
    GET_LENGTH_INFORMATION length{};
    DWORD returned = 0;
    if (DeviceIoControl(handle_, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &returned, nullptr))
      return static_cast<std::uint64_t>(length.Length.QuadPart);
    LARGE_INTEGER size;
    if (GetFileSizeEx(handle_, &size)) return static_cast<std::uint64_t>(size.QuadPart);
    return 0;
  }

 private:
  static constexpr std::size_t kChunk = 64 * 1024;
  HANDLE handle_;
  std::uint8_t* bounce_ = nullptr;
};

// Computing an answer moves the handle; the caller's position is put back.
class PositionKeeper {
 public:
  explicit PositionKeeper(HANDLE handle) : handle_(handle) {
    LARGE_INTEGER zero{};
    kept_ = SetFilePointerEx(handle_, zero, &position_, FILE_CURRENT) != FALSE;
  }
  ~PositionKeeper() {
    if (kept_) SetFilePointerEx(handle_, position_, nullptr, FILE_BEGIN);
  }

 private:
  HANDLE handle_;
  LARGE_INTEGER position_{};
  bool kept_;
};

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (Valid()) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE Get() const { return h_; }
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }

 private:
  HANDLE h_;
};

// What the system's driver answered, or that it refused.
struct DriverOutcome {
  bool Refused = false;
  IoResult Result;
};

DriverOutcome AskDriver(const DriverRequest& driver, HANDLE handle, std::uint32_t code, const void* in,
                        std::size_t inSize, void* out, std::size_t outSize) {
  DWORD returned = 0;
  if (driver(handle, code, in, static_cast<DWORD>(inSize), out, static_cast<DWORD>(outSize), &returned))
    return {false, {error_code::Success, returned}};
  const DWORD error = GetLastError();
  return {DriverRefused(error), {error, error == ERROR_MORE_DATA ? returned : 0}};
}

class VolumeHandleDevice : public VolumeDevice {
 public:
  VolumeHandleDevice(HANDLE volume, DriverRequest driver)
      : volume_(volume), driver_(std::move(driver)), source_(volume), answers_(source_) {}

  bool Seek(std::uint64_t offset) override {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (SetFilePointerEx(volume_.Get(), to, nullptr, FILE_BEGIN)) return true;
    error_ = GetLastError();
    return false;
  }
  std::uint64_t Position() const override {
    LARGE_INTEGER zero{}, at{};
    return SetFilePointerEx(volume_.Get(), zero, &at, FILE_CURRENT) ? static_cast<std::uint64_t>(at.QuadPart) : 0;
  }
  std::size_t Read(void* buffer, std::size_t count) override {
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < count) {
      const auto want = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
      DWORD got = 0;
      if (!ReadFile(volume_.Get(), out + done, want, &got, nullptr)) {
        error_ = GetLastError();
        break;
      }
      done += got;
      if (got < want) {
        error_ = error_code::HandleEof;
        break;
      }
    }
    return done;
  }
  IoResult Control(std::uint32_t code, const void* in, std::size_t inSize, void* out, std::size_t outSize) override {
    // A file's request on a volume handle: Wine's devices, being files,
    // would answer it about the image file itself.
    if (code == ioctl::GetRetrievalPointers) {
      error_ = error_code::InvalidParameter;
      return {error_code::InvalidParameter, 0};
    }
    DriverOutcome asked = AskDriver(driver_, volume_.Get(), code, in, inSize, out, outSize);
    const bool computable =
        code == ioctl::GetDriveGeometry || code == ioctl::GetNtfsVolumeData || code == ioctl::GetVolumeBitmap;
    if (asked.Refused && computable) {
      PositionKeeper keep(volume_.Get());
      asked.Result = answers_.Answer(code, in, inSize, out, outSize);
    } else if (asked.Refused) {
      asked.Result = {error_code::InvalidParameter, 0};  // as a volume handle answers requests about files
    }
    if (!asked.Result.Ok() && !asked.Result.MoreData()) error_ = asked.Result.Error;
    return asked.Result;
  }
  std::uint32_t LastError() const override { return error_; }

 private:
  Handle volume_;
  DriverRequest driver_;
  HandleSource source_;
  image::NtfsAnswers answers_;
  std::uint32_t error_ = 0;
};

// The $MFT opened for queries: it cannot be read, and answers only where
// the $MFT lies on the volume.
class MftHandleDevice : public VolumeDevice {
 public:
  MftHandleDevice(HANDLE mft, HANDLE volume, DriverRequest driver)
      : mft_(mft), volume_(volume), driver_(std::move(driver)), source_(volume), answers_(source_) {}

  bool IsNtfs() { return answers_.IsNtfs(); }

  bool Seek(std::uint64_t offset) override {
    if (!mft_.Valid()) return Fail(error_code::InvalidHandle);
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (SetFilePointerEx(mft_.Get(), to, nullptr, FILE_BEGIN)) return true;
    return Fail(GetLastError());
  }
  std::uint64_t Position() const override {
    LARGE_INTEGER zero{}, at{};
    if (!mft_.Valid() || !SetFilePointerEx(mft_.Get(), zero, &at, FILE_CURRENT)) return 0;
    return static_cast<std::uint64_t>(at.QuadPart);
  }
  std::size_t Read(void* buffer, std::size_t count) override {
    if (!mft_.Valid()) return Fail(error_code::AccessDenied), 0;  // opened for queries only
    DWORD got = 0;
    if (!ReadFile(mft_.Get(), buffer, static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30)), &got, nullptr))
      Fail(GetLastError());
    return got;
  }
  IoResult Control(std::uint32_t code, const void* in, std::size_t inSize, void* out, std::size_t outSize) override {
    DriverOutcome asked{true, {error_code::InvalidParameter, 0}};
    if (mft_.Valid()) asked = AskDriver(driver_, mft_.Get(), code, in, inSize, out, outSize);
    if (asked.Refused && code == ioctl::GetRetrievalPointers) {
      PositionKeeper keep(volume_.Get());
      asked.Result = answers_.Answer(code, in, inSize, out, outSize);
    } else if (asked.Refused) {
      asked.Result = {error_code::InvalidParameter, 0};  // a file handle knows nothing of the volume
    }
    if (!asked.Result.Ok() && !asked.Result.MoreData()) error_ = asked.Result.Error;
    return asked.Result;
  }
  std::uint32_t LastError() const override { return error_; }

 private:
  bool Fail(std::uint32_t e) {
    error_ = e;
    return false;
  }
  Handle mft_;
  Handle volume_;
  DriverRequest driver_;
  HandleSource source_;
  image::NtfsAnswers answers_;
  std::uint32_t error_ = 0;
};

HANDLE OpenReadOnly(const char* path, DWORD access) {
  // Never write access: the volume under analysis is only ever read.
  return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

HANDLE OpenVolumeHandle(char letter) {
  char path[] = "\\\\.\\A:";
  path[4] = letter;
  return OpenReadOnly(path, GENERIC_READ);
}

}  // namespace

DriverRequest SystemDriver() {
  return [](HANDLE device, DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) {
    return DeviceIoControl(device, code, const_cast<void*>(in), inSize, out, outSize, returned, nullptr);
  };
}

bool DriverRefused(DWORD error) { return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION; }

std::unique_ptr<VolumeDevice> WrapVolumeHandle(HANDLE volume, DriverRequest driver) {
  return std::make_unique<VolumeHandleDevice>(volume, std::move(driver));
}

std::unique_ptr<VolumeDevice> WrapMftHandle(HANDLE mft, HANDLE volume, DriverRequest driver) {
  return std::make_unique<MftHandleDevice>(mft, volume, std::move(driver));
}

std::unique_ptr<VolumeDevice> OpenVolumeDevice(char letter, std::uint32_t& error, DriverRequest driver) {
  HANDLE volume = OpenVolumeHandle(letter);
  if (volume == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return nullptr;
  }
  return WrapVolumeHandle(volume, std::move(driver));
}

std::unique_ptr<VolumeDevice> OpenMftDevice(char letter, std::uint32_t& error, DriverRequest driver) {
  char path[] = "\\\\.\\A:\\$MFT";
  path[4] = letter;
  HANDLE mft = OpenReadOnly(path, GENERIC_READ);
  const DWORD openError = mft == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  if (mft == INVALID_HANDLE_VALUE && openError != ERROR_FILE_NOT_FOUND && openError != ERROR_PATH_NOT_FOUND) {
    error = openError;
    return nullptr;
  }
  // The volume handle serves the answers the driver refuses (and all of them
  // when the system shows no $MFT file, as Wine does).
  HANDLE volume = OpenVolumeHandle(letter);
  if (volume == INVALID_HANDLE_VALUE) {
    if (mft != INVALID_HANDLE_VALUE) CloseHandle(mft);
    error = openError ? openError : GetLastError();
    return nullptr;
  }
  auto device = std::make_unique<MftHandleDevice>(mft, volume, std::move(driver));
  if (mft == INVALID_HANDLE_VALUE && !device->IsNtfs()) {
    error = error_code::FileNotFound;  // a volume without NTFS has no $MFT
    return nullptr;
  }
  return device;
}

}  // namespace vant::win32
