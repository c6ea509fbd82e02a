#include "app/ListCommand.h"

#include <cerrno>
#include <utility>
#include <variant>
#include <vector>

#include "app/HeadlessPatrol.h"
#include "app/ProjectFailure.h"
#include "platform/NamedMutex.h"
#include "platform/TerminalPrompt.h"
#include "project/AppSettings.h"

namespace qlm {

namespace {

// The printed options, in the order printed.
const std::vector<std::variant<ItemOption, ItemString>>& Keys() {
  static const std::vector<std::variant<ItemOption, ItemString>> keys = {
      ItemOption::PilotType,      ItemOption::PilotArea,         ItemOption::RenewalType,
      ItemOption::NoCache,        ItemOption::ConnectionTimeout, ItemOption::ReplyRcvTimeout,
      ItemOption::CtlRcvTimeout,  ItemOption::DataRcvTimeout,    ItemOption::CloseTimeout,
      ItemOption::DLTotalTimeout, ItemOption::DLoadRetry,        ItemOption::GraphMax,
      ItemOption::AccessInterval, ItemOption::LocalizeLink,      ItemOption::UseHttpPassword,
      ItemString::HttpUserID,     ItemOption::UseExtFilter,      ItemOption::DLNoExt,
      ItemString::ExtHtml,        ItemString::ExtText,           ItemString::ExtImage,
      ItemString::ExtAudio,       ItemString::ExtVideo,          ItemString::ExtApplication,
      ItemString::ExtOthers,      ItemOption::UseUVExtFilter,    ItemOption::NotDLNoExt,
      ItemString::UVExtHtml,      ItemString::UVExtText,         ItemString::UVExtImage,
      ItemString::UVExtAudio,     ItemString::UVExtVideo,        ItemString::UVExtApplication,
      ItemString::UVExtOthers,
  };
  return keys;
}

void Quote(std::string& line, const std::string& text) {
  line.push_back('"');
  line.append(text);
  line.push_back('"');
}

void AppendLine(std::string& out, const ProjectItem& item, int depth,
                const ItemDefaults& defaults) {
  out.append(static_cast<std::size_t>(2 * depth), ' ');
  switch (item.GetKind()) {
    case ProjectItem::kRoot:
      out.append("ProjectDefault ");
      break;
    case ProjectItem::kFolder:
      out.append("Folder ");
      break;
    case ProjectItem::kRecord:
      out.append("Record ");
      break;
  }
  Quote(out, item.Title().value_or(""));
  if (item.IsRecord()) {
    out.push_back(' ');
    Quote(out, item.URL().value_or(""));
  }
  for (const auto& key : Keys()) {
    out.push_back(' ');
    if (const auto* option = std::get_if<ItemOption>(&key)) {
      out.append(OptionName(*option));
      out.push_back('=');
      out.append(std::to_string(defaults.Resolve(item, *option)));
    } else {
      const ItemString text = std::get<ItemString>(key);
      out.append(OptionName(text));
      out.push_back('=');
      Quote(out, defaults.Resolve(item, text));
    }
  }
  out.push_back('\n');
}

}  // namespace

std::string ListCommand::Format(const CQLMDoc& doc) {
  std::string out;
  std::vector<std::pair<const ProjectItem*, int>> stack{{&doc.Root(), 0}};
  while (!stack.empty()) {
    const auto [item, depth] = stack.back();
    stack.pop_back();
    AppendLine(out, *item, depth, doc.Defaults());
    // Pushed last to first, so that the first child is printed first.
    for (const ProjectItem* c = item->LastChild(); c; c = c->Prev()) {
      stack.emplace_back(c, depth + 1);
    }
  }
  return out;
}

int ListCommand::Run(const std::string& project_path, bool assume_yes, std::FILE* in,
                     std::FILE* out, std::FILE* err) {
  AppSettings settings;
  settings.Read();
  TerminalPrompt prompt(in, err, assume_yes);
  // While a patrol of the project runs, its queue files are that patrol's: the tree is read
  // without opening them.
  NamedMutex patrol_lock(
      HeadlessPatrol::LockName(CQLMDoc::ProjectFolderOf(settings, project_path)));
  const bool patrolling = !patrol_lock.TryLock() && patrol_lock.Error() == EWOULDBLOCK;
  CQLMDoc doc(settings, prompt);
  if (!doc.Open(project_path,
                patrolling ? CQLMDoc::QueueAccess::kLeave : CQLMDoc::QueueAccess::kOpen)) {
    const std::string why = ProjectFailure(doc, CQLMDoc::ProjectFilePath(project_path));
    std::fprintf(err, "QLM: %s\n", why.c_str());
    return 2;
  }
  const std::string text = Format(doc);
  std::fwrite(text.data(), 1, text.size(), out);
  return std::fflush(out) == 0 ? 0 : 1;
}

}  // namespace qlm
