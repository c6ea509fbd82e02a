#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qlm {

// The token that names this program in the User-agent lines of a robots.txt file.
inline constexpr std::string_view kRobotsAgent = "Quillmere";

// The robots.txt URL that governs `link_url`: `own_robots_url` when the link record carries
// one (a robots.txt that was redirected elsewhere), else the link's site URL followed by
// "/robots.txt". std::nullopt when `own_robots_url` is empty and `link_url` does not parse.
std::optional<std::string> RobotsUrl(std::string_view own_robots_url, std::string_view link_url);

// 1 when the robots.txt text `robots_txt` lets `agent` fetch `path` (an escaped path as CUrl
// gives it, without the query), 0 when it refuses.
//
// The first record whose User-agent lines name `agent` exactly or "*" decides, by its first
// rule whose %-decoded value starts the %-decoded path; no such record or rule allows. Lines may end in
// CR LF, LF or CR. A User-agent token ends at a separator or blank, a rule value at a blank or
// "#"; the rest of their line is ignored. An empty Disallow refuses nothing, an empty Allow
// allows everything, and a rule whose value holds a broken escape never matches. Values are
// taken whole, however long; the text is read once, front to back, and never copied.
int RobotsVerdict(std::string_view robots_txt, std::string_view agent, std::string_view path);

// Gives the stored copy of the robots.txt at a robots URL, or std::nullopt when there is no
// copy or it cannot be read.
using RobotsCopyReader = std::function<std::optional<std::string>(const std::string& robots_url)>;

// The verdict for a link against the stored copy of its site's robots.txt, for the agent
// kRobotsAgent: 0 when there is no readable copy or the link does not parse as a URL.
int RobotsVerdictForLink(const std::string& robots_url, std::string_view link_url,
                         const RobotsCopyReader& read_copy);

}  // namespace qlm
