// Killing the program while it saves must leave every list file either as
// it was or as it was to become, whole.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "engine/Engine.h"
#include "store/ListFiles.h"
#include "store/Lists.h"
#include "support/Files.h"
#include "support/RecordingReporter.h"
#include "support/TempDir.h"

namespace tvx {
namespace {

using test::ReadFile;

namespace fs = std::filesystem;

const char* const kFiles[] = {"reqpics.data",  "reqpicwebs.data",  "reqpicsearch.data",
                              "dnldpics.data", "dnldpicwebs.data", "picsearchres.data"};

// Fills the six lists with n records named after tag.
void Fill(const std::string& tag, int n) {
  test::ResetLists();
  for (int i = 0; i < n; ++i) {
    std::string url = "http://" + tag + ".example/p" + std::to_string(i) + ".gif";
    test::E().lists.requestedFiles.AddUrl(url);
    test::E().lists.downloadedFiles.AddUrl(url);
    test::E().lists.searchResults.AddUrl(url);
    SiteProject p{};
    SetText(p.name, tag + " site " + std::to_string(i));
    SetText(p.startUrl, url);
    test::E().lists.requestedSites.Add(p);
    test::E().lists.downloadedSites.Add(p);
    SearchProject s{};
    SetText(s.name, tag + " search " + std::to_string(i));
    SetText(s.searchText, "some words");
    test::E().lists.searchProjects.Add(s);
  }
}

std::map<std::string, std::string> Contents(const fs::path& dir) {
  std::map<std::string, std::string> out;
  for (const char* f : kFiles) out[f] = ReadFile(dir / f);
  return out;
}

TEST(CrashSafeLists, KilledWhileSavingLeavesOldOrNewWhole) {
  fs::path old = fs::current_path();
  test::TempDir oldDir("tvx-crash-old"), newDir("tvx-crash-new"), work("tvx-crash");
  fs::current_path(oldDir.Path());
  Fill("old", 3000);
  test::E().Store().SaveAll();
  fs::current_path(newDir.Path());
  Fill("new", 5000);
  test::E().Store().SaveAll();
  auto before = Contents(oldDir.Path());
  auto after = Contents(newDir.Path());
  test::ResetLists();

  std::mt19937 random(20261208);
  int mixedRounds = 0;  // killed between two files: some old, some new
  constexpr int kRounds = 40;
  for (int round = 0; round < kRounds; ++round) {
    for (const char* f : kFiles)
      fs::copy_file(oldDir / f, work / f, fs::copy_options::overwrite_existing);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // The child saves the new lists again and again until it is killed.
      if (chdir(work.Path().c_str()) != 0) _exit(2);
      Fill("new", 5000);
      for (;;) {
        test::E().lists.requestedFiles.SetModified(true);
        test::E().Store().SaveAll();
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(30000 + random() % 300000));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    int newFiles = 0;
    for (const char* f : kFiles) {
      std::string now = ReadFile(work / f);
      ASSERT_TRUE(now == before[f] || now == after[f])
          << f << " is neither the old nor the new content (" << now.size() << " bytes, round "
          << round << ")";
      newFiles += now == after[f];
    }
    mixedRounds += newFiles > 0 && newFiles < 6;
  }
  std::printf("rounds: %d, killed between two files: %d\n", kRounds, mixedRounds);
  fs::current_path(old);
}

}  // namespace
}  // namespace tvx
