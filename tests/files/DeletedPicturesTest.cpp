// The pictures the user deleted, as the engine keeps them: by their path
// below Pictures, never a path that leads out of it.
#include <gtest/gtest.h>

#include "engine/Engine.h"
#include "files/DeletedPictures.h"
#include "store/PictureArchive.h"

namespace tvx {
namespace {

TEST(DeletedPictures, PathsBelowPicturesAreKeptByProjectAndOthersRefused) {
  const struct {
    const char* given;
    const char* recorded;  // null: refused
    const char* project;
  } cases[] = {
      {"holiday/2024/beach.jpg", "holiday/2024/beach.jpg", "holiday"},
      {"holiday\\2024\\dusk.jpg", "holiday/2024/dusk.jpg", "holiday"},
      {"./holiday//./lake.jpg", "holiday/lake.jpg", "holiday"},
      {"single.gif", "single.gif", ""},
      {"holiday/../../.bashrc", nullptr, nullptr},
      {"..", nullptr, nullptr},
      {"a/b\tc.jpg", nullptr, nullptr},
      {"", nullptr, nullptr},
      {"/", nullptr, nullptr},
  };
  Engine engine;
  ArchiveEntry saved;
  saved.url = "http://127.0.0.1/beach.jpg";
  saved.path = "Pictures\\holiday\\2024\\beach.jpg";
  saved.sha256 = std::string(64, 'b');
  engine.archive.Record("Holiday", saved);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.given);
    const auto normalised = DeletedPictures::Normalised(c.given);
    EXPECT_EQ(engine.RecordDeletedByUser(c.given), c.recorded != nullptr);
    if (!c.recorded) {
      EXPECT_FALSE(normalised);
      continue;
    }
    ASSERT_TRUE(normalised);
    EXPECT_EQ(*normalised, c.recorded);
    EXPECT_EQ(DeletedPictures::ProjectOf(*normalised), c.project);
    EXPECT_TRUE(engine.DeletedByUser().Contains(c.recorded));
  }
  EXPECT_EQ(engine.DeletedByUser().Count(), 4u);
  EXPECT_FALSE(engine.DeletedByUser().Contains("holiday/2024"));
  // The project's archive took the deletion, so a later run leaves it alone.
  const auto entry = engine.archive.Find("Holiday", saved.url);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->state, ArchiveState::Deleted);
  EXPECT_TRUE(engine.archive.Modified());
}

}  // namespace
}  // namespace tvx
