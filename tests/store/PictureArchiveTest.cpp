#include <gtest/gtest.h>

#include <string>

#include "store/PictureArchive.h"

namespace tvx {
namespace {

ArchiveEntry Entry(const std::string& url, const std::string& path, char digest,
                   ArchiveState state = ArchiveState::Saved) {
  ArchiveEntry e;
  e.url = url;
  e.path = path;
  e.size = 1234;
  e.etag = "W/\"x1\"";
  e.lastModified = "Tue, 01 Dec 2026 10:00:00 GMT";
  e.sha256 = std::string(64, digest);
  e.state = state;
  return e;
}

// What is written is read back the same; a line cut short, of another kind
// or before any project is passed over; fields cannot break a line.
TEST(PictureArchive, ReadsBackWhatItWritesAndPassesOverBrokenLines) {
  PictureArchive archive;
  archive.Record("Harbour", Entry("http://h/a.jpg", "Pictures\\Harbour\\a.jpg", 'a'));
  archive.Record("Harbour",
                 Entry("http://h/b.jpg", "Pictures\\Harbour\\a.jpg", 'a', ArchiveState::Copy));
  ArchiveEntry odd = Entry("http://h/c.jpg", "Pictures\\Harbour\\c.jpg", 'c');
  odd.etag = "\"a\tb\r\nc\"";
  archive.Record("harbour", odd);
  archive.Record("Other",
                 Entry("http://o/d.jpg", "Pictures\\Other\\d.jpg", 'd', ArchiveState::Deleted));
  EXPECT_TRUE(archive.Modified());
  std::uint64_t generation = 0;
  const std::string text = archive.Format(generation);

  PictureArchive read;
  read.Read("\tsaved 1 " + std::string(64, 'e') + " http://x/orphan.jpg\tp\t\t\r\n" + text +
            "\tsaved 12 short http://h/z.jpg\tPictures\\Harbour\\z.jpg\t\t\r\n"
            "\tgone 1 " +
            std::string(64, 'f') +
            " http://h/y.jpg\tp\t\t\r\n"
            "\tsaved 5 " +
            std::string(64, 'f') + " http://h/cut.jpg");
  EXPECT_FALSE(read.Modified());
  EXPECT_EQ(read.Format(generation), text);
  EXPECT_EQ(read.EntriesOf("HARBOUR"), 3u);
  EXPECT_EQ(read.Find("Harbour", "http://h/c.jpg")->etag, "\"abc\"");
  EXPECT_EQ(read.Find("Other", "http://o/d.jpg")->state, ArchiveState::Deleted);
  EXPECT_FALSE(read.Find("Harbour", "http://h/cut.jpg"));
}

// Copies are found by their bytes, in the project or in every project; a
// picture the user deleted is a copy of nothing; the entries follow a rename.
TEST(PictureArchive, FindsCopiesMarksDeletionsAndFollowsItsProject) {
  PictureArchive archive;
  archive.Record("Harbour", Entry("http://h/a.jpg", "Pictures\\Harbour\\a.jpg", 'a'));
  archive.Record("Boats", Entry("http://b/x.jpg", "Pictures\\Boats\\x.jpg", 'b'));
  EXPECT_EQ(archive.FindContent("harbour", "http://h/other.jpg", std::string(64, 'a'), false)->url,
            "http://h/a.jpg");
  EXPECT_FALSE(archive.FindContent("Harbour", "http://h/a.jpg", std::string(64, 'a'), false))
      << "a picture is no copy of itself";
  EXPECT_FALSE(archive.FindContent("Harbour", "http://h/n.jpg", std::string(64, 'b'), false));
  EXPECT_EQ(archive.FindContent("Harbour", "http://b/x.jpg", std::string(64, 'b'), true)->url,
            "http://b/x.jpg")
      << "another project's picture of the same URL is a copy";

  // The gallery's form of a path and the tree's form both reach the entry.
  EXPECT_FALSE(archive.MarkDeletedByUser("Harbour", "Harbour/none.jpg"));
  EXPECT_TRUE(archive.MarkDeletedByUser("Harbour", "Harbour/a.jpg"));
  EXPECT_EQ(archive.Find("Harbour", "http://h/a.jpg")->state, ArchiveState::Deleted);
  EXPECT_FALSE(archive.FindContent("Harbour", "http://h/z.jpg", std::string(64, 'a'), true));
  EXPECT_TRUE(archive.MarkDeletedByUser("Boats", "Pictures\\Boats\\x.jpg"));

  archive.Rename("Harbour", "Port");
  EXPECT_EQ(archive.EntriesOf("Harbour"), 0u);
  EXPECT_EQ(archive.EntriesOf("port"), 1u);
  archive.Forget("PORT");
  EXPECT_EQ(archive.EntriesOf("Port"), 0u);
  archive.ForgetAll();
  std::uint64_t generation = 0;
  EXPECT_EQ(archive.Format(generation), "");
}

}  // namespace
}  // namespace tvx
