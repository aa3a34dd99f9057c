// A headless session over disk images: the form TVANT1 on the in-memory
// toolkit, with images mapped to drive letters, driven as a user would.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "platform/headless/headless_system.h"
#include "platform/headless/headless_toolkit.h"
#include "workspace/tvant1.h"

namespace vant::cli {

// The headless system, able to give the host's own texts for error codes
// instead of the texts the form's Windows would show.
class ToolSystem : public headless::System {
 public:
  bool HostTexts = false;
  std::string ErrorText(std::uint32_t code) override;
};

struct Session {
  headless::Toolkit Toolkit;
  ToolSystem System;
  // The session's own catalogue, which also keeps the names as the volume
  // holds them.
  Catalogue Entries;
  std::unique_ptr<TVANT1> Form;

  // Maps the images to C:, D:, ... and builds the form.
  explicit Session(const std::vector<std::string>& images, int partition = -1);
  // Selects drive `letter` and answers the analysis question with OK;
  // false when the drive cannot be analysed.
  bool Analyse(char letter = 'C');
  TreeNode DriveNode(char letter = 'C');
};

}  // namespace vant::cli
