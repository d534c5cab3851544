// Journal records: any byte may appear in a name, and a record torn by a
// power cut (or damaged) ends the journal without inventing a step.
#include "engine/journal.h"

#include <gtest/gtest.h>

#include "text/convert.h"

namespace ordx {
namespace {

TEST(JournalTest, RecordsRoundTripAndTornTailsAreDropped) {
  const std::vector<JournalRecord> records = {
      {JournalRecord::kLevel, 0, 0, u"/srv/new"},
      {JournalRecord::kTime, 1700000000, 999999999, u""},
      {JournalRecord::kDirectory, 0, 0, u"a b/new\nline"},
      {JournalRecord::kTemporary, 0, 0, u"a b/.ordx-new.x 12 3:"},
      {JournalRecord::kNewFile, 18446744073709551615ull, 0, u"Grüße/Ω"},
      {JournalRecord::kSaved, 7, 0, u"keep/old.txt"}};
  std::string bytes;
  for (const JournalRecord& r : records) bytes += EncodeRecord(r);
  EXPECT_EQ(DecodeJournal(bytes), records);
  const std::size_t lastStart = bytes.size() - EncodeRecord(records.back()).size();
  for (std::size_t cut = lastStart; cut < bytes.size(); ++cut) {  // the others survive, nothing more
    EXPECT_EQ(DecodeJournal(bytes.substr(0, cut)),
              std::vector<JournalRecord>(records.begin(), records.end() - 1)) << cut;
  }
  std::string damaged = bytes;
  damaged[EncodeRecord(records[0]).size()] = 'Z';
  EXPECT_EQ(DecodeJournal(damaged).size(), 1u);
  // A number has at most 20 digits.
  for (const auto& [raw, count] : {std::pair{"S 00000000000000000007 0 1 x\n", 1u},
                                   {"S 000000000000000000007 0 1 x\n", 0u},
                                   {"S 1 0 99999999999999999999999 x\n", 0u}}) {
    EXPECT_EQ(DecodeJournal(raw).size(), count) << raw;
  }
}

TEST(JournalTest, EntriesInsideTheTransactionDirectoryAreRecognised) {
  const std::pair<const char16_t*, bool> cases[] = {
      {u".ordx-transaction", true},      {u".ordx-transaction\\journal", true},
      {u"\\.ordx-transaction/b0", true}, {u"sub\\.ordx-transaction\\x", false},
      {u".ordx-transaction2\\x", false}, {u".ordx-transactio", false}};
  for (const auto& [name, inside] : cases) {
    EXPECT_EQ(IsTransactionEntry(name), inside) << ToNarrow(WideString(name)).c_str();
  }
}

}  // namespace
}  // namespace ordx
