#include "cli/session.h"

#include <cerrno>
#include <cstring>

namespace vant::cli {

std::string ToolSystem::ErrorText(std::uint32_t code) {
  if (!HostTexts) return headless::System::ErrorText(code);
  // The image volume reports in the form's codes; each is told as the host
  // tells the failure it stands for.
  switch (code) {
    case error_code::Success: return std::strerror(0);
    case error_code::FileNotFound: return std::strerror(ENOENT);
    case error_code::AccessDenied: return std::strerror(EACCES);
    case error_code::ReadFault:
    case error_code::Crc: return std::strerror(EIO);
    case error_code::HandleEof: return "end of the volume reached";
    case error_code::NotSupported: return std::strerror(EOPNOTSUPP);
    case error_code::InvalidParameter: return std::strerror(EINVAL);
    case error_code::DiskFull: return std::strerror(ENOSPC);
    case error_code::FilenameTooLong: return std::strerror(ENAMETOOLONG);
    case error_code::UnrecognizedVolume: return "not a recognised file system";
    default: return "system error " + std::to_string(code);
  }
}

Session::Session(const std::vector<std::string>& images, int partition) {
  char letter = 'C';
  for (const std::string& image : images) {
    headless::DriveMapping mapping;
    mapping.Image = image;
    mapping.Partition = partition;
    System.MapDrive(letter++, mapping);
  }
  Entries.KeepVolumeNames(true);
  Form = std::make_unique<TVANT1>(Toolkit, System, Entries);
}

TreeNode Session::DriveNode(char letter) {
  auto& tree = Form->Get<TreeView>("TreeView1");
  for (TreeNode c = tree.FirstChild(Form->MyComputerNode()); c; c = tree.NextSibling(c))
    if (tree.Text(c)[0] == letter) return c;
  return nullptr;
}

bool Session::Analyse(char letter) {
  TreeNode drive = DriveNode(letter);
  if (!drive) return false;
  Toolkit.Answer(MsgAnswer::Ok);
  // Any further question (a FAT peek) is answered OK too.
  Toolkit.UnscriptedAnswer = MsgAnswer::Ok;
  headless::ClickNode(Form->Get<TreeView>("TreeView1"), drive);
  return Form->LoadedDriveLetter() == letter;
}

}  // namespace vant::cli
