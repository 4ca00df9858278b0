// Local paths stay inside Pictures whatever a URL or a project name holds,
// never follow a link below Pictures, and a file stops before the disk's
// free-space floor.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "files/LocalPath.h"
#include "files/PartialFile.h"
#include "support/Files.h"
#include "support/TempDir.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;

TEST(LocalPath, NamesThatCouldLeadElsewhereAreRefused) {
  struct Case {
    std::string url;
    bool usable;
    std::string shown;
  };
  const Case cases[] = {
      {"http://h/a/photo.jpg", true, "Pictures\\photo.jpg"},
      {"http://h/My Photo (1).JPG", true, "Pictures\\My Photo (1).JPG"},
      {"http://h/..\\..\\..\\x.jpg", false, "Pictures\\..\\..\\..\\x.jpg"},
      {"http://h/..\\..\\.gem\\..\\.bashrc", false, "Pictures\\..\\..\\.gem\\..\\.bashrc"},
      {"http://h/dir/", false, "Pictures\\"},
      {"http://h/..", false, "Pictures\\.."},
      {"http://h/.", false, "Pictures\\."},
      {std::string("http://h/a\0b.jpg", 16), false, std::string("Pictures\\a\0b.jpg", 16)},
      {"http://h/a\tb.jpg", false, "Pictures\\a\tb.jpg"},
      {"http://h/a\x7f.jpg", false, "Pictures\\a\x7f.jpg"},
      {"nourl.gif", true, "Pictures\\nourl.gif"},
  };
  for (const Case& c : cases) {
    LocalPath path = LocalPath::ForSingleFile(c.url);
    EXPECT_EQ(path.Usable(), c.usable) << c.url;
    EXPECT_EQ(path.Shown(), c.shown) << c.url;
  }
  for (const char* name : {"..", "../..", "a/b", "a\\b", "", ".", "\x01x"}) {
    EXPECT_FALSE(LocalPath::ForProject(name).Usable()) << name;
    EXPECT_FALSE(ProjectNameProblem(name).empty()) << name;
  }
  EXPECT_TRUE(ProjectNameProblem("New Web Project").empty());
  // Sub-folders: empty and "." parts are skipped, ".." refuses the whole path.
  LocalPath proj = LocalPath::ForProject("proj");
  EXPECT_EQ(proj.Below("\\a\\\\.\\b").Child("c.jpg").Shown(), "Pictures\\proj\\a\\b\\c.jpg");
  EXPECT_EQ(proj.Below("\\a\\b").Child("c.jpg").FsPath(), "Pictures/proj/a/b/c.jpg");
  EXPECT_FALSE(proj.Below("\\a\\..\\..\\b").Child("c.jpg").Usable());
  EXPECT_FALSE(LocalPath::ForProject("..").Below("\\a").Child("c.jpg").Usable());
}

class LocalFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    fs::create_directories(dir_ / "work");
    fs::current_path(dir_ / "work");
  }
  void TearDown() override {
    DiskLimits::fakeFreeBytes = UINT64_MAX;
    fs::current_path(old_);
  }
  test::TempDir dir_{"tvx-localpath"};
  fs::path old_;
};

TEST_F(LocalFiles, FoldersAreMadeAndFilesWrittenBelowPictures) {
  LocalPath file = LocalPath::ForProject("proj").Below("\\a\\b").Child("c.jpg");
  LocalFileWriter writer(file);
  writer.Write("abc", 3);
  std::string big(LocalFileWriter::kBuffer + 10, 'x');
  writer.Write(big.data(), big.size());
  writer.Finish();
  EXPECT_EQ(test::ReadFile("Pictures/proj/a/b/c.jpg"), "abc" + big);
  EXPECT_EQ(writer.Written(), 3 + big.size());
}

TEST_F(LocalFiles, LinksBelowPicturesAreNeverFollowed) {
  fs::create_directories("Pictures/proj");
  fs::create_directories(dir_ / "elsewhere");
  fs::create_directory_symlink(dir_ / "elsewhere", "Pictures/proj/a");
  fs::create_symlink(dir_ / "elsewhere/target.jpg", "Pictures/proj/link.jpg");
  ASSERT_EQ(::mkfifo("Pictures/proj/fifo.jpg", 0644), 0);

  LocalPath proj = LocalPath::ForProject("proj");
  EXPECT_THROW(LocalFileWriter(proj.Below("\\a").Child("x.jpg")), LocalFileError);
  EXPECT_FALSE(proj.Below("\\a\\deeper").MakeFolder());
  EXPECT_THROW(LocalFileWriter(proj.Child("link.jpg")), LocalFileError);
  EXPECT_THROW(LocalFileWriter(proj.Child("fifo.jpg")), LocalFileError);  // and does not block
  EXPECT_TRUE(fs::is_empty(dir_ / "elsewhere"));
  try {
    LocalFileWriter writer(LocalPath::ForProject("..").Child("x.jpg"));
    ADD_FAILURE() << "a project named .. was written";
  } catch (const LocalFileError& e) {
    EXPECT_STREQ(e.what(), "Error creating Pictures\\..\\x.jpg");
  }
  // Pictures itself may be a link the user made.
  fs::remove_all("Pictures");
  fs::create_directory_symlink(dir_ / "elsewhere", "Pictures");
  LocalFileWriter writer(LocalPath::ForSingleFile("http://h/ok.png"));
  writer.Finish();
  EXPECT_TRUE(fs::exists(dir_ / "elsewhere/ok.png"));
}

// A partial file: appended to, held by one writer at a time, and renamed to
// its final name in its own folder only, through no link.
TEST_F(LocalFiles, PartialFilesAppendLockAndTakeTheirNameWhenWhole) {
  LocalPath final = LocalPath::ForSingleFile("http://h/p.jpg");
  LocalPath part = final.WithSuffix(".part");
  EXPECT_EQ(part.Shown(), "Pictures\\p.jpg.part");
  {
    LocalFileWriter first(part);
    first.Write("abc", 3);
    first.Sync();
    EXPECT_EQ(test::ReadFile("Pictures/p.jpg.part"), "abc") << "on disk after Sync";
    try {
      LocalFileWriter second(part);
      ADD_FAILURE() << "a file another writer holds was opened";
    } catch (const LocalFileError& e) {
      EXPECT_STREQ(e.what(), "Pictures\\p.jpg.part is being written by another download");
    }
    EXPECT_EQ(test::ReadFile("Pictures/p.jpg.part"), "abc") << "and not emptied";
  }
  LocalFileWriter more(part, LocalFileWriter::Mode::Append);
  EXPECT_EQ(more.StartSize(), 3u);
  more.Write("def", 3);
  more.RenameWhenFinished(final);
  more.Finish();
  EXPECT_EQ(test::ReadFile("Pictures/p.jpg"), "abcdef");
  EXPECT_FALSE(fs::exists("Pictures/p.jpg.part"));

  // No rename into another folder; a link at the final name is replaced, not
  // written through.
  fs::create_directories("Pictures/proj");
  fs::create_symlink(dir_ / "outside.jpg", "Pictures/q.jpg");
  LocalPath q = LocalPath::ForSingleFile("http://h/q.jpg");
  dir_.Write("work/Pictures/q.jpg.part", "q");
  EXPECT_FALSE(q.WithSuffix(".part").RenameTo(LocalPath::ForProject("proj").Child("q.jpg")));
  EXPECT_TRUE(q.WithSuffix(".part").RenameTo(q));
  EXPECT_FALSE(fs::is_symlink("Pictures/q.jpg"));
  EXPECT_EQ(test::ReadFile("Pictures/q.jpg"), "q");
  EXPECT_FALSE(fs::exists(dir_ / "outside.jpg"));
}

// A file that is not resumed replaces what held its name only when whole;
// one cut short goes, and so does one the program's end removed under its
// writer, which then cannot give it its name.
TEST_F(LocalFiles, PartialFilesThatAreNotResumedNeverTouchTheRealNameUnlessWhole) {
  const LocalPath path = LocalPath::ForProject("proj").Child("a.gif");
  dir_.Write("work/Pictures/proj/a.gif", "old");
  {
    PartialFile cut(path);
    cut.Write("new, cut", 8);
    cut.Writer().Sync();
    EXPECT_EQ(test::ReadFile("Pictures/proj/a.gif.part"), "new, cut");
    EXPECT_EQ(test::ReadFile("Pictures/proj/a.gif"), "old");
  }
  EXPECT_FALSE(fs::exists("Pictures/proj/a.gif.part"));
  {
    PartialFile orphan(path);
    orphan.Write("new, orphaned", 13);
    EXPECT_EQ(RemoveOpenPartialFiles(), 1u);
    EXPECT_FALSE(fs::exists("Pictures/proj/a.gif.part"));
    EXPECT_THROW(orphan.Finish(), LocalFileError);
    EXPECT_EQ(RemoveOpenPartialFiles(), 0u);
  }
  EXPECT_EQ(test::ReadFile("Pictures/proj/a.gif"), "old");
  try {
    dir_.Write("work/Pictures/proj/a.gif.part", "held");
    const UniqueFd held = path.WithSuffix(".part").OpenForWriting(false);
    PartialFile second(path);
    ADD_FAILURE() << "a partial file another writer holds was opened";
  } catch (const LocalFileError& e) {
    EXPECT_STREQ(e.what(), "Pictures\\proj\\a.gif is being written by another download");
  }
  PartialFile whole(path);
  whole.Write("new", 3);
  whole.Finish();
  EXPECT_EQ(test::ReadFile("Pictures/proj/a.gif"), "new");
  EXPECT_FALSE(fs::exists("Pictures/proj/a.gif.part"));
}

TEST_F(LocalFiles, OverlongPathsAreRefused) {
  LocalPath deep = LocalPath::ForProject("proj");
  while (deep.Shown().size() < kMaxShownPath) deep = deep.Child("folder");
  EXPECT_FALSE(deep.Child("x.jpg").OpenParent().Valid());
  EXPECT_THROW(LocalFileWriter(deep.Child("x.jpg")), LocalFileError);
}

TEST_F(LocalFiles, WritingStopsAtTheFreeSpaceFloorAndRemovesThePiece) {
  const std::uint64_t floor = DiskLimits::freeSpaceFloorBytes.load();
  DiskLimits::fakeFreeBytes = floor + 3 * LocalFileWriter::kBuffer;
  LocalPath path = LocalPath::ForSingleFile("http://h/endless.jpg");
  LocalFileWriter writer(path);
  std::string block(64 * 1024, 'z');
  std::uint64_t written = 0;
  try {
    for (int i = 0; i < 1000; ++i) {
      writer.Write(block.data(), block.size());
      written += block.size();
    }
    ADD_FAILURE() << "never stopped";
  } catch (const LocalFileError& e) {
    EXPECT_EQ(e.what(), DiskFloorText());
    EXPECT_NE(std::string(e.what()).find("disk holding Pictures"), std::string::npos);
  }
  EXPECT_LE(written, 4 * LocalFileWriter::kBuffer);
  EXPECT_FALSE(fs::exists("Pictures/endless.jpg"));
}

}  // namespace
}  // namespace tvx
