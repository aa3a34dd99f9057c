// A recovered file's times on a POSIX system: modification and access (it
// keeps no creation time a program can set).
#pragma once

#include <sys/stat.h>

#include "platform/system.h"

namespace vant {

inline bool ApplyTimes(int fd, const OutputFile::Times& times) {
#ifdef _WIN32  // the headless toolkit's tests also run in the Windows build, where files keep the system's times
  (void)fd;
  (void)times;
  return false;
#else
  struct timespec both[2];
  std::int64_t seconds = 0;
  long nanoseconds = 0;
  both[0].tv_nsec = UTIME_OMIT;
  both[1].tv_nsec = UTIME_OMIT;
  if (FileTimeToUnix(times.Access, seconds, nanoseconds)) both[0] = {static_cast<time_t>(seconds), nanoseconds};
  if (FileTimeToUnix(times.Modification, seconds, nanoseconds)) both[1] = {static_cast<time_t>(seconds), nanoseconds};
  if (both[0].tv_nsec == UTIME_OMIT && both[1].tv_nsec == UTIME_OMIT) return true;
  return ::futimens(fd, both) == 0;
#endif
}

}  // namespace vant
