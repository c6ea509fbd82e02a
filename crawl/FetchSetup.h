#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "crawl/MirrorFiles.h"
#include "crawl/Validators.h"
#include "net/HttpRoute.h"

namespace qlm {

class AppSettings;
class CHttpHeaders;
class ItemDefaults;
class ProjectItem;
struct LinkRecord;

// What this program calls itself in the USER-AGENT line.
inline constexpr std::string_view kUserAgent = "Quillmere/1.009.0";

// The time limits of one download, in seconds, as an item's options give them (with inheritance
// and the application defaults). 0 means no limit; the access interval 0 means no wait.
struct DownloadLimits {
  int32_t total = 0;
  int32_t connection = 60;
  int32_t reply = 60;
  int32_t control = 60;
  int32_t data = 60;
  int32_t close = 60;
  int32_t interval = 10;
};

DownloadLimits ItemDownloadLimits(const ProjectItem& item, const ItemDefaults& defaults);

// The application's proxy settings.
ProxySettings ProxyFromSettings(const AppSettings& settings);

// Sets the request lines of a record's main request: ACCEPT "*/*", USER-AGENT, IF-MODIFIED-SINCE
// for a local copy (`local_copy_written`, the last-write time of the local copy; sent unless the
// item's RenewalType is 1) with the Last-Modified text the copy came with, as sent, or else the
// copy's time, and IF-NONE-MATCH with the copy's ETag when it has one, PRAGMA and CACHE-CONTROL
// "no-cache" with NoCache, the item's credentials when UseHttpPassword is on and the record's
// authentication bits are 1, the proxy credentials when the proxy password is in use, and REFERER
// with `with_referer` (not while the robots.txt is fetched first; the line is set when the page
// itself is asked for).
void SetFetchRequestLines(CHttpHeaders& headers, const LinkRecord& record, const ProjectItem& item,
                          const ItemDefaults& defaults, const AppSettings& settings,
                          const std::optional<FileTime>& local_copy_written, bool with_referer,
                          const Validators& validators = {});
// REFERER from the record's str2, when it has one.
void SetRefererLine(CHttpHeaders& headers, const LinkRecord& record);

}  // namespace qlm
