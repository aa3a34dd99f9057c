// Listing one folder of a 200,000-record catalogue: walking the whole
// catalogue for it, as a plain folder listing would, against the index of
// entries by parent built once after the scan.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/listing.h"
#include "platform/headless/headless_toolkit.h"
#include "workspace/form_layout.h"

int main() {
  using Clock = std::chrono::steady_clock;
  constexpr std::size_t kRecords = 200'000, kFolders = 200;
  vant::Catalogue catalogue;
  for (std::size_t i = 0; i < kRecords; ++i) {
    vant::FileEntry& e = catalogue.Append();
    e.IsBaseRecord = true;
    e.IsDirectory = i >= 16 && i < 16 + kFolders;
    // Folder 15 holds five files; the others a thousand each.
    e.ParentRecord = e.IsDirectory ? 5 : i % 40'000 == 1 ? 15 : 16 + i % kFolders;
    e.FileSize = i;
    catalogue.SetName(e, "archivo_" + std::to_string(i) + ".dat");
  }
  vant::headless::Toolkit toolkit;
  auto form = toolkit.BuildForm(vant::Tvant1Layout());
  auto& list = form->Get<vant::ListView>("ListView1");
  auto& tree = form->Get<vant::TreeView>("TreeView1");
  const vant::RowContext rows{catalogue, tree, nullptr, 'C'};
  vant::ShowFileRows(list, [&] { return rows; }, false);
  vant::ChildIndex index;
  const auto buildStart = Clock::now();
  index.Build(catalogue);
  const double build = std::chrono::duration<double, std::milli>(Clock::now() - buildStart).count();
  std::printf("catalogue of %zu records; index by parent built once in %.1f ms; best of 5\n", kRecords, build);
  std::printf("%-14s %18s %16s %9s\n", "folder", "whole walk (ms)", "index (ms)", "speed-up");

  auto time = [&](auto&& work) {
    double best = 1e9;
    for (int run = 0; run < 5; ++run) {
      list.Clear();
      const auto start = Clock::now();
      work();
      best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return best;
  };
  int status = 0;
  for (std::uint64_t folder : {std::uint64_t{15}, std::uint64_t{16 + 77}}) {
    const double walk = time([&] {
      for (std::size_t i = 0; i < catalogue.Count(); ++i) {
        vant::FileEntry& e = catalogue.At(i);
        if (e.IsBaseRecord && !e.IsDirectory && e.ParentRecord == folder) vant::AddFileRow(list, e, false);
      }
    });
    const int walkRows = list.RowCount();
    const double indexed = time([&] {
      for (std::uint32_t i : index.FilesOf(folder)) vant::AddFileRow(list, catalogue.At(i), false);
    });
    if (walkRows != list.RowCount()) status = 1;
    std::printf("%5d files    %18.3f %16.3f %8.1fx\n", walkRows, walk, indexed, walk / indexed);
  }
  return status;
}
