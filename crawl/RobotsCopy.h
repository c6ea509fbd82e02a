#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "crawl/MirrorFiles.h"

namespace qlm {

class MirrorStore;

// What the mirror says about a site's robots.txt during a patrol. The stored copy is the only
// cache of robots rules: verdicts are computed from it each time they are asked for.
enum RobotsState : int {
  kRobotsUnwritten = 1,  // not fetched in this patrol: fetch it before the site's first page
  kRobotsMoved = 4,      // fetched and redirected: its redirect page names the new location
  kRobotsKnown = 8,      // a copy (fetched, or the permissive one) was written in this patrol
};

// The state of the robots.txt at `robots_url` (RobotsUrl of a link record) for an item folder
// path: known when its copy was written after `patrol_start`, moved when its redirect page
// (the copy's name with ".html" appended) was, unwritten otherwise.
RobotsState RobotsCopyState(const MirrorStore& store, std::string_view robots_url,
                            std::string_view folder_path, FileTime patrol_start);

// The location a moved robots.txt was redirected to: the first link of its redirect page.
// Nothing when there is no redirect page or it holds no link.
std::optional<std::string> MovedRobotsLocation(const MirrorStore& store,
                                               std::string_view robots_url,
                                               std::string_view folder_path);

// 1 when the stored copy of the robots.txt at `robots_url` lets this program fetch `link_url`,
// 0 when it refuses, and 0 when there is no readable copy or the link does not parse.
int IsAllowedByRobots(const MirrorStore& store, std::string_view robots_url,
                      std::string_view link_url, std::string_view folder_path);

}  // namespace qlm
