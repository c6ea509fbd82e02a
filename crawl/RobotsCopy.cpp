#include "crawl/RobotsCopy.h"

#include <vector>

#include "crawl/MirrorStore.h"
#include "crawl/PageScanner.h"
#include "net/RobotsRules.h"

namespace qlm {

RobotsState RobotsCopyState(const MirrorStore& store, std::string_view robots_url,
                            std::string_view folder_path, FileTime patrol_start) {
  const std::optional<std::string> name = store.LocalPath(robots_url, folder_path);
  if (!name) return kRobotsUnwritten;
  std::lock_guard guard(store.Lock());
  if (store.FileWrittenSince(*name, patrol_start)) return kRobotsKnown;
  if (store.FileWrittenSince(*name + ".html", patrol_start)) return kRobotsMoved;
  return kRobotsUnwritten;
}

std::optional<std::string> MovedRobotsLocation(const MirrorStore& store,
                                               std::string_view robots_url,
                                               std::string_view folder_path) {
  const std::optional<std::string> name = store.LocalPath(robots_url, folder_path);
  if (!name) return std::nullopt;
  std::string page;
  {
    std::lock_guard guard(store.Lock());
    if (!ReadWholeFile(*name + ".html", page)) return std::nullopt;
  }
  PageScanner scanner;
  std::vector<PageLink> links;
  std::string title;
  scanner.ScanBytes(robots_url, page, links, title);
  if (links.empty()) return std::nullopt;
  return links.front().url;
}

int IsAllowedByRobots(const MirrorStore& store, std::string_view robots_url,
                      std::string_view link_url, std::string_view folder_path) {
  const RobotsCopyReader read_copy =
      [&store, folder_path](const std::string& url) -> std::optional<std::string> {
    const std::optional<std::string> name = store.LocalPath(url, folder_path);
    if (!name) return std::nullopt;
    std::string text;
    std::lock_guard guard(store.Lock());
    if (!ReadWholeFile(*name, text)) return std::nullopt;
    return text;
  };
  return RobotsVerdictForLink(std::string(robots_url), link_url, read_copy);
}

}  // namespace qlm
