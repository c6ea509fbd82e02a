#include <gtest/gtest.h>

#include "project/LinkRecord.h"
#include "project/RecordReader.h"
#include "project/RecordWriter.h"

namespace qlm {
namespace {

LinkRecord Sample() {
  return LinkRecord{.flags = 3,
                    .retry = 1,
                    .graph_max = 5,
                    .depth = 2,
                    .chain = 1,
                    .folder_path = "proj/f",
                    .item_url = "http://h/",
                    .referer = "http://h/a.html",
                    .url = "http://h/b.jpg",
                    .robots_url = "",
                    .storage_name = "x"};
}

TEST(LinkRecord, EncodesAsLengthPrefixedFieldsOfLPlus78Bytes) {
  LinkRecord r;
  r.flags = -1;
  r.url = "ab";
  const std::string bytes = r.Encode();
  ASSERT_EQ(bytes.size(), 2u + 78u);
  // int1: length 4, value 0xFFFFFFFF
  EXPECT_EQ(bytes.substr(8, 8), std::string("\x04\0\0\0\xff\xff\xff\xff", 8));
  // str0..str2 empty: length 1 and the zero; str3 "ab": length 3, "ab", zero
  EXPECT_EQ(bytes.substr(48, 15), std::string("\x01\0\0\0\0\x01\0\0\0\0\x01\0\0\0\0", 15));
  EXPECT_EQ(bytes.substr(63, 7), std::string("\x03\0\0\0ab\0", 7));

  const LinkRecord s = Sample();
  std::size_t total = 0;
  for (const auto* t :
       {&s.folder_path, &s.item_url, &s.referer, &s.url, &s.robots_url, &s.storage_name}) {
    total += t->size();
  }
  EXPECT_EQ(s.Encode().size(), total + 78);
}

TEST(LinkRecord, RoundTripsAndRejectsEveryCutAndTrailingByte) {
  const LinkRecord s = Sample();
  const std::string bytes = s.Encode();
  LinkRecord back;
  ASSERT_TRUE(LinkRecord::Decode(bytes, LinkRecord::kVersion, back));
  EXPECT_EQ(back, s);
  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    EXPECT_FALSE(LinkRecord::Decode(bytes.substr(0, cut), LinkRecord::kVersion, back)) << cut;
  }
  EXPECT_FALSE(LinkRecord::Decode(bytes + '\0', LinkRecord::kVersion, back));
  // A string whose last byte is not its terminating zero.
  std::string bad = bytes;
  bad[bad.size() - 1] = 'z';
  EXPECT_FALSE(LinkRecord::Decode(bad, LinkRecord::kVersion, back));
  // An integer field with a length word other than 4.
  bad = bytes;
  bad[0] = 5;
  EXPECT_FALSE(LinkRecord::Decode(bad, LinkRecord::kVersion, back));
  EXPECT_EQ(back, s);  // failed decodes leave the record alone
}

TEST(LinkRecord, OlderVersionsMapTheirFieldsOntoTheCurrentRecord) {
  RecordWriter v10050;
  for (int32_t n : {7, 8, 9, 10}) v10050.AddInt(n);
  for (const char* t : {"s0", "s1", "s2", "s3", "s4"}) v10050.AddString(t);
  LinkRecord r;
  ASSERT_TRUE(LinkRecord::Decode(v10050.Bytes(), LinkRecord::kVersion10050, r));
  LinkRecord want{.retry = 7,
                  .graph_max = 8,
                  .depth = 9,
                  .folder_path = "s0",
                  .item_url = "s1",
                  .referer = "s2",
                  .url = "s3",
                  .robots_url = "s4",
                  .storage_name = ""};
  EXPECT_EQ(r, want);

  RecordWriter oldest;
  for (int32_t n : {7, 8, 9}) oldest.AddInt(n);
  for (const char* t : {"s0", "s1", "s2", "s3"}) oldest.AddString(t);
  ASSERT_TRUE(LinkRecord::Decode(oldest.Bytes(), 10000, r));
  want.robots_url.clear();
  EXPECT_EQ(r, want);

  // Each version's reader refuses the others' records.
  EXPECT_FALSE(LinkRecord::Decode(v10050.Bytes(), 10000, r));
  EXPECT_FALSE(LinkRecord::Decode(oldest.Bytes(), LinkRecord::kVersion10050, r));
  EXPECT_FALSE(LinkRecord::Decode(Sample().Encode(), LinkRecord::kVersion10050, r));
}

TEST(RecordReader, StringsMayHoldAnyByte) {
  RecordWriter w;
  const std::string odd("a\0\"\r\n\xff", 6);
  w.AddString(odd);
  w.AddInt(INT32_MIN);
  RecordReader in(w.Bytes());
  std::string text;
  int32_t n = 0;
  ASSERT_TRUE(in.ReadString(text));
  ASSERT_TRUE(in.ReadInt(n));
  EXPECT_TRUE(in.AtEnd());
  EXPECT_EQ(text, odd);
  EXPECT_EQ(n, INT32_MIN);
  // A zero length word cannot even hold the terminating zero.
  RecordReader zero(std::string_view("\0\0\0\0", 4));
  EXPECT_FALSE(zero.ReadString(text));
}

}  // namespace
}  // namespace qlm
