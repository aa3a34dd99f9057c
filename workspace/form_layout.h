// The whole layout of the form TVANT1, described once as data.
#pragma once

#include "platform/layout.h"

namespace vant {

FormLayout Tvant1Layout();

// Image roles of the tree's list (ImageList2) and of the lists' and stage
// marks' list (ImageList3).
namespace tree_image {
inline constexpr int Folder = 0, Drive = 1, DeletedFolder = 2, RecycleBin = 5, MyDocumentsFolder = 6, Computer = 7,
                     Desktop = 8, MyDocuments = 9, LostItems = 10, Count = 12;
}
namespace file_image {
inline constexpr int LiveFile = 0, CheckedFile = 1, DeletedFile = 2, StageDone = 3, StageUnderWay = 4, Count = 5;
}

}  // namespace vant
