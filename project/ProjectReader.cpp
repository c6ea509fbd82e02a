#include "project/ProjectReader.h"

#include <array>
#include <optional>
#include <string_view>

#include "net/CUrl.h"
#include "project/Scramble.h"

namespace qlm {

namespace {

using Kind = ProjectLexer::Kind;

// Keys whose value is a number.
constexpr std::array kNumberKeys = {
    ItemOption::AccessInterval,  ItemOption::ConnectionTimeout,
    ItemOption::ReplyRcvTimeout, ItemOption::CtlRcvTimeout,
    ItemOption::DataRcvTimeout,  ItemOption::CloseTimeout,
    ItemOption::DLTotalTimeout,  ItemOption::DLoadRetry,
    ItemOption::GraphMax,        ItemOption::MUDrawSpeed,
    ItemOption::IMGSW,           ItemOption::NoCache,
    ItemOption::LocalizeLink,    ItemOption::UseHttpPassword,
    ItemOption::UseExtFilter,    ItemOption::DLNoExt,
    ItemOption::UseUVExtFilter,  ItemOption::NotDLNoExt,
};

struct ValueWord {
  std::string_view word;
  int32_t value;
};

// Keys whose value is a word, with the words each admits.
struct WordKey {
  ItemOption option;
  std::array<ValueWord, 6> words;  // unused slots have an empty word
};

constexpr std::array kWordKeys = {
    WordKey{ItemOption::MUDrawType,
            {{{"Random", 1},
              {"CrossH", 2},
              {"RasterH", 3},
              {"RasterCloseH", 4},
              {"RasterOpenH", 5},
              {"WiperH", 6}}}},
    WordKey{ItemOption::PilotType, {{{"Forbidden", 1}, {"Selected", 2}}}},
    WordKey{ItemOption::PilotArea, {{{"UpperDir", 1}, {"OtherSite", 2}}}},
    WordKey{ItemOption::RenewalType, {{{"AllFile", 1}, {"ModifiedFile", 2}, {"FailedFile", 3}}}},
};

std::optional<ItemOption> NumberKey(std::string_view word) {
  for (ItemOption option : kNumberKeys) {
    if (OptionName(option) == word) return option;
  }
  return std::nullopt;
}

std::optional<ItemString> StringKey(std::string_view word) {
  for (std::size_t i = 0; i < kItemStringCount; ++i) {
    if (OptionName(static_cast<ItemString>(i)) == word) return static_cast<ItemString>(i);
  }
  return std::nullopt;
}

const WordKey* FindWordKey(std::string_view word) {
  for (const WordKey& key : kWordKeys) {
    if (OptionName(key.option) == word) return &key;
  }
  return nullptr;
}

}  // namespace

bool ProjectReader::Read(ProjectLexer& lexer, ProjectItem& root) {
  ProjectReader reader(lexer);
  if (reader.ReadAll(root)) return true;
  root.DeleteDescendants();
  return false;
}

bool ProjectReader::Expect(Kind kind) {
  Advance();
  return token_.Is(kind);
}

bool ProjectReader::ExpectNumber(int32_t& value) {
  if (!Expect(Kind::kNumber)) return false;
  value = token_.number;
  return true;
}

bool ProjectReader::ExpectString(std::string& text) {
  if (!Expect(Kind::kString)) return false;
  text = std::move(token_.text);
  return true;
}

bool ProjectReader::ReadAll(ProjectItem& root) {
  Advance();
  if (token_.Is(Kind::kEnd)) return false;  // no project at all: cut to nothing, or not ours
  if (token_.IsWord("ProjectDefault")) {
    if (!Expect(Kind::kOpen) || !ReadOptions(root, false) || !token_.Is(Kind::kClose)) {
      return false;
    }
    Advance();
  }
  // Folders whose blocks are open, innermost last. An item joins its parent only when its block
  // has been read whole; until then it is owned here and freed with this list on an error.
  std::vector<std::unique_ptr<ProjectItem>> open;
  auto parent = [&open, &root]() -> ProjectItem& { return open.empty() ? root : *open.back(); };
  for (;;) {
    if (token_.IsWord("Folder")) {
      if (open.size() == kMaxDepth) return false;
      auto folder = std::make_unique<ProjectItem>(ProjectItem::kFolder);
      std::string title;
      if (!Expect(Kind::kEqual) || !ExpectString(title) || !Expect(Kind::kOpen)) return false;
      folder->SetTitle(std::move(title));
      if (!ReadOptions(*folder, true)) return false;
      open.push_back(std::move(folder));
      continue;  // token_ holds the folder's first child, or its "}"
    }
    if (token_.IsWord("Record")) {
      auto record = std::make_unique<ProjectItem>(ProjectItem::kRecord);
      if (!Expect(Kind::kOpen) || !ReadOptions(*record, true) || !token_.Is(Kind::kClose)) {
        return false;
      }
      parent().AppendChild(std::move(record));
      Advance();
      continue;
    }
    if (open.empty()) return token_.Is(Kind::kEnd);
    if (!token_.Is(Kind::kClose)) return false;
    std::unique_ptr<ProjectItem> folder = std::move(open.back());
    open.pop_back();
    parent().AppendChild(std::move(folder));
    Advance();
  }
}

bool ProjectReader::ReadOptions(ProjectItem& item, bool item_keys) {
  for (;;) {
    Advance();
    if (!token_.Is(Kind::kWord)) return true;
    bool was_key = false;
    if (!ReadValue(item, item_keys, was_key)) return false;
    if (!was_key) return true;
  }
}

bool ProjectReader::ReadValue(ProjectItem& item, bool item_keys, bool& was_key) {
  const std::string key = token_.text;
  was_key = true;
  if (const auto option = NumberKey(key)) {
    int32_t value = 0;
    if (!Expect(Kind::kEqual) || !ExpectNumber(value)) return false;
    item.SetOwn(*option, value);
    return true;
  }
  if (const auto option = StringKey(key)) {
    std::string text;
    if (!Expect(Kind::kEqual) || !ExpectString(text)) return false;
    if (*option == ItemString::HttpPassword) text = Unscramble(text);
    item.SetOwnString(*option, std::move(text));
    return true;
  }
  if (key == "BGColor") {
    int32_t red = 0, green = 0, blue = 0;
    if (!Expect(Kind::kEqual) || !Expect(Kind::kOpen) || !ExpectNumber(red) ||
        !Expect(Kind::kComma) || !ExpectNumber(green) || !Expect(Kind::kComma) ||
        !ExpectNumber(blue) || !Expect(Kind::kClose)) {
      return false;
    }
    item.SetOwn(ItemOption::BGColor, (red & 0xFF) | (green & 0xFF) << 8 | (blue & 0xFF) << 16);
    return true;
  }
  if (key == "MinPicSize") {
    int32_t width = 0, height = 0;
    if (!Expect(Kind::kEqual) || !Expect(Kind::kOpen) || !ExpectNumber(width) ||
        !Expect(Kind::kComma) || !ExpectNumber(height) || !Expect(Kind::kClose)) {
      return false;
    }
    item.SetOwn(ItemOption::MinPicWidth, width);
    item.SetOwn(ItemOption::MinPicHeight, height);
    return true;
  }
  if (const WordKey* word_key = FindWordKey(key)) {
    if (!Expect(Kind::kEqual) || !Expect(Kind::kWord)) return false;
    for (const ValueWord& word : word_key->words) {
      if (word.word.empty() || word.word != token_.text) continue;
      // The item is not in the tree yet, so the guard never refuses a value read here.
      if (word_key->option == ItemOption::PilotType) {
        item.SetPilotType(word.value);
      } else {
        item.SetOwn(word_key->option, word.value);
      }
      return true;
    }
    return false;
  }
  if (item_keys && (key == "URL" || key == "Title" || key == "LocalName")) {
    std::string text;
    if (!Expect(Kind::kEqual) || !ExpectString(text)) return false;
    if (key == "URL") {
      std::optional<std::string> url = CUrl::UnescapeUrl(text);
      if (!url) return false;
      item.SetURL(std::move(*url));
    } else if (key == "Title") {
      item.SetTitle(std::move(text));
    } else {
      item.SetLocalName(std::move(text));
    }
    return true;
  }
  was_key = false;
  return true;
}

}  // namespace qlm
