#include "cli/output_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/headless/file_times.h"

namespace vant::cli {
namespace {

std::string SystemText(int e) { return std::strerror(e); }

const char* KindOf(mode_t mode) {
  if (S_ISLNK(mode)) return "a symbolic link";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

// Names come from OutputName, which never makes these; checked again here
// because a name that climbs out of the tree must never reach a call.
bool IsPlainComponent(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

}  // namespace

TreeFile::TreeFile(int folder, int fd, std::string name, std::string temporary)
    : folder_(folder), fd_(fd), name_(std::move(name)), temporary_(std::move(temporary)) {}

TreeFile::~TreeFile() {
  if (fd_ >= 0) ::close(fd_);
  // A replacement that never completed leaves the old file as it was.
  if (!temporary_.empty()) ::unlinkat(folder_, temporary_.c_str(), 0);
  ::close(folder_);
}

void TreeFile::Fail(const char* what) {
  if (errno_ != 0) return;  // the first failure is the one to tell
  errno_ = errno;
  error_ = std::string(what) + ": " + SystemText(errno_);
}

std::size_t TreeFile::Write(const void* data, std::size_t count) {
  std::size_t done = 0;
  while (done < count && fd_ >= 0) {
    const ssize_t n = ::write(fd_, static_cast<const char*>(data) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      Fail("write");
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  return done;
}

bool TreeFile::Close() {
  if (fd_ < 0) return errno_ == 0;
  ApplyTimes(fd_, times_);
  if (::fsync(fd_) != 0 && errno != EINVAL) Fail("flush to disk");
  if (::close(fd_) != 0) Fail("close");
  fd_ = -1;
  if (!temporary_.empty() && errno_ == 0) {
    if (::renameat(folder_, temporary_.c_str(), folder_, name_.c_str()) != 0) Fail("replace");
    else temporary_.clear();
  }
  return errno_ == 0;
}

OutputTree::~OutputTree() {
  if (fd_ >= 0) ::close(fd_);
}

OutputTree::OutputTree(OutputTree&& other) noexcept
    : fd_(other.fd_), protected_(std::move(other.protected_)), serial_(other.serial_) {
  other.fd_ = -1;
}

std::unique_ptr<OutputTree> OutputTree::Open(const std::string& path, std::string& error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec) {
      error = path + ": cannot make the folder: " + SystemText(ec.value());
      return nullptr;
    }
    fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }
  if (fd < 0) {
    error = path + ": " + SystemText(errno);
    return nullptr;
  }
  return std::unique_ptr<OutputTree>(new OutputTree(fd));
}

void OutputTree::Protect(dev_t device, ino_t inode) { protected_.emplace_back(device, inode); }

bool OutputTree::IsProtected(const struct stat& st) const {
  for (const auto& [device, inode] : protected_)
    if (st.st_dev == device && st.st_ino == inode) return true;
  return false;
}

OutputTree::Result OutputTree::Create(const std::vector<std::string>& folders, const std::string& name, bool force) {
  Result result;
  int dir = ::dup(fd_);
  if (dir < 0) {
    result.Text = SystemText(errno);
    return result;
  }
  auto fail = [&](Outcome what, std::string text) {
    ::close(dir);
    result.What = what;
    result.Text = std::move(text);
    return std::move(result);
  };
  std::string walked;
  for (const std::string& folder : folders) {
    walked += folder + "/";
    if (!IsPlainComponent(folder)) return fail(Outcome::Refused, "unsafe folder name");
    if (::mkdirat(dir, folder.c_str(), 0755) != 0 && errno != EEXIST)
      return fail(Outcome::Failed, "cannot make folder " + walked + ": " + SystemText(errno));
    const int next = ::openat(dir, folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) {
      const int e = errno;
      struct stat st;
      if (::fstatat(dir, folder.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode))
        return fail(Outcome::Refused, walked + " is " + KindOf(st.st_mode) + ", not followed");
      return fail(Outcome::Failed, "cannot open folder " + walked + ": " + SystemText(e));
    }
    ::close(dir);
    dir = next;
  }
  if (!IsPlainComponent(name)) return fail(Outcome::Refused, "unsafe file name");

  constexpr int kCreate = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  struct stat st;
  if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (!force) return fail(Outcome::Exists, "exists, not overwritten");
    if (IsProtected(st)) return fail(Outcome::Refused, "is the image under analysis, not replaced");
    if (!S_ISREG(st.st_mode)) return fail(Outcome::Refused, std::string("is ") + KindOf(st.st_mode) + ", not replaced");
    // The new file is written beside the old one and renamed over it, so a
    // hard link elsewhere keeps its bytes.
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string temporary =
          ".vant-" + std::to_string(::getpid()) + "-" + std::to_string(++serial_) + ".part";
      const int fd = ::openat(dir, temporary.c_str(), kCreate, 0644);
      if (fd >= 0) {
        result.What = Outcome::Created;
        result.File.reset(new TreeFile(dir, fd, name, temporary));
        return result;
      }
      if (errno != EEXIST) return fail(Outcome::Failed, "cannot create a file beside it: " + SystemText(errno));
    }
    return fail(Outcome::Failed, "cannot create a file beside it: " + SystemText(EEXIST));
  }
  if (errno != ENOENT) return fail(Outcome::Failed, SystemText(errno));
  const int fd = ::openat(dir, name.c_str(), kCreate, 0644);
  if (fd < 0) {
    if (errno == EEXIST) return fail(Outcome::Exists, "exists, not overwritten");
    return fail(Outcome::Failed, SystemText(errno));
  }
  result.What = Outcome::Created;
  result.File.reset(new TreeFile(dir, fd, name, ""));
  return result;
}

}  // namespace vant::cli
