// What keeps the list files from being lost: unreadable files are left
// alone, replacing keeps mode, owner and links, records moved between lists
// survive an end at any point of a save, and saves never overlap.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/Engine.h"
#include "store/ListFiles.h"
#include "store/Lists.h"
#include "support/Files.h"
#include "support/RecordingReporter.h"
#include "support/TempDir.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::ReadFile;

// Each test works in a fresh folder of its own with empty lists.
class ListFileGuards : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    fs::current_path(dir_.Path());
    test::ResetLists();
    test::E().Store().SetMessageHook([this](const std::string& m) { messages_.push_back(m); });
  }
  void TearDown() override {
    test::E().Store().SetMessageHook(nullptr);
    test::E().Store().SetFileHookForTest(nullptr);
    test::E().Store().SetWriteFaultForTest("");
    test::ResetLists();
    fs::current_path(old_);
  }
  void Write(const std::string& name, const std::string& data) { dir_.Write(name, data); }

  test::TempDir dir_{"tvx-guards"};
  fs::path old_;
  std::vector<std::string> messages_;
};

// Loads the lists, giving up the whole test program when that hangs.
void LoadWithin(std::chrono::seconds limit) {
  auto loading = std::async(std::launch::async, [] { test::E().Store().LoadAll(); });
  if (loading.wait_for(limit) != std::future_status::ready) {
    std::fprintf(stderr, "loading the lists did not end within %lld s\n",
                 static_cast<long long>(limit.count()));
    std::abort();
  }
}

// What a directory entry is, without following it: its type and, for a
// link, where it points.
std::string Describe(const fs::path& p) {
  struct stat st {};
  if (lstat(p.c_str(), &st) != 0) return "absent";
  if (S_ISLNK(st.st_mode)) return "link to " + fs::read_symlink(p).string();
  return "type " + std::to_string(st.st_mode & S_IFMT) + " size " +
         std::to_string(S_ISREG(st.st_mode) ? st.st_size : 0);
}

TEST_F(ListFileGuards, UnreadableListFilesAreReportedAndNeverReplaced) {
  struct Case {
    const char* what;
    std::function<void()> make;  // makes "reqpics.data"
    std::string reason;          // empty: any
  };
  std::vector<Case> cases = {
      {"a folder", [] { fs::create_directory("reqpics.data"); }, std::strerror(EISDIR)},
      {"a FIFO", [] { ASSERT_EQ(mkfifo("reqpics.data", 0644), 0); }, "not a regular file"},
      {"a link to /dev/zero", [] { fs::create_symlink("/dev/zero", "reqpics.data"); },
       "not a regular file"},
      {"a link to itself", [] { fs::create_symlink("reqpics.data", "reqpics.data"); },
       std::strerror(ELOOP)},
      // Opens as a regular file, but reading it fails.
      {"a file that fails to read", [] { fs::create_symlink("/proc/self/mem", "reqpics.data"); },
       ""},
  };
  if (geteuid() != 0) {  // the superuser reads it anyway
    cases.push_back({"a file without permission",
                     [] {
                       std::ofstream("reqpics.data") << "http://a/1.gif\r\n";
                       fs::permissions("reqpics.data", fs::perms::none);
                     },
                     std::strerror(EACCES)});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::ResetLists();
    messages_.clear();
    for (const char* f : {"reqpics.data", "dnldpics.data", "reqpics.data.unsaved"}) fs::remove(f);
    c.make();
    Write("dnldpics.data", "http://a/done.gif\r\n");
    const std::string before = Describe("reqpics.data");

    LoadWithin(10s);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].find("'reqpics.data'"), std::string::npos) << messages_[0];
    EXPECT_NE(messages_[0].find(c.reason), std::string::npos) << messages_[0];
    EXPECT_NE(messages_[0].find("'reqpics.data.unsaved'"), std::string::npos) << messages_[0];
    EXPECT_EQ(messages_[0].find("dnldpics.data"), std::string::npos);
    EXPECT_EQ(test::E().lists.downloadedFiles.GetCount(), 1);

    // The list works in memory; its file is neither written nor deleted,
    // by the background save or at exit, changed or emptied.
    test::E().lists.requestedFiles.AddUrl("http://a/new.gif");
    test::E().lists.downloadedFiles.AddUrl("http://a/new.gif");
    EXPECT_EQ(test::E().lists.requestedFiles.Find("http://a/new.gif"),
              test::E().lists.requestedFiles.GetCount() - 1);
    EXPECT_TRUE(test::E().Store().Write(SaveScope::ChangedSinceSave).empty());
    test::E().Store().SaveAll();
    // What the run did to the list is kept beside it, nothing is lost.
    EXPECT_EQ(ReadFile("reqpics.data.unsaved"), "http://a/new.gif\r\n");
    while (test::E().lists.requestedFiles.GetCount() > 0)
      test::E().lists.requestedFiles.RemoveAt(0);
    test::E().Store().SaveAll();
    EXPECT_FALSE(fs::exists("reqpics.data.unsaved"));
    EXPECT_EQ(Describe("reqpics.data"), before);
    EXPECT_EQ(ReadFile("dnldpics.data"), "http://a/done.gif\r\nhttp://a/new.gif\r\n");
    EXPECT_EQ(messages_.size(), 1u);
  }
}

// A list file that stays unreadable run after run: every run's records are
// kept. The file kept aside is read back and written again with the new
// records; one that cannot be read either is left, and a numbered one takes
// the records. The start-up message says where they are.
TEST_F(ListFileGuards, RecordsKeptAsideSurviveEveryLaterRun) {
  fs::create_directory("reqpics.data");  // unreadable, run after run
  auto run = [&](const std::string& added) {
    test::ResetLists();
    messages_.clear();
    LoadWithin(10s);
    test::E().lists.requestedFiles.AddUrl(added);
    test::E().Store().SaveAll();
    return messages_.empty() ? std::string() : messages_[0];
  };
  run("http://a/1.gif");
  EXPECT_EQ(ReadFile("reqpics.data.unsaved"), "http://a/1.gif\r\n");

  const std::string second = run("http://a/2.gif");
  EXPECT_NE(second.find("this run saves the list to 'reqpics.data.unsaved' instead. The records "
                        "earlier runs kept in 'reqpics.data.unsaved' are loaded from it."),
            std::string::npos)
      << second;
  EXPECT_EQ(ReadFile("reqpics.data.unsaved"), "http://a/1.gif\r\nhttp://a/2.gif\r\n");

  fs::rename("reqpics.data.unsaved", "kept");
  fs::create_directory("reqpics.data.unsaved");  // cannot be read either
  const std::string third = run("http://a/3.gif");
  EXPECT_NE(third.find("saves the list to 'reqpics.data.unsaved.2' instead. 'reqpics.data.unsaved' "
                       "cannot be read either and is left as it is."),
            std::string::npos)
      << third;
  EXPECT_EQ(ReadFile("reqpics.data.unsaved.2"), "http://a/3.gif\r\n");
  EXPECT_EQ(run("http://a/4.gif").find("'reqpics.data.unsaved.3'") != std::string::npos, true)
      << "a numbered file of an earlier run is never written over";
  EXPECT_EQ(ReadFile("reqpics.data.unsaved.2"), "http://a/3.gif\r\n");
  EXPECT_EQ(ReadFile("kept"), "http://a/1.gif\r\nhttp://a/2.gif\r\n");
  EXPECT_TRUE(fs::is_directory("reqpics.data"));
}

TEST_F(ListFileGuards, ReplacingKeepsModeOwnerAndLinks) {
  Write("reqpics.data", "http://a/old.gif\r\n");
  fs::permissions("reqpics.data",
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown("reqpics.data", 1234, 5678), 0);
  }
  // A relative link into a folder, and a link to a link to a file.
  Write("real/downloaded.txt", "http://a/old.gif\r\n");
  fs::create_symlink("real/downloaded.txt", "dnldpics.data");
  Write("elsewhere/results", "http://a/old.gif\r\n");
  fs::create_symlink(dir_ / "elsewhere/results", "results-link");
  fs::create_symlink("results-link", "picsearchres.data");
  // An emptied list behind a link: the link stays, its target goes.
  Write("sites.txt", "P\r\nhttp://h/\r\n0\r\n0 0 0 0 0 0 0\r\n1 0 0\r\n1 0 0\r\n0 0 0\r\n*\r\n");
  fs::create_symlink("sites.txt", "reqpicwebs.data");
  // A stale temporary name planted as a link is not written through.
  Write("victim", "keep me");
  fs::create_symlink("victim", "reqpics.data.tmp");

  test::E().Store().LoadAll();
  ASSERT_TRUE(messages_.empty());
  test::E().lists.requestedFiles.AddUrl("http://a/new.gif");
  test::E().lists.downloadedFiles.AddUrl("http://a/new.gif");
  test::E().lists.searchResults.AddUrl("http://a/new.gif");
  test::E().lists.requestedSites.RemoveAt(0);
  test::E().Store().SaveAll();
  ASSERT_TRUE(messages_.empty());

  const std::string both = "http://a/old.gif\r\nhttp://a/new.gif\r\n";
  struct stat st {};
  ASSERT_EQ(lstat("reqpics.data", &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, 1234u);
    EXPECT_EQ(st.st_gid, 5678u);
  }
  EXPECT_EQ(ReadFile("reqpics.data"), both);
  EXPECT_EQ(ReadFile("victim"), "keep me");
  EXPECT_EQ(fs::read_symlink("dnldpics.data"), "real/downloaded.txt");
  EXPECT_EQ(ReadFile("real/downloaded.txt"), both);
  EXPECT_EQ(fs::read_symlink("picsearchres.data"), "results-link");
  EXPECT_EQ(ReadFile("elsewhere/results"), both);
  EXPECT_EQ(fs::read_symlink("reqpicwebs.data"), "sites.txt");
  EXPECT_FALSE(fs::exists("sites.txt"));
  // No temporary file is left beside any of them.
  for (const char* folder : {".", "real", "elsewhere"})
    for (const auto& entry : fs::directory_iterator(folder))
      EXPECT_EQ(entry.path().filename().string().find(".tmp."), std::string::npos) << entry.path();

  // The dangling link reads as a missing file, and a new list writes
  // through it again.
  test::ResetLists();
  test::E().Store().LoadAll();
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(test::E().lists.requestedSites.GetCount(), 0);
  SiteProject p{};
  SetText(p.name, "Again");
  test::E().lists.requestedSites.Add(p);
  test::E().Store().SaveAll();
  EXPECT_EQ(fs::read_symlink("reqpicwebs.data"), "sites.txt");
  EXPECT_EQ(ReadFile("sites.txt").substr(0, 7), "Again\r\n");
}

// The program's moves between lists, each as it makes them: added to the new
// list, then removed from the old one.
void MakeEveryMove() {
  test::E().lists.downloadedFiles.Add(
      *test::E().lists.requestedFiles.CopyAt(0));  // a download ended
  test::E().lists.requestedFiles.RemoveAt(0);
  test::E().lists.downloadedSites.Add(*test::E().lists.requestedSites.CopyAt(0));  // a crawl ended
  test::E().lists.requestedSites.RemoveAt(0);
  test::E().lists.searchResults.Add(
      MakeFileRecord("http://found/by-cats.gif", "Cats"));  // a search ran
  test::E().lists.searchProjects.RemoveAt(0);               // and its project was deleted
  test::E().lists.requestedFiles.AddUrl(
      "http://found/sent.gif");  // Send To, then the result deleted
  test::E().lists.searchResults.RemoveAt(
      test::E().lists.searchResults.Find("http://found/sent.gif"));
  SiteProject site{};
  SetText(site.name, "From a result");
  SetText(site.startUrl, "http://found/site/");
  test::E().lists.requestedSites.Add(site);
  test::E().lists.searchResults.RemoveAt(test::E().lists.searchResults.Find("http://found/site/"));
}

// Every moved record, in one list or the other, as the files hold them now.
void ExpectNothingLost(const std::string& when) {
  test::ResetLists();
  test::E().Store().LoadAll();
  SCOPED_TRACE(when);
  EXPECT_TRUE(test::E().lists.requestedFiles.Find("http://a/get.gif") >= 0 ||
              test::E().lists.downloadedFiles.Find("http://a/get.gif") >= 0);
  EXPECT_TRUE(test::E().lists.requestedSites.Find("Crawl") >= 0 ||
              test::E().lists.downloadedSites.Find("Crawl") >= 0);
  EXPECT_TRUE(test::E().lists.searchProjects.Find("Cats") >= 0 ||
              test::E().lists.searchResults.Find("http://found/by-cats.gif") >= 0);
  EXPECT_TRUE(test::E().lists.searchResults.Find("http://found/sent.gif") >= 0 ||
              test::E().lists.requestedFiles.Find("http://found/sent.gif") >= 0);
  EXPECT_TRUE(test::E().lists.searchResults.Find("http://found/site/") >= 0 ||
              test::E().lists.requestedSites.Find("From a result") >= 0);
}

TEST_F(ListFileGuards, AnEndBetweenAnyTwoFilesLosesNoMovedRecord) {
  const std::string site = "\r\n0\r\n0 0 0 0 0 0 0\r\n1 0 0\r\n1 0 0\r\n0 0 0\r\n*\r\n";
  const std::pair<const char*, std::string> start[] = {
      {"reqpics.data", "http://a/get.gif\r\n"},
      {"reqpicwebs.data", "Crawl\r\nhttp://c/" + site},
      {"reqpicsearch.data", "Cats\r\ncats\r\n1 0 1 0 0 0 0\r\n1 0 0\r\n1 0 0\r\n*\r\n"},
      {"dnldpics.data", "http://a/earlier.gif\r\n"},
      {"dnldpicwebs.data", "Earlier\r\nhttp://e/" + site},
      {"picsearchres.data", "http://found/sent.gif\r\nhttp://found/site/\r\n"},
  };
  // The saving process ends (SIGKILL) just before its k-th file; k = 6 is a
  // whole save.
  for (int k = 0; k <= 6; ++k) {
    for (const auto& [name, data] : start) Write(name, data);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      test::ResetLists();
      test::E().Store().LoadAll();
      MakeEveryMove();
      int files = 0;
      test::E().Store().SetFileHookForTest([&](const std::string&) {
        if (files++ == k) raise(SIGKILL);
      });
      test::E().Store().SaveAll();
      _exit(files == 6 ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (k < 6)
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << k;
    else
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "every list was written";
    ExpectNothingLost("ended before file " + std::to_string(k));
  }
  // After the whole save nothing is left twice.
  EXPECT_EQ(test::E().lists.requestedFiles.Find("http://a/get.gif"), -1);
  EXPECT_EQ(test::E().lists.searchResults.Find("http://found/site/"), -1);
}

TEST_F(ListFileGuards, BackgroundSavesWhileRecordsMoveNeverLoseOne) {
  // One thread moves records as the workers do while another saves in the
  // background over and over; the process is killed at a random moment.
  constexpr int kRecords = 400;
  std::string files, sites;
  for (int i = 0; i < kRecords; ++i) {
    files += "http://a/" + std::to_string(i) + ".gif\r\n";
    sites += "S" + std::to_string(i) +
             "\r\nhttp://s/\r\n0\r\n0 0 0 0 0 0 0\r\n1 0 0\r\n1 0 0\r\n0 0 0\r\n*\r\n";
  }
  std::mt19937 random(4711);
  for (int round = 0; round < 12; ++round) {
    fs::remove("dnldpics.data");
    fs::remove("dnldpicwebs.data");
    Write("reqpics.data", files);
    Write("reqpicwebs.data", sites);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      test::ResetLists();
      test::E().Store().LoadAll();
      std::thread mover([] {
        for (;;) {
          for (int i = 0; i < kRecords; ++i) {
            if (auto r = test::E().lists.requestedFiles.CopyAt(0)) {
              test::E().lists.downloadedFiles.Add(*r);
              test::E().lists.requestedFiles.RemoveAt(0);
            }
            if (auto p = test::E().lists.requestedSites.CopyAt(0)) {
              test::E().lists.downloadedSites.Add(*p);
              test::E().lists.requestedSites.RemoveAt(0);
            }
            std::this_thread::sleep_for(20us);
          }
        }
      });
      ListAutoSaver saver(test::E().Store());
      for (;;) {
        saver.Start();
        saver.Wait();
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5 + random() % 60));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    test::ResetLists();
    test::E().Store().LoadAll();
    for (int i = 0; i < kRecords; ++i) {
      std::string url = "http://a/" + std::to_string(i) + ".gif";
      std::string name = "S" + std::to_string(i);
      ASSERT_TRUE(test::E().lists.requestedFiles.Find(url) >= 0 ||
                  test::E().lists.downloadedFiles.Find(url) >= 0)
          << url << " lost in round " << round;
      ASSERT_TRUE(test::E().lists.requestedSites.Find(name) >= 0 ||
                  test::E().lists.downloadedSites.Find(name) >= 0)
          << name << " lost in round " << round;
    }
  }
}

TEST_F(ListFileGuards, BackgroundSaveWritesWhatChangedAndReportsAFailureOnce) {
  Write("reqpicwebs.data",
        "P\r\nhttp://h/\r\n0\r\n0 0 0 0 0 0 0\r\n1 0 0\r\n1 0 0\r\n0 0 0\r\n*\r\n");
  test::E().Store().LoadAll();
  std::vector<std::string> written;
  test::E().Store().SetFileHookForTest([&](const std::string& f) { written.push_back(f); });
  auto save = [] {
    ListAutoSaver saver(test::E().Store());
    std::promise<std::vector<std::string>> errors;
    EXPECT_TRUE(saver.Start([&](std::vector<std::string> e) { errors.set_value(std::move(e)); }));
    auto result = errors.get_future();
    EXPECT_EQ(result.wait_for(10s), std::future_status::ready);
    return result.get();
  };

  test::E().lists.requestedFiles.AddUrl("http://a/1.gif");
  EXPECT_TRUE(save().empty());
  EXPECT_EQ(written, std::vector<std::string>{"reqpics.data"});
  EXPECT_EQ(ReadFile("reqpics.data"), "http://a/1.gif\r\n");
  EXPECT_TRUE(test::E().lists.requestedFiles.IsModified()) << "the flag keeps its meaning";

  written.clear();
  EXPECT_TRUE(save().empty());
  EXPECT_TRUE(written.empty()) << "nothing changed since";

  // A list that cannot be written is retried every time, reported once
  // until it is written again; the exit step always reports it.
  test::E().Store().SetWriteFaultForTest("reqpics.data");
  test::E().lists.requestedFiles.AddUrl("http://a/2.gif");
  EXPECT_EQ(save(), std::vector<std::string>{"Error saving the 'Requested Files' list!"});
  written.clear();
  EXPECT_TRUE(save().empty());
  EXPECT_EQ(written, std::vector<std::string>{"reqpics.data"});
  test::E().Store().SaveAll();
  EXPECT_EQ(messages_, std::vector<std::string>{"Error saving the 'Requested Files' list!"});
  test::E().Store().SetWriteFaultForTest("");
  EXPECT_TRUE(save().empty());
  EXPECT_EQ(ReadFile("reqpics.data"), "http://a/1.gif\r\nhttp://a/2.gif\r\n");
  test::E().Store().SetWriteFaultForTest("reqpics.data");
  test::E().lists.requestedFiles.AddUrl("http://a/3.gif");
  EXPECT_EQ(save().size(), 1u);

  // Emptied in the run: the file goes.
  test::E().Store().SetWriteFaultForTest("");
  test::E().lists.requestedSites.RemoveAt(0);
  EXPECT_TRUE(save().empty());
  EXPECT_FALSE(fs::exists("reqpicwebs.data"));
}

TEST_F(ListFileGuards, OneSaveRunsAtATime) {
  test::E().lists.requestedFiles.AddUrl("http://a/1.gif");
  test::E().lists.downloadedFiles.AddUrl("http://a/2.gif");
  std::mutex m;
  std::condition_variable cv;
  bool release = false;
  int inside = 0, most = 0, calls = 0;
  test::E().Store().SetFileHookForTest([&](const std::string&) {
    std::unique_lock lock(m);
    most = std::max(most, ++inside);
    ++calls;
    cv.notify_all();
    // The first file of the first save waits to be let go.
    if (calls == 1) cv.wait_for(lock, 10s, [&] { return release; });
    --inside;
  });

  ListAutoSaver saver(test::E().Store());
  ASSERT_TRUE(saver.Start());
  {
    std::unique_lock lock(m);
    ASSERT_TRUE(cv.wait_for(lock, 10s, [&] { return calls == 1; }));
  }
  EXPECT_TRUE(saver.Running());
  EXPECT_FALSE(saver.Start()) << "a second background save while one runs";
  // The exit step is not skipped: it waits for the running save.
  std::thread exiting([] {
    test::E().lists.requestedFiles.AddUrl("http://a/3.gif");
    test::E().Store().SaveAll();
  });
  std::this_thread::sleep_for(100ms);
  {
    std::lock_guard lock(m);
    EXPECT_EQ(calls, 1);
    release = true;
  }
  cv.notify_all();
  exiting.join();
  saver.Wait();
  EXPECT_EQ(most, 1);
  EXPECT_EQ(calls, 4);  // two files by each save
  EXPECT_EQ(ReadFile("reqpics.data"), "http://a/1.gif\r\nhttp://a/3.gif\r\n");
}

}  // namespace
}  // namespace tvx
