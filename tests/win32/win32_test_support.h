// What the Windows tests share: the drives the build script maps and a form
// built by the real toolkit with scripted dialogs.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/win32/win32_api.h"

namespace vant::testing {

// A drive letter the build script passes (VANT_WIN_DRIVE...), or 0.
inline char DriveFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? static_cast<char>(value[0] & ~0x20) : 0;
}

inline std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// A folder of its own under the system's temporary folder.
inline std::string TempFolder(const std::string& name) {
  char base[MAX_PATH] = {};
  GetTempPathA(sizeof base, base);
  std::string folder = std::string(base) + name;
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

}  // namespace vant::testing
