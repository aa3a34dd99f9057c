// The Windows volume device: a raw handle on "\\.\X:" (read-only) and the
// $MFT handle, passing seeks, reads and device requests to the system. When
// the driver refuses a request that the on-disk structures answer (Wine's
// devices are plain files and refuse them all), the answer is computed from
// the volume's own bytes read through the same handle.
#pragma once

#include "platform/win32/win32_api.h"

#include <functional>
#include <memory>

#include "platform/volume_device.h"

namespace vant::win32 {

// The driver behind DeviceIoControl; replaceable so that tests can stand in
// a driver that answers, refuses or fails.
using DriverRequest = std::function<BOOL(HANDLE device, DWORD code, const void* in, DWORD inSize, void* out,
                                         DWORD outSize, DWORD* returned)>;
DriverRequest SystemDriver();

// Whether a driver's error means "this request is not served here", so that
// the on-disk structures may answer instead.
bool DriverRefused(DWORD error);

// Takes ownership of `volume`, a handle on a volume device.
std::unique_ptr<VolumeDevice> WrapVolumeHandle(HANDLE volume, DriverRequest driver = SystemDriver());

// `mft` is a handle on the volume's $MFT opened for queries, or
// INVALID_HANDLE_VALUE when the file system offers none although the
// volume is NTFS (then every answer comes from the on-disk structures).
// `volume` is a read-only handle on the same volume. Takes ownership of both.
std::unique_ptr<VolumeDevice> WrapMftHandle(HANDLE mft, HANDLE volume, DriverRequest driver = SystemDriver());

// "\\.\X:" opened read-only; null with `error` set when it cannot be opened.
std::unique_ptr<VolumeDevice> OpenVolumeDevice(char letter, std::uint32_t& error, DriverRequest driver = SystemDriver());
// "\\.\X:\$MFT" opened read-only (queries only). Where the system has
// no such file for an NTFS volume (Wine), the device is made from the
// volume's own structures; a volume that is not NTFS fails with the error
// of the open.
std::unique_ptr<VolumeDevice> OpenMftDevice(char letter, std::uint32_t& error, DriverRequest driver = SystemDriver());

}  // namespace vant::win32
