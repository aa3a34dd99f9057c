#include "cli/session.h"

namespace vant::cli {

Session::Session(const std::vector<std::string>& images, int partition) {
  char letter = 'C';
  for (const std::string& image : images) {
    headless::DriveMapping mapping;
    mapping.Image = image;
    mapping.Partition = partition;
    System.MapDrive(letter++, mapping);
  }
  Form = std::make_unique<TVANT1>(Toolkit, System);
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
