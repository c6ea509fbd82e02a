#include "crawl/FetchSetup.h"

#include <algorithm>

#include "crawl/ResultOutcome.h"
#include "net/CHttpHeaders.h"
#include "project/AppSettings.h"
#include "project/ItemDefaults.h"
#include "project/LinkRecord.h"
#include "project/ProjectItem.h"

namespace qlm {

DownloadLimits ItemDownloadLimits(const ProjectItem& item, const ItemDefaults& defaults) {
  auto seconds = [&](ItemOption option) {
    const int32_t value = defaults.Resolve(item, option);
    return value < 0 ? 0 : value;
  };
  DownloadLimits limits;
  limits.total = seconds(ItemOption::DLTotalTimeout);
  limits.connection = seconds(ItemOption::ConnectionTimeout);
  limits.reply = seconds(ItemOption::ReplyRcvTimeout);
  limits.control = seconds(ItemOption::CtlRcvTimeout);
  limits.data = seconds(ItemOption::DataRcvTimeout);
  limits.close = seconds(ItemOption::CloseTimeout);
  limits.interval = seconds(ItemOption::AccessInterval);
  return limits;
}

DownloadLimits ItemDownloadLimits(const ProjectItem& item, const ItemDefaults& defaults,
                                  const AppSettings& settings) {
  constexpr int64_t kMiB = int64_t{1} << 20;
  DownloadLimits limits = ItemDownloadLimits(item, defaults);
  limits.max_body = std::max(0, settings.Number(AppNumber::MaxFileSize)) * kMiB;
  limits.reserve = std::max(0, settings.Number(AppNumber::FreeSpaceReserve)) * kMiB;
  return limits;
}

ProxySettings ProxyFromSettings(const AppSettings& settings) {
  ProxySettings proxy;
  proxy.proxy_on = settings.Number(AppNumber::ProxyOn) == 1;
  proxy.proxy_name = settings.Text(AppText::ProxyName);
  proxy.proxy_port = settings.Number(AppNumber::ProxyPort);
  proxy.use_proxy_password = settings.Number(AppNumber::UseProxyPassword) == 1;
  proxy.proxy_user_id = settings.Text(AppText::ProxyUserID);
  proxy.proxy_password = settings.Text(AppText::ProxyPassword);
  return proxy;
}

void SetFetchRequestLines(CHttpHeaders& headers, const LinkRecord& record, const ProjectItem& item,
                          const ItemDefaults& defaults, const AppSettings& settings,
                          const std::optional<FileTime>& local_copy_written, bool with_referer,
                          const Validators& validators) {
  headers.SetHeader(kHeaderAccept, "*/*");
  headers.SetHeader(kHeaderUserAgent, kUserAgent);
  if (local_copy_written && defaults.Resolve(item, ItemOption::RenewalType) != 1) {
    // The server's own date as it sent it: many servers answer 304 only to that exact text.
    headers.SetHeader(
        kHeaderIfModifiedSince,
        !validators.last_modified.empty()
            ? validators.last_modified
            : FormatHttpDate(std::chrono::system_clock::to_time_t(*local_copy_written)));
    if (!validators.etag.empty()) headers.SetHeader(kHeaderIfNoneMatch, validators.etag);
  }
  if (defaults.Resolve(item, ItemOption::NoCache) > 0) {
    headers.SetHeader(kHeaderPragma, "no-cache");
    headers.SetHeader(kHeaderCacheControl, "no-cache");
  }
  if (defaults.Resolve(item, ItemOption::UseHttpPassword) > 0 &&
      AuthStateOf(record.flags) == kAuthStateWithCredentials) {
    SetCredentials(headers, kCredentialServer, kAuthBasic,
                   defaults.Resolve(item, ItemString::HttpUserID),
                   defaults.Resolve(item, ItemString::HttpPassword));
  }
  const ProxySettings proxy = ProxyFromSettings(settings);
  if (proxy.use_proxy_password) {
    SetCredentials(headers, kCredentialProxy, kAuthBasic, proxy.proxy_user_id,
                   proxy.proxy_password);
  }
  if (with_referer) SetRefererLine(headers, record);
}

void SetRefererLine(CHttpHeaders& headers, const LinkRecord& record) {
  if (!record.referer.empty()) headers.SetHeader(kHeaderReferer, record.referer);
}

}  // namespace qlm
