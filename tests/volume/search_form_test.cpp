// The search tab on an ntfs-3g volume, used as a user would.
#include <gtest/gtest.h>

#include "cli/session.h"
#include "platform/latin1.h"
#include "platform/text.h"
#include "tests/support/peers.h"

namespace vant {
namespace {

using namespace vant::testing;

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(text::Latin1Lower(static_cast<unsigned char>(c)));
  return out;
}

std::vector<std::uint64_t> Records(ListView& list) {
  std::vector<std::uint64_t> records;
  for (int i = 0; i < list.RowCount(); ++i) records.push_back(static_cast<const FileEntry*>(list.RowData(i))->RecordNumber);
  return records;
}

TEST(SearchTab, FindsListsAndRebuildsAsTheUserAsks) {
  cli::Session s({FixturePath("c4k.img")});
  ASSERT_TRUE(s.Analyse('C'));
  TVANT1& form = *s.Form;
  auto& edit = form.Get<EditBox>("Edit1");
  auto& results = form.Get<ListView>("ListView2");
  auto& deletedOnly = form.Get<CheckBox>("CheckBox2");
  auto& discard = form.Get<CheckBox>("CheckBox7");

  // An asterisk types nothing; Enter searches.
  headless::Type(edit, "BOR*RADO\r");
  EXPECT_EQ(edit.Text(), "BORRADO");
  const auto first = Records(results);
  ASSERT_GE(first.size(), 3u);
  EXPECT_TRUE(std::is_sorted(first.begin(), first.end()));  // catalogue order
  int deleted = 0;
  bool sawFolder = false;
  for (int i = 0; i < results.RowCount(); ++i) {
    const auto* e = static_cast<const FileEntry*>(results.RowData(i));
    EXPECT_NE(Lower(e->NameView()).find("borrado"), std::string::npos) << e->NameView();
    deleted += e->IsDeleted;
    sawFolder |= results.RowText(i, 2) == "C:\\plain\\";
  }
  EXPECT_TRUE(sawFolder);
  EXPECT_GE(deleted, 3);

  // "&Buscar" runs the same search; a fresh list by default.
  headless::Click(form.Get<Button>("BitBtn5"));
  EXPECT_EQ(Records(results), first);
  // Kept rows: the second search's follow the first's.
  headless::Click(discard);
  ASSERT_FALSE(discard.Checked());
  headless::Click(form.Get<Button>("BitBtn5"));
  auto twice = first;
  twice.insert(twice.end(), first.begin(), first.end());
  EXPECT_EQ(Records(results), twice);

  // The deleted-only box rebuilds the list, and leaves the discard box as it was.
  headless::Click(deletedOnly);
  EXPECT_EQ(results.RowCount(), deleted);
  for (int i = 0; i < results.RowCount(); ++i) EXPECT_TRUE(static_cast<const FileEntry*>(results.RowData(i))->IsDeleted);
  EXPECT_FALSE(discard.Checked());
  headless::Click(deletedOnly);
  EXPECT_EQ(Records(results), first);

  // A type with an empty word: names of 5 or more characters ending in one of its extensions.
  auto& filter = form.Get<FilterBox>("FilterComboBox1");
  int word = -1;
  for (int i = 0; i < filter.ItemCount(); ++i)
    if (filter.ItemText(i).find("MS Word") != std::string::npos) word = i;
  ASSERT_GE(word, 0);
  filter.SetSelectedIndex(word);
  headless::Click(discard);
  edit.SetText("");
  headless::Type(edit, "\r");
  ASSERT_GT(results.RowCount(), 3);
  for (int i = 0; i < results.RowCount(); ++i) {
    const std::string name = Lower(results.RowText(i, 1));
    ASSERT_GE(name.size(), 5u);
    const std::string tail = name.substr(name.size() - 4);
    EXPECT_TRUE(tail == ".doc" || tail == ".rtf" || tail == ".txt") << name;
  }
  // Whole names only, in any case.
  filter.SetSelectedIndex(0);
  headless::Click(form.Get<CheckBox>("CheckBox8"));
  edit.SetText("");
  headless::Type(edit, "UNO.TXT\r");
  ASSERT_EQ(results.RowCount(), 1);
  EXPECT_EQ(results.RowText(0, 1), "uno.txt");
  EXPECT_TRUE(form.Get<Control>("BitBtn5").Enabled());
  EXPECT_FALSE(form.Get<Control>("ProgressBar2").Visible());
}

}  // namespace
}  // namespace vant
