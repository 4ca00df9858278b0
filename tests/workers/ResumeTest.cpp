// A single-file download that broke off goes on from where it stopped when it
// is started again, and starts over (saying so) when it cannot.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "files/LocalPath.h"
#include "files/PartialDownload.h"
#include "store/Lists.h"
#include "support/Files.h"
#include "support/FtpServer.h"
#include "support/RecordingReporter.h"
#include "support/TempDir.h"
#include "support/TestHttpServer.h"
#include "workers/FileWorkers.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;
using test::BinaryBody;
using test::HttpRequest;
using test::HttpResponse;
using test::ReadFile;

class Resume : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    fs::current_path(dir_.Path());
    net::ClientLimits::stallTimeoutMs = 20000;
  }
  void TearDown() override {
    fx_.reset();
    net::ClientLimits::stallTimeoutMs = 60000;
    fs::current_path(old_);
  }
  // Starts the worker for url (added to the requested files the first time)
  // and waits until it has ended.
  void Download(const std::string& url) {
    RecordList<FileRecord>& files = test::E().lists.requestedFiles;
    if (files.Find(url) < 0) files.AddUrl(url);
    const ItemId id = files.IdAt(files.Find(url));
    test::Shown().FollowItem({kListRequestedFiles, id});
    ASSERT_NE(StartFileWorker(test::E(), id, *files.CopyOf(id)), nullptr);
    ASSERT_TRUE(test::WaitForWorkers());
  }
  std::string StatusOf(const std::string& url) {
    int i = test::E().lists.requestedFiles.Find(url);
    return i < 0 ? "(moved)" : std::string(test::E().lists.requestedFiles.GetAt(i)->status);
  }
  test::RecordingReporter& Ui() { return fx_->reporter; }

  test::TempDir dir_{"tvx-resume"};
  fs::path old_;
  std::unique_ptr<test::EngineFixture> fx_ = std::make_unique<test::EngineFixture>();
};

// What a server does with a request for the rest of a file.
enum class Ranges {
  Honoured,        // 206 while If-Range names the file as it is, else the whole file
  Ignored,         // always the whole file
  IfRangeIgnored,  // 206 of the file as it is now, whatever If-Range says (a cache)
  Refused,         // 400 to any Range
  FromZero,        // 206 of the whole file, not from where it was asked
};

// The first answer breaks off after kCut bytes; the second start asks for
// the rest. What the server does with that decides what the user sees; a
// rest that cannot be used is never spliced on: the file starts over with a
// plain GET.
TEST_F(Resume, HttpGoesOnFromThePartialFileOrStartsOverSayingWhy) {
  constexpr std::size_t kSize = 600'000, kCut = 200'000;
  const std::string v1 = BinaryBody(kSize), v2 = BinaryBody(kSize + 1).substr(1);
  struct Case {
    const char* name;
    std::string validatorHeader;  // "ETag" or "Last-Modified"; empty: none
    Ranges ranges;
    bool fileChanges;
    std::string restartText;  // empty: resumed
    std::size_t requests;     // 3: the answer to the range was dropped for a plain GET
  };
  const Case cases[] = {
      {"etag", "ETag", Ranges::Honoured, false, "", 2},
      {"date", "Last-Modified", Ranges::Honoured, false, "", 2},
      {"ignores", "ETag", Ranges::Ignored, false, kRestartServerCannot, 2},
      {"changed", "ETag", Ranges::Honoured, true, kRestartFileChanged, 2},
      {"cache", "ETag", Ranges::IfRangeIgnored, true, kRestartFileChanged, 3},
      {"cache-date", "Last-Modified", Ranges::IfRangeIgnored, true, kRestartFileChanged, 3},
      {"refuses", "ETag", Ranges::Refused, false, kRestartServerCannot, 3},
      {"from-zero", "ETag", Ranges::FromZero, false, kRestartServerCannot, 3},
      {"none", "", Ranges::Honoured, false, kRestartNotResumable, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TestHttpServer http;
    int answers = 0;
    auto validatorOf = [&](bool second) {
      if (c.validatorHeader == "ETag") return std::string(second ? "\"v2\"" : "\"v1\"");
      return std::string(second ? "Tue, 02 Jan 2024 10:00:00 GMT"
                                : "Mon, 01 Jan 2024 10:00:00 GMT");
    };
    // The first answer breaks off after kCut bytes; later ones serve the
    // file (changed, when the case says so) and treat ranges as it says.
    http.SetHandler([&](const HttpRequest& request) {
      const bool first = ++answers == 1;
      const bool changed = c.fileChanges && !first;
      const std::string& body = changed ? v2 : v1;
      const std::string validator = validatorOf(changed);
      HttpResponse r = HttpResponse::Ok(body, "image/jpeg");
      if (!c.validatorHeader.empty()) r.headers.push_back({c.validatorHeader, validator});
      if (first) r.closeAfterBytes = kCut;
      const std::string range = request.Header("Range");
      if (range.rfind("bytes=", 0) != 0) return r;
      std::size_t from = std::stoul(range.substr(6));
      switch (c.ranges) {
        case Ranges::Honoured:
          if (request.Header("If-Range") != validator) return r;
          break;
        case Ranges::Ignored:
          return r;
        case Ranges::IfRangeIgnored:
          break;
        case Ranges::Refused:
          return HttpResponse::Status(400, "no ranges here");
        case Ranges::FromZero:
          from = 0;
          break;
      }
      r.status = 206;
      r.body = body.substr(from);
      r.headers.push_back({"Content-Range", "bytes " + std::to_string(from) + "-" +
                                                std::to_string(kSize - 1) + "/" +
                                                std::to_string(kSize)});
      return r;
    });
    const std::string path = std::string("/") + c.name + ".jpg";
    const std::string url = http.Url(path);
    const std::string local = "Pictures" + path;

    Download(url);
    EXPECT_FALSE(fs::exists(local)) << "a cut file never takes the picture's name";
    EXPECT_EQ(StatusOf(url).find("Downloading"), std::string::npos) << "a failure text";
    if (c.validatorHeader.empty()) {
      // Nothing could go on from the piece, so none is left. A program
      // killed part-way leaves one, with a note that names no version.
      EXPECT_FALSE(fs::exists(local + ".part"));
      EXPECT_FALSE(fs::exists(local + ".part.resume"));
      std::ofstream(local + ".part", std::ios::binary) << v1.substr(0, kCut);
      ASSERT_TRUE(PartialDownload(LocalPath::ForSingleFile(url)).WriteNote({url, ""}));
    }
    ASSERT_EQ(fs::file_size(local + ".part"), kCut);
    EXPECT_TRUE(fs::exists(local + ".part.resume"));

    Download(url);
    EXPECT_EQ(StatusOf(url), "(moved)");
    EXPECT_TRUE(ReadFile(local) == (c.fileChanges ? v2 : v1)) << "whole and right";
    EXPECT_FALSE(fs::exists(local + ".part"));
    EXPECT_FALSE(fs::exists(local + ".part.resume"));
    const auto requests = http.Requests();
    ASSERT_EQ(requests.size(), c.requests);
    const bool asked = !c.validatorHeader.empty();
    EXPECT_EQ(requests[1].Header("Range"), asked ? "bytes=200000-" : "");
    EXPECT_EQ(requests[1].Header("If-Range"), asked ? validatorOf(false) : "");
    EXPECT_FALSE(requests.back().HasHeader("Range") && c.requests == 3) << "a plain GET last";
    const bool resumed = c.restartText.empty();
    // Only where no answer was dropped part-way is the count of bytes sent certain.
    if (c.requests == 2) {
      EXPECT_EQ(http.BodyBytesSent(path), resumed ? kSize : kCut + kSize);
    }
    if (!resumed) {
      EXPECT_TRUE(Ui().Has("row 0 status: " + c.restartText));
      EXPECT_TRUE(Ui().Has("Status: " + c.restartText));
    }
    const auto bars = Ui().CallsStartingWith("row 0 progress: ");
    ASSERT_FALSE(bars.empty());
    for (const std::string& bar : bars)
      EXPECT_TRUE(bar.ends_with("/" + std::to_string(kSize))) << bar << ": the whole file's size";
    test::ResetLists();
    Ui().Clear();
  }
}

// FTP goes on with REST while the file's size and time are unchanged; a file
// that changed on the server starts over.
TEST_F(Resume, FtpGoesOnWithRestUnlessTheFileChanged) {
  constexpr std::size_t kSize = 400'000;
  test::TempDir root("tvx-resume-ftp");
  const std::string body = BinaryBody(kSize), changed = BinaryBody(kSize + 7).substr(7);
  root.Write("cut-same.jpg", body);
  root.Write("cut-changed.jpg", body);
  test::FtpServer ftp(root.Path());

  for (const char* name : {"cut-same.jpg", "cut-changed.jpg"}) {
    SCOPED_TRACE(name);
    const std::string url = ftp.Url(std::string("/") + name);
    const std::string local = std::string("Pictures/") + name;
    Download(url);  // the line breaks off half-way
    ASSERT_EQ(fs::file_size(local + ".part"), kSize / 2);
    EXPECT_FALSE(fs::exists(local));
  }
  // Another version of the file: other bytes, another time.
  root.Write("cut-changed.jpg", changed);
  fs::last_write_time(root / "cut-changed.jpg",
                      fs::last_write_time(root / "cut-changed.jpg") + std::chrono::hours(1));

  Download(ftp.Url("/cut-same.jpg"));
  EXPECT_TRUE(ReadFile("Pictures/cut-same.jpg") == body);
  EXPECT_EQ(ftp.BytesSent("cut-same.jpg", kSize), kSize) << "each byte sent once";

  Download(ftp.Url("/cut-changed.jpg"));
  EXPECT_TRUE(ReadFile("Pictures/cut-changed.jpg") == changed);
  EXPECT_EQ(ftp.BytesSent("cut-changed.jpg", kSize + kSize / 2), kSize + kSize / 2);
  EXPECT_TRUE(Ui().Has(std::string("Status: ") + kRestartFileChanged));
  EXPECT_EQ(test::E().lists.downloadedFiles.GetCount(), 2);
  for (const char* left : {"Pictures/cut-same.jpg.part", "Pictures/cut-same.jpg.part.resume",
                           "Pictures/cut-changed.jpg.part", "Pictures/cut-changed.jpg.part.resume"})
    EXPECT_FALSE(fs::exists(left)) << left;
}

}  // namespace
}  // namespace tvx
