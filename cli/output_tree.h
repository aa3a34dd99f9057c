// The folder recovered files are written into, held open by its descriptor:
// every folder and file below it is made relative to that descriptor
// without following symbolic links, so nothing already in the tree can
// send a recovered file elsewhere. New files are created exclusively; a
// forced replacement writes a new file and renames it over a regular file
// (never writing through the old one), and refuses anything else. Files
// named as protected (the image or device under analysis) are never
// replaced, whatever path leads to them. Errors carry the operating
// system's own text.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/system.h"

namespace vant::cli {

// A file being written below the output folder. Its writes report the bytes
// written; the first failure's text stays in ErrorText.
class TreeFile : public OutputFile {
 public:
  ~TreeFile() override;
  std::size_t Write(const void* data, std::size_t count) override;
  // Makes the data durable and, for a replacement, puts the new file in the
  // old one's place; false with ErrorText set when that failed.
  bool Close() override;
  std::uint32_t LastError() const override { return errno_; }
  const std::string& ErrorText() const { return error_; }

 private:
  friend class OutputTree;
  TreeFile(int folder, int fd, std::string name, std::string temporary);
  void Fail(const char* what);

  int folder_;             // a duplicate of the folder's descriptor
  int fd_;
  std::string name_;       // the file's name in its folder
  std::string temporary_;  // non-empty while a replacement is being written
  int errno_ = 0;
  std::string error_;
};

class OutputTree {
 public:
  enum class Outcome { Created, Exists, Refused, Failed };
  struct Result {
    Outcome What = Outcome::Failed;
    std::unique_ptr<TreeFile> File;  // with Created
    std::string Text;                // why not, for the others
  };

  ~OutputTree();
  OutputTree(OutputTree&& other) noexcept;
  OutputTree& operator=(OutputTree&&) = delete;

  // Opens the output folder, making it (and missing parents) first. The
  // path the user typed is followed as typed, links included: it is theirs.
  // Null with `error` set when it cannot be used.
  static std::unique_ptr<OutputTree> Open(const std::string& path, std::string& error);

  // Never replace or write into this file (compared by device and inode).
  void Protect(dev_t device, ino_t inode);

  // Creates `name` below the folders `folders` (made when missing). Without
  // `force` an existing name of any kind is left alone (Exists). With it, a
  // regular file is replaced by a new one; anything else is Refused, as is
  // a protected file and a folder on the way that is not a real folder.
  Result Create(const std::vector<std::string>& folders, const std::string& name, bool force);

 private:
  explicit OutputTree(int fd) : fd_(fd) {}
  bool IsProtected(const struct stat& st) const;

  int fd_;
  std::vector<std::pair<dev_t, ino_t>> protected_;
  unsigned serial_ = 0;
};

}  // namespace vant::cli
