// The demo project of examples/ patrolled by the real QLM from a real nginx, as scripts/demo
// does: the mirror holds every page and picture the site offers (and nothing robots.txt keeps
// out), and every link of every stored page leads to a stored file.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>

#include "tests/e2e/HeadlessPatrol.h"
#include "tests/support/NginxServer.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

namespace fs = std::filesystem;

std::string Examples() {
  return std::string(QLM_SOURCE_DIR) + "/examples/";
}

// The local links (href, src, background) of a stored page that do not leave the mirror.
std::vector<std::string> LocalLinks(const std::string& html) {
  std::vector<std::string> links;
  static const std::regex kLink(R"re((?:href|src|background)="([^"]*)")re", std::regex::icase);
  for (auto it = std::sregex_iterator(html.begin(), html.end(), kLink);
       it != std::sregex_iterator(); ++it) {
    std::string link = (*it)[1];
    if (link.rfind("http:", 0) == 0 || link.empty() || link[0] == '#') continue;
    links.push_back(link.substr(0, link.find('#')));
  }
  return links;
}

TEST(DemoPatrol, MirrorsTheDemoSiteWithWorkingLocalLinks) {
  if (test::NginxServer::Program().empty()) GTEST_SKIP() << "nginx is not installed";
  test::NginxServer::Options options;
  options.server_directives = test::ReadFileBytes(Examples() + "demo-site.conf");
  test::NginxServer nginx(options);
  fs::copy(Examples() + "demo-site", nginx.Root(),
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  ASSERT_TRUE(nginx.Start()) << nginx.Error();

  test::HeadlessPatrol patrol("Demo", "UseRobotsTxt=1\n");
  std::string project = test::ReadFileBytes(Examples() + "Demo.prj");
  const std::string example_site = "http://127.0.0.1:8080/";
  ASSERT_NE(project.find(example_site), std::string::npos);
  project.replace(project.find(example_site), example_site.size(), nginx.Url("/"));
  patrol.Project(project);
  std::string out, err;
  ASSERT_EQ(patrol.Patrol(&out, &err), 0) << out << err;
  EXPECT_EQ(err, "");
  EXPECT_TRUE(std::regex_match(test::LastLine(out),
                               std::regex("Detected [0-9]+ Retry 0 Visited [0-9]+ Failed 1 "
                                          "Localize [0-9]+ Modified [0-9]+")))
      << out;
  EXPECT_NE(out.find("Failed " + nginx.Url("/private/notes.html")), std::string::npos) << out;

  std::set<std::string> files;
  const std::string host = "Harbour/127.0.0.1/";
  for (const auto& [path, bytes] : patrol.Tree()) {
    if (path.rfind(host, 0) == 0 && !path.ends_with("/")) files.insert(path.substr(host.size()));
  }
  EXPECT_EQ(
      files,
      (std::set<std::string>{
          "cgi-bin/search.cgi[3fq=boats[3f.html", "frames/index.html", "frames/menu.html",
          "frames/welcome.html", "gallery/gull.gif", "gallery/harbour.jpg", "gallery/index.html",
          "gallery/lighthouse.jpg", "gallery/map.gif", "gallery/sunset.jpg", "index.html",
          "news/2024/harbour-day.html", "news/index.html", "old-news.html", "robots.txt"}));
  // Pictures are stored as the server sent them.
  EXPECT_EQ(test::ReadFileBytes(patrol.ProjectFolder() + host + "gallery/harbour.jpg"),
            test::ReadFileBytes(Examples() + "demo-site/gallery/harbour.jpg"));

  // A browser opening any stored page finds every local link it follows.
  size_t checked = 0;
  for (const std::string& file : files) {
    if (!file.ends_with(".html")) continue;
    const std::string page = patrol.ProjectFolder() + host + file;
    const std::string html = test::ReadFileBytes(page);
    EXPECT_NE(html.find(R"(<meta name="QLMVERSION" content="10060">)"), std::string::npos) << file;
    for (const std::string& link : LocalLinks(html)) {
      EXPECT_TRUE(fs::is_regular_file(fs::path(page).parent_path() / link))
          << file << " links to " << link;
      ++checked;
    }
  }
  EXPECT_GE(checked, 30u);
  const std::string index = test::ReadFileBytes(patrol.ProjectFolder() + host + "index.html");
  EXPECT_NE(index.find("href=\"http://www.example.org/\""), std::string::npos)
      << "a link out of the site stays as it was";
  EXPECT_NE(index.find("href=\"" + nginx.Url("/private/notes.html") + "\""), std::string::npos)
      << "a page robots.txt kept out is linked on the site";

  // The item had no title: it took the page's, and the project file was saved with it.
  EXPECT_NE(test::ReadFileBytes(patrol.ProjectPath()).find("\t\tTitle=\"Harbour Town\"\n"),
            std::string::npos);
}

}  // namespace
}  // namespace qlm
