#pragma once

#include <memory>
#include <string>
#include <vector>

#include "crawl/PatrolEvents.h"
#include "platform/Profile.h"
#include "platform/Prompt.h"
#include "project/AppSettings.h"
#include "project/CQLMDoc.h"
#include "project/ProjectItem.h"
#include "tests/support/TempHome.h"

namespace qlm::test {

// What a patrol or saved-data operation reported, as the status view would count it.
class RecordedEvents : public PatrolEvents {
 public:
  void Handling(std::string_view url) override { handled.emplace_back(url); }
  void Detected() override { ++detected; }
  void Retried() override { ++other; }
  void Visited(std::string_view url) override { visited.emplace_back(url); }
  void Failed(std::string_view url, int reason) override {
    failed.emplace_back(url);
    failure_reasons.push_back(reason);
  }
  void Localizing() override { ++other; }
  void Localized() override { ++other; }
  void Ended() override { ++ended; }

  std::vector<std::string> handled, visited, failed;
  std::vector<int> failure_reasons;  // one per failed URL
  int detected = 0, ended = 0, other = 0;
};

// A new project "proj" in a temporary mirror folder, with helpers to grow its tree.
class ProjectFixture {
 public:
  ProjectFixture() {
    settings_.SetStored(AppText::MirrorDir, Mirror());
    doc_ = std::make_unique<CQLMDoc>(settings_, prompt_);
    doc_->New("proj");
  }

  std::string Mirror() const { return dir_.Path() + "/Mirror/"; }
  const std::string& Dir() const { return dir_.Path(); }
  AppSettings& Settings() { return settings_; }
  CQLMDoc& Doc() { return *doc_; }
  ProjectItem& Root() { return doc_->Root(); }

  ProjectItem& AddFolder(ProjectItem& parent, const std::string& title) {
    auto item = std::make_unique<ProjectItem>(ProjectItem::kFolder);
    item->SetTitle(title);
    return *parent.AppendChild(std::move(item));
  }
  ProjectItem& AddUrl(ProjectItem& parent, const std::string& url) {
    auto item = std::make_unique<ProjectItem>(ProjectItem::kRecord);
    item->SetURL(url);
    item->SetTitle(url);
    return *parent.AppendChild(std::move(item));
  }

 private:
  class QuietPrompt : public Prompt {
   public:
    bool AskYesNo(std::string_view) override { return false; }
    void ShowMessage(std::string_view) override {}
    void ShowProgress(std::string_view, std::string_view) override {}
    void EndProgress() override {}
  };

  TempDir dir_;
  AppSettings settings_{Profile(), dir_.Path() + "/data/"};
  QuietPrompt prompt_;
  std::unique_ptr<CQLMDoc> doc_;
};

}  // namespace qlm::test
