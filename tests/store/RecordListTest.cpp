#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "store/Lists.h"
#include "store/RecordList.h"

namespace tvx {
namespace {

TEST(RecordText, LongTextIsCutToCapacityLessOne) {
  FileRecord r{};
  std::string longUrl(1000, 'a');
  SetText(r.url, longUrl);
  EXPECT_EQ(TextOf(r.url).size(), sizeof r.url - 1);
  SiteProject p{};
  SetText(p.status, std::string(40, 's'));
  EXPECT_EQ(std::string(p.status), std::string(31, 's'));
  SetText(p.name, "Exactly");
  EXPECT_STREQ(p.name, "Exactly");
  SetText(p.name, std::string(79, 'n'));
  EXPECT_EQ(TextOf(p.name).size(), 79u);
}

TEST(RecordList, EmptyListAnswersAbsence) {
  RecordList<FileRecord> list;
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_FALSE(list.IsModified());
  EXPECT_EQ(list.GetAt(0), nullptr);
  EXPECT_EQ(list.Find("x"), -1);
  list.RemoveAt(0);
  EXPECT_FALSE(list.IsModified()) << "a bad index changes nothing";
  list.SetModified(true);
  list.RemoveAt(-1);
  list.RemoveAt(5);
  EXPECT_TRUE(list.IsModified());
  EXPECT_EQ(list.GetCount(), 0);
}

TEST(RecordList, AddKeepsOrderAndMarksModified) {
  RecordList<FileRecord> list;
  list.AddUrl("http://a/1.gif");
  list.Add(MakeFileRecord("http://a/2.gif", "Success"));
  list.AddUrl("http://a/3.gif");
  ASSERT_EQ(list.GetCount(), 3);
  EXPECT_TRUE(list.IsModified());
  EXPECT_STREQ(list.GetAt(0)->url, "http://a/1.gif");
  EXPECT_STREQ(list.GetAt(0)->status, "Ready for download");
  EXPECT_STREQ(list.GetAt(1)->status, "Success");
  EXPECT_STREQ(list.GetAt(2)->url, "http://a/3.gif");
  EXPECT_EQ(list.GetAt(3), nullptr);
}

TEST(RecordList, FindIgnoresCaseMatchesWholeTextAndFirstWins) {
  RecordList<FileRecord> list;
  list.AddUrl("http://Host/Pic.GIF");
  list.Add(MakeFileRecord("http://host/pic.gif", "second"));
  EXPECT_EQ(list.Find("HTTP://HOST/PIC.gif"), 0);
  EXPECT_EQ(list.Find("http://host/pic.gi"), -1) << "whole text, not a prefix";
  EXPECT_EQ(list.Find("http://host/pic.gif "), -1);
  RecordList<SiteProject> sites;
  SiteProject p{};
  SetText(p.name, "Holiday pictures");
  sites.Add(p);
  EXPECT_EQ(sites.Find("HOLIDAY PICTURES"), 0);
}

TEST(RecordList, RemoveAtJoinsNeighbours) {
  RecordList<FileRecord> list;
  for (const char* u : {"a", "b", "c", "d"}) list.AddUrl(u);
  list.SetModified(false);
  list.RemoveAt(0);
  EXPECT_TRUE(list.IsModified());
  list.RemoveAt(1);  // "c"
  ASSERT_EQ(list.GetCount(), 2);
  EXPECT_STREQ(list.GetAt(0)->url, "b");
  EXPECT_STREQ(list.GetAt(1)->url, "d");
}

TEST(RecordList, RowOrderRule) {
  // After adding A, B, C the panel reads C, B, A; index 0 (A) is row 2.
  RecordList<FileRecord> list;
  for (const char* u : {"A", "B", "C"}) list.AddUrl(u);
  int n = list.GetCount();
  EXPECT_STREQ(list.GetAt(IndexOfRow(n, 0))->url, "C");
  EXPECT_STREQ(list.GetAt(IndexOfRow(n, 2))->url, "A");
  EXPECT_EQ(RowOfIndex(n, 0), 2);
  EXPECT_EQ(RowOfIndex(5, 4), 0);
}

TEST(RecordList, UpdateAndCopyAtGuardBadIndexes) {
  RecordList<FileRecord> list;
  list.AddUrl("x");
  EXPECT_TRUE(list.Update(0, [](FileRecord& r) { SetText(r.status, "Stopped"); }));
  EXPECT_FALSE(list.Update(1, [](FileRecord&) { FAIL(); }));
  ASSERT_TRUE(list.CopyAt(0).has_value());
  EXPECT_STREQ(list.CopyAt(0)->status, "Stopped");
  EXPECT_FALSE(list.CopyAt(-1).has_value());
}

TEST(RecordList, ConcurrentUseKeepsEveryRecord) {
  RecordList<FileRecord> list;
  constexpr int kThreads = 4, kEach = 2000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        list.AddUrl("t" + std::to_string(t) + "-" + std::to_string(i));
        (void)list.Find("t0-5");
        (void)list.CopyAt(i);
        (void)list.GetCount();
      }
    });
  }
  // A remover working from the other side at the same time.
  std::thread remover([&] {
    int removed = 0;
    while (removed < 1000) {
      if (list.GetCount() > 0) {
        list.RemoveAt(0);
        ++removed;
      }
    }
  });
  for (auto& t : threads) t.join();
  remover.join();
  EXPECT_EQ(list.GetCount(), kThreads * kEach - 1000);
}

TEST(RecordList, AppendingManyRecordsIsLinear) {
  // 200,000 appends must finish quickly; a chain walked on every append
  // would take minutes here.
  RecordList<FileRecord> list;
  FileRecord r = MakeFileRecord("http://x/y.gif");
  for (int i = 0; i < 200000; ++i) list.Add(r);
  EXPECT_EQ(list.GetCount(), 200000);
}

}  // namespace
}  // namespace tvx
