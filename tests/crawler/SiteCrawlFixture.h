#pragma once
// A web-site crawl run on a worker against loopback servers, from a folder
// of its own, with the Requested Web Sites list shown and the project in
// row 0, the row the status view follows.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "crawler/CrawlWorker.h"
#include "files/LocalPath.h"
#include "net/Internet.h"
#include "store/Lists.h"
#include "support/RecordingReporter.h"
#include "support/TempDir.h"
#include "support/TestHttpServer.h"

namespace tvx::test {

class SiteCrawlFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.Path());
    test::Shown().Show(kListRequestedSites);
  }
  void TearDown() override {
    fx_.reset();
    ResetLists();  // tests that follow find no project of ours
    DiskLimits::fakeFreeBytes = UINT64_MAX;
    std::filesystem::current_path(old_);
  }
  static SiteProject Project(const std::string& startUrl, const char* name = "proj") {
    SiteProject p{};
    SetText(p.name, name);
    SetText(p.startUrl, startUrl);
    p.typeGif = 1;
    return p;
  }
  // Adds the project as the newest requested site and crawls it on a worker.
  void Start(const SiteProject& p) {
    test::E().lists.requestedSites.Add(p);
    Launch(p);
  }
  // Crawls a project already in the list (the first of its name) within
  // limits_, with the status view following it.
  void Launch(const SiteProject& p) {
    exitCode_ = -1;
    RecordList<SiteProject>& sites = test::E().lists.requestedSites;
    const ItemRef item{kListRequestedSites, sites.IdAt(sites.Find(TextOf(p.name)))};
    test::E().limits.crawlMemoryBytes = limits_.memoryBytes;
    test::E().limits.crawlLinks = limits_.maxLinks;
    test::E().limits.slowDownDefault = limits_.slowDownDefault;
    test::E().limits.slowDownCap = limits_.slowDownCap;
    test::E().limits.retryBase = limits_.retryBase;
    fx_->OnUi([&] {
      if (followStarted_) test::Shown().FollowItem(item);
      ASSERT_NE(test::E().workers.Launch(
                    test::E(), WorkerKind::Site, item, std::string(TextOf(p.name)),
                    kSiteStackCommand, [this, p](WorkerEnv& env) { exitCode_ = RunCrawl(env, p); }),
                nullptr);
    });
  }
  // Waits for the crawl's end. How long a crawl takes depends on the machine
  // (a sanitizer, other work beside the tests): the bound only catches one
  // that would never end.
  int Finish() {
    EXPECT_TRUE(WaitForWorkers(std::chrono::seconds(200)));
    return exitCode_;
  }
  RecordingReporter& Ui() { return fx_->reporter; }
  std::string Status() { return Ui().Text(StatusField::Status); }
  std::vector<std::string> Paths(const TestHttpServer& server) const {
    std::vector<std::string> out;
    for (const auto& r : server.Requests()) out.push_back(r.target);
    return out;
  }

  // Waits for servers kept short, so that tests of retries take little time.
  static CrawlLimits TestLimits() {
    CrawlLimits limits;
    limits.slowDownDefault = std::chrono::milliseconds(300);
    limits.slowDownCap = std::chrono::milliseconds(1500);
    limits.retryBase = std::chrono::milliseconds(40);
    return limits;
  }
  CrawlLimits limits_ = TestLimits();
  TempDir dir_{"tvx-site"};
  std::filesystem::path old_;
  std::unique_ptr<EngineFixture> fx_ = std::make_unique<EngineFixture>();
  TestHttpServer http_;
  std::atomic<int> exitCode_{-1};
  // Whether the status view follows a project started here (as when started
  // by command).
  bool followStarted_ = true;
};

}  // namespace tvx::test
