#include "app/MirrorCommand.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>

#include "app/PatrolCommand.h"
#include "crawl/LocalPath.h"
#include "crawl/MirrorStore.h"
#include "net/CUrl.h"
#include "project/ItemOption.h"
#include "project/ProjectItem.h"
#include "project/ProjectWriter.h"

namespace qlm {

namespace {

// The project's root and its one Record, as the patrol reads them back from the file.
std::unique_ptr<ProjectItem> ProjectFor(const MirrorCommand::Options& options,
                                        const std::string& url) {
  auto root = std::make_unique<ProjectItem>(ProjectItem::kRoot);
  root->SetOwn(ItemOption::GraphMax, options.depth);
  root->SetOwn(ItemOption::LocalizeLink, 1);
  if (options.other_sites) root->SetOwn(ItemOption::PilotArea, 2);
  auto record = std::make_unique<ProjectItem>(ProjectItem::kRecord);
  record->SetURL(url);
  record->SetTitle(url);
  root->AppendChild(std::move(record));
  return root;
}

// The host as a file name: the escaping of local names keeps it one plain component.
std::string ProjectNameOf(const CUrl& url) {
  return EscapeLocalName(*url.Host());
}

}  // namespace

std::optional<std::string> MirrorCommand::ProjectText(const Options& options, std::string* why) {
  // A URL of another scheme ("https://", "ftp://") is told as such, not as no URL at all.
  const std::size_t scheme_end = options.url.find("://");
  std::string scheme = options.url.substr(0, scheme_end == std::string::npos ? 0 : scheme_end);
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (!scheme.empty() && scheme != "http") {
    if (why) *why = options.url + ": only http URLs can be mirrored";
    return std::nullopt;
  }
  CUrl url;
  if (!url.Parse(options.url) || url.Scheme() != kSchemeHttp || !url.Host() ||
      url.Host()->empty()) {
    if (why) *why = options.url + " is not a URL that can be mirrored";
    return std::nullopt;
  }
  if (options.depth < 0) {
    if (why) *why = "the depth must be 0 or more";
    return std::nullopt;
  }
  std::string text;
  if (!ProjectWriter::Format(*ProjectFor(options, url.Text()), text)) {
    if (why) *why = "the project could not be written";
    return std::nullopt;
  }
  return text;
}

int MirrorCommand::Run(const Options& options, std::FILE* in, std::FILE* out, std::FILE* err) {
  auto fail = [err](const std::string& text) {
    std::fprintf(err, "QLM: %s\n", text.c_str());
    return PatrolCommand::kExitCannotOpen;
  };
  std::string why;
  if (!ProjectText(options, &why)) return fail(why);
  CUrl url;
  url.Parse(options.url);

  std::error_code ec;
  const std::filesystem::path into = options.into.empty() ? "." : options.into;
  std::filesystem::create_directories(into, ec);
  const std::filesystem::path folder = std::filesystem::absolute(into, ec).lexically_normal();
  if (ec || !std::filesystem::is_directory(folder)) {
    return fail("the folder " + into.string() + " cannot be made");
  }
  std::string mirror = folder.string();
  if (!mirror.ends_with('/')) mirror += '/';
  const std::string name = ProjectNameOf(url);
  const std::string project = mirror + name + ".prj";
  if (!ProjectWriter::Write(project, *ProjectFor(options, url.Text()))) {
    return fail("the project file " + project + " cannot be written");
  }
  std::fprintf(out, "Mirroring %s into %s (project file %s)\n", url.Text().c_str(), mirror.c_str(),
               project.c_str());
  std::fflush(out);

  PatrolCommand::Options patrol;
  patrol.project = project;
  patrol.assume_yes = options.assume_yes;
  patrol.mirror_dir = mirror;
  const int status = PatrolCommand::Patrol(patrol, in, out, err);

  // The start page as the patrol stored it (a page may have been given a variant suffix).
  std::recursive_mutex lock;
  const MirrorStore store(mirror, lock, false);
  const LocalCopy start = store.FindLocalCopy(url, name);
  if (start.Exists()) {
    std::fprintf(out, "Open this file in a browser: file://%s\n", start.file.c_str());
  }
  return status;
}

}  // namespace qlm
