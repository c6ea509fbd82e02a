#include "project/ProjectWriter.h"

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/WholeFile.h"
#include "project/ProjectLexer.h"
#include "project/Scramble.h"

namespace qlm {

namespace {

constexpr std::size_t kMaxText = ProjectLexer::kMaxText;

bool IsLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xEF);
}

// A string the reader takes back: no double quote, at most kMaxText bytes, and no double-byte
// character cut in two.
std::string Carriable(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t width =
        IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
    if (out.size() + width > kMaxText) break;
    for (std::size_t k = 0; k < width; ++k) out.push_back(text[i + k] == '"' ? '\'' : text[i + k]);
    i += width;
  }
  return out;
}

// The URL form the reader unescapes back to `url`; nullopt when it is too long to read back.
std::optional<std::string> EscapedUrl(std::string_view url) {
  std::string out;
  for (char c : url) {
    if (c == '%') {
      out += "%25";
    } else if (c == '"') {
      out += "%22";
    } else {
      out.push_back(c);
    }
  }
  if (out.size() > kMaxText) return std::nullopt;
  return out;
}

class Formatter {
 public:
  explicit Formatter(std::string& out) : out_(out) {}

  void Options(const ProjectItem& item, int level);
  void Line(int level, std::string_view text) {
    out_.append(static_cast<std::size_t>(level), '\t');
    out_.append(text);
    out_.push_back('\n');
  }
  void Key(int level, std::string_view key, std::string_view value) {
    out_.append(static_cast<std::size_t>(level), '\t');
    out_.append(key);
    out_.push_back('=');
    out_.append(value);
    out_.push_back('\n');
  }
  void Quoted(int level, std::string_view key, std::string_view value) {
    out_.append(static_cast<std::size_t>(level), '\t');
    out_.append(key);
    out_.append("=\"");
    out_.append(value);
    out_.append("\"\n");
  }
  // "{a,b}" or "{a,b,c}".
  static std::string Braced(std::initializer_list<uint32_t> numbers) {
    std::string text(1, '{');
    for (uint32_t n : numbers) {
      if (text.size() > 1) text.push_back(',');
      text.append(std::to_string(n));
    }
    text.push_back('}');
    return text;
  }

 private:
  static std::string Number(int32_t value) { return std::to_string(static_cast<uint32_t>(value)); }
  static std::string_view Flag(int32_t value) { return value != 0 ? "1" : "0"; }
  void Lists(const ProjectItem& item, int level, ItemString first);

  std::string& out_;
};

void Formatter::Lists(const ProjectItem& item, int level, ItemString first) {
  for (std::size_t i = 0; i < kExtListCount; ++i) {
    const auto list = static_cast<ItemString>(static_cast<std::size_t>(first) + i);
    const std::string* value = item.EffectiveString(list);
    if (value && !value->empty()) Quoted(level, OptionName(list), Carriable(*value));
  }
}

void Formatter::Options(const ProjectItem& item, int level) {
  auto own = [&item](ItemOption option) { return item.Own(option); };
  auto set = [&item](ItemOption option) { return item.Own(option) != kUnset; };

  if (set(ItemOption::BGColor)) {
    const uint32_t color = static_cast<uint32_t>(own(ItemOption::BGColor));
    Key(level, "BGColor", Braced({color & 0xFF, color >> 8 & 0xFF, color >> 16 & 0xFF}));
  }
  if (set(ItemOption::MUDrawType)) {
    static constexpr std::string_view kNames[] = {"CrossH", "RasterH", "RasterCloseH",
                                                  "RasterOpenH", "WiperH"};
    const int32_t type = own(ItemOption::MUDrawType);
    Key(level, "MUDrawType", type >= 2 && type <= 6 ? kNames[type - 2] : "Random");
  }
  if (set(ItemOption::IMGSW)) Key(level, "IMGSW", Flag(own(ItemOption::IMGSW)));
  if (set(ItemOption::MinPicWidth) && item.Effective(ItemOption::MinPicHeight) != kUnset) {
    Key(level, "MinPicSize",
        Braced({static_cast<uint32_t>(item.Effective(ItemOption::MinPicWidth)),
                static_cast<uint32_t>(item.Effective(ItemOption::MinPicHeight))}));
  }
  for (ItemOption option : {ItemOption::MUDrawSpeed, ItemOption::GraphMax}) {
    if (set(option)) Key(level, OptionName(option), Number(own(option)));
  }
  if (own(ItemOption::PilotArea) == 1) Key(level, "PilotArea", "UpperDir");
  if (own(ItemOption::PilotArea) == 2) Key(level, "PilotArea", "OtherSite");
  switch (own(ItemOption::RenewalType)) {
    case 1:
      Key(level, "RenewalType", "AllFile");
      break;
    case 2:
      Key(level, "RenewalType", "ModifiedFile");
      break;
    case 3:
      Key(level, "RenewalType", "FailedFile");
      break;
  }
  if (set(ItemOption::NoCache)) Key(level, "NoCache", Flag(own(ItemOption::NoCache)));
  // CloseTimeout is read but, as ever, not written.
  for (ItemOption option :
       {ItemOption::ConnectionTimeout, ItemOption::ReplyRcvTimeout, ItemOption::CtlRcvTimeout,
        ItemOption::DataRcvTimeout, ItemOption::DLTotalTimeout, ItemOption::DLoadRetry,
        ItemOption::AccessInterval}) {
    if (set(option)) Key(level, OptionName(option), Number(own(option)));
  }
  if (own(ItemOption::PilotType) == kPilotForbidden) Key(level, "PilotType", "Forbidden");
  if (own(ItemOption::PilotType) == kPilotSelected) Key(level, "PilotType", "Selected");
  if (set(ItemOption::LocalizeLink)) {
    Key(level, "LocalizeLink", Flag(own(ItemOption::LocalizeLink)));
  }
  if (set(ItemOption::UseHttpPassword)) {
    Key(level, "UseHttpPassword", Flag(own(ItemOption::UseHttpPassword)));
    const std::string* user = item.EffectiveString(ItemString::HttpUserID);
    const std::string* password = item.EffectiveString(ItemString::HttpPassword);
    if (user && !user->empty()) Quoted(level, "HttpUserID", Carriable(*user));
    if (password && !password->empty()) {
      // Three scrambled bytes per clear byte, and none of them a double quote.
      Quoted(level, "HttpPassword", Scramble(password->substr(0, kMaxText / 3)));
    }
  }
  if (set(ItemOption::UseExtFilter)) {
    Key(level, "UseExtFilter", Flag(own(ItemOption::UseExtFilter)));
  }
  if (set(ItemOption::DLNoExt)) Key(level, "DLNoExt", Flag(item.Effective(ItemOption::DLNoExt)));
  Lists(item, level, kExtLists);
  if (set(ItemOption::UseUVExtFilter)) {
    Key(level, "UseUVExtFilter", Flag(own(ItemOption::UseUVExtFilter)));
  }
  if (set(ItemOption::NotDLNoExt)) {
    Key(level, "NotDLNoExt", Flag(item.Effective(ItemOption::NotDLNoExt)));
  }
  Lists(item, level, kUVExtLists);
}

}  // namespace

bool ProjectWriter::Format(const ProjectItem& root, std::string& text) {
  std::string out;
  Formatter f(out);
  f.Line(0, "ProjectDefault");
  f.Line(0, "{");
  f.Options(root, 1);
  f.Line(0, "}");
  // Depth first without recursion: an item is opened when first met and closed after its last
  // child. `closing` marks the stack entries that close a folder.
  struct Step {
    const ProjectItem* item;
    int level;
    bool closing;
  };
  std::vector<Step> stack;
  auto push_children = [&stack](const ProjectItem& parent, int level) {
    std::vector<const ProjectItem*> children;
    for (const ProjectItem* c = parent.FirstChild(); c; c = c->Next()) children.push_back(c);
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      stack.push_back({*it, level, false});
    }
  };
  push_children(root, 0);
  while (!stack.empty()) {
    const Step step = stack.back();
    stack.pop_back();
    const ProjectItem& item = *step.item;
    if (step.closing) {
      f.Line(step.level, "}");
      continue;
    }
    if (item.IsRecord()) {
      f.Line(step.level, "Record");
      f.Line(step.level, "{");
      if (item.URL()) {
        const std::optional<std::string> url = EscapedUrl(*item.URL());
        if (!url) return false;
        f.Quoted(step.level + 1, "URL", *url);
      }
      if (item.LocalName()) f.Quoted(step.level + 1, "LocalName", Carriable(*item.LocalName()));
      if (item.Title()) f.Quoted(step.level + 1, "Title", Carriable(*item.Title()));
      f.Options(item, step.level + 1);
      f.Line(step.level, "}");
      continue;
    }
    f.Quoted(step.level, "Folder", Carriable(item.Title().value_or("")));
    f.Line(step.level, "{");
    f.Options(item, step.level + 1);
    stack.push_back({&item, step.level, true});
    push_children(item, step.level + 1);
  }
  text = std::move(out);
  return true;
}

bool ProjectWriter::Write(const std::string& path, const ProjectItem& root) {
  std::string text;
  if (!Format(root, text)) return false;
  return ReplaceFileWithBytes(path, text, {.mode = 0644}) == 0;
}

}  // namespace qlm
