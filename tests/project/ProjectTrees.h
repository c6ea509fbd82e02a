#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "project/ProjectItem.h"
#include "project/ProjectLexer.h"
#include "project/ProjectReader.h"
#include "project/ProjectWriter.h"

namespace qlm::test {

// Every field of two trees equal, item by item in tree order.
inline void ExpectSameTree(const ProjectItem& a, const ProjectItem& b, const std::string& where) {
  EXPECT_EQ(a.GetKind(), b.GetKind()) << where;
  EXPECT_EQ(a.URL(), b.URL()) << where;
  EXPECT_EQ(a.Title(), b.Title()) << where;
  EXPECT_EQ(a.LocalName(), b.LocalName()) << where;
  for (std::size_t i = 0; i < kItemOptionCount; ++i) {
    const auto option = static_cast<ItemOption>(i);
    EXPECT_EQ(a.Own(option), b.Own(option)) << where << " " << OptionName(option);
  }
  for (std::size_t i = 0; i < kItemStringCount; ++i) {
    const auto option = static_cast<ItemString>(i);
    EXPECT_EQ(a.OwnString(option), b.OwnString(option)) << where << " " << OptionName(option);
  }
  const ProjectItem* ca = a.FirstChild();
  const ProjectItem* cb = b.FirstChild();
  for (int i = 0; ca || cb; ++i, ca = ca->Next(), cb = cb->Next()) {
    ASSERT_TRUE(ca && cb) << where << ": child counts differ at " << i;
    ExpectSameTree(*ca, *cb, where + "/" + std::to_string(i));
  }
}

// Sets every option of an item to a value that the file form keeps, derived from `seed`, and
// fills every group string from the item's own flag (as the writer writes them).
inline void FillOptions(ProjectItem& item, int seed) {
  item.SetOwn(ItemOption::BGColor, (seed * 0x10203) & 0xFFFFFF);
  item.SetOwn(ItemOption::MUDrawType, 1 + seed % 6);
  item.SetOwn(ItemOption::MUDrawSpeed, seed + 7);
  item.SetOwn(ItemOption::IMGSW, seed % 2);
  item.SetOwn(ItemOption::MinPicWidth, seed * 3);
  item.SetOwn(ItemOption::MinPicHeight, seed * 5);
  item.SetOwn(ItemOption::PilotArea, 1 + seed % 2);
  item.SetOwn(ItemOption::RenewalType, 1 + seed % 3);
  item.SetOwn(ItemOption::NoCache, (seed + 1) % 2);
  item.SetOwn(ItemOption::ConnectionTimeout, seed + 10);
  item.SetOwn(ItemOption::ReplyRcvTimeout, seed + 11);
  item.SetOwn(ItemOption::CtlRcvTimeout, seed + 12);
  item.SetOwn(ItemOption::DataRcvTimeout, seed + 13);
  item.SetOwn(ItemOption::DLTotalTimeout, seed + 14);
  item.SetOwn(ItemOption::DLoadRetry, seed % 6);
  item.SetOwn(ItemOption::GraphMax, seed % 11);
  item.SetOwn(ItemOption::AccessInterval, seed + 3);
  item.SetOwn(ItemOption::PilotType, 1 + seed % 2);
  item.SetOwn(ItemOption::LocalizeLink, seed % 2);
  item.SetOwn(ItemOption::UseHttpPassword, seed % 2);
  item.SetOwnString(ItemString::HttpUserID, "user" + std::to_string(seed));
  item.SetOwnString(ItemString::HttpPassword, "pa\"ss\x01\xff" + std::to_string(seed));
  item.SetOwn(ItemOption::UseExtFilter, (seed + 1) % 2);
  item.SetOwn(ItemOption::DLNoExt, seed % 2);
  item.SetOwn(ItemOption::UseUVExtFilter, seed % 2);
  item.SetOwn(ItemOption::NotDLNoExt, (seed + 1) % 2);
  for (std::size_t i = 0; i < kExtListCount; ++i) {
    const auto n = static_cast<std::size_t>(kExtLists) + i;
    item.SetOwnString(static_cast<ItemString>(n),
                      std::string("e") + std::to_string(seed) + ";x" + std::to_string(i));
    item.SetOwnString(static_cast<ItemString>(n + kExtListCount),
                      std::string("u") + std::to_string(seed) + ";y" + std::to_string(i));
  }
}

inline std::string FormatTree(const ProjectItem& root) {
  std::string text;
  EXPECT_TRUE(ProjectWriter::Format(root, text));
  return text;
}

inline bool ReadText(std::string_view text, ProjectItem& root) {
  ProjectLexer lexer(text);
  return ProjectReader::Read(lexer, root);
}

}  // namespace qlm::test
