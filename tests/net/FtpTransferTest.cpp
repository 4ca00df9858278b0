#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "net/Internet.h"
#include "net/NetTestUtil.h"
#include "support/FtpServer.h"
#include "support/TempDir.h"

namespace tvx::net {
namespace {

using test::FtpServer;
using test::FtpServerOptions;
using test::TempDir;
using testing::BinaryPattern;
using testing::ReadAll;
using testing::ReadAllLines;

// One server for the suite: starting Python takes a moment.
class FtpTransferTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = new TempDir("tavrinox-ftp");
    root_->Write("top.gif", "GIF89a top");
    root_->Write("pics/photo.jpg", BinaryPattern(300'000));
    root_->Write("pics/empty.jpg", "");
    root_->Write("pics/notes.txt", "first\r\nsecond\nthird");
    root_->Write("pics/deep/er/x.png", "deep");
    root_->Write("my pics/a b.jpg", "spaced");
    std::filesystem::create_directories(root_->Path() / "nothing");
    server_ = new FtpServer(root_->Path());
  }
  static void TearDownTestSuite() {
    delete server_;
    delete root_;
  }

  std::unique_ptr<FtpConnection> Connect() {
    return session_.ConnectFtp(server_->Host(), server_->Port());
  }

  static TempDir* root_;
  static FtpServer* server_;
  Session session_;
};

TempDir* FtpTransferTest::root_ = nullptr;
FtpServer* FtpTransferTest::server_ = nullptr;

TEST_F(FtpTransferTest, FindsFilesInTheCurrentDirectory) {
  auto ftp = Connect();
  EXPECT_TRUE(ftp->FindFile("top.gif"));  // no directory change at all
  EXPECT_FALSE(ftp->FindFile("photo.jpg"));

  ftp->SetCurrentDirectory("pics");
  EXPECT_TRUE(ftp->FindFile("photo.jpg"));
  EXPECT_TRUE(ftp->FindFile("empty.jpg"));
  EXPECT_FALSE(ftp->FindFile("Photo.jpg"));
  EXPECT_FALSE(ftp->FindFile("photo"));
  EXPECT_FALSE(ftp->FindFile("top.gif"));

  auto nested = Connect();
  nested->SetCurrentDirectory("pics/deep/er");
  EXPECT_TRUE(nested->FindFile("x.png"));
  auto absolute = Connect();
  absolute->SetCurrentDirectory("/pics/deep");
  absolute->SetCurrentDirectory("er");
  EXPECT_TRUE(absolute->FindFile("x.png"));

  auto spaced = Connect();
  spaced->SetCurrentDirectory("my pics");
  EXPECT_TRUE(spaced->FindFile("a b.jpg"));
}

TEST_F(FtpTransferTest, HostTextMayCarryThePort) {
  // As cut from "ftp://127.0.0.1:<port>/top.gif".
  auto ftp = session_.ConnectFtp("127.0.0.1:" + std::to_string(server_->Port()));
  EXPECT_TRUE(ftp->FindFile("top.gif"));
}

TEST_F(FtpTransferTest, MissingDirectoryOrEmptyListingMeansNotFound) {
  auto ftp = Connect();
  ftp->SetCurrentDirectory("no/such/folder");
  EXPECT_FALSE(ftp->FindFile("photo.jpg"));

  auto empty = Connect();
  empty->SetCurrentDirectory("nothing");
  EXPECT_FALSE(empty->FindFile("photo.jpg"));
}

TEST_F(FtpTransferTest, OpenFileReadsBinaryBytesUnchanged) {
  auto ftp = Connect();
  ftp->SetCurrentDirectory("pics");
  ASSERT_TRUE(ftp->FindFile("photo.jpg"));
  auto file = ftp->OpenFile("photo.jpg");
  file->SetReadBufferSize(2048);
  EXPECT_EQ(file->StatusCode(), 0);
  EXPECT_TRUE(ReadAll(*file) == BinaryPattern(300'000));
  file->Close();

  // The same connection serves the next file, and the file after a find.
  EXPECT_EQ(ReadAll(*ftp->OpenFile("empty.jpg")), "");
  EXPECT_TRUE(ftp->FindFile("notes.txt"));
  EXPECT_EQ(ReadAllLines(*ftp->OpenFile("notes.txt")),
            (std::vector<std::string>{"first", "second", "third"}));

  auto spaced = Connect();
  spaced->SetCurrentDirectory("my pics");
  EXPECT_EQ(ReadAll(*spaced->OpenFile("a b.jpg")), "spaced");
}

TEST_F(FtpTransferTest, OpeningAMissingFileFails) {
  auto ftp = Connect();
  ftp->SetCurrentDirectory("pics");
  EXPECT_THROW(ftp->OpenFile("gone.jpg"), InternetError);
  // The connection is still usable afterwards.
  EXPECT_TRUE(ftp->FindFile("photo.jpg"));
}

TEST_F(FtpTransferTest, OpenFileUrlReadsFtpToo) {
  auto file = session_.OpenUrl(server_->Url("/pics/photo.jpg"), true);
  EXPECT_EQ(file->StatusCode(), 0);
  EXPECT_TRUE(ReadAll(*file) == BinaryPattern(300'000));
}

TEST_F(FtpTransferTest, ClosedConnectionRefusesFurtherWork) {
  auto ftp = Connect();
  auto file = ftp->OpenFile("top.gif");
  ftp->Close();
  // A file opened before the close can still be read to its end.
  EXPECT_EQ(ReadAll(*file), "GIF89a top");
  EXPECT_THROW(ftp->FindFile("top.gif"), InternetError);
}

TEST(FtpServerFailures, RefusedLoginIsAnError) {
  TempDir root;
  root.Write("a.jpg", "a");
  FtpServer server(root.Path(), FtpServerOptions{.refuseLogin = true});
  Session session;
  try {
    auto ftp = session.ConnectFtp(server.Host(), server.Port());
    ftp->FindFile("a.jpg");
    FAIL() << "the login was not refused";
  } catch (const InternetError& e) {
    EXPECT_NE(std::string(e.what()).find("530"), std::string::npos) << e.what();
  }
}

TEST(FtpServerFailures, UnreachableServerIsAnError) {
  Session session;
  EXPECT_THROW(session.ConnectFtp("127.0.0.1", testing::UnusedPort()), InternetError);
}

TEST(FtpServerFailures, RefusedActiveModeIsAnErrorNotANotFound) {
  TempDir root;
  root.Write("a.jpg", "a");
  FtpServer server(root.Path(), FtpServerOptions{.refuseActiveMode = true});
  Session session;
  auto ftp = session.ConnectFtp(server.Host(), server.Port());
  EXPECT_THROW(ftp->FindFile("a.jpg"), InternetError);
  EXPECT_THROW(ftp->OpenFile("a.jpg"), InternetError);
}

// Close does not wait for a slow goodbye, but the goodbye is counted until
// the server has answered, so the process can wait for it.
TEST(FtpServerFailures, SlowGoodbyeIsCountedNotWaitedFor) {
  TempDir root;
  root.Write("a.jpg", "a");
  constexpr auto kQuitDelay = std::chrono::seconds(2);
  FtpServer server(root.Path(), FtpServerOptions{.quitDelay = kQuitDelay});
  ASSERT_TRUE(WaitForBackgroundCloses(std::chrono::seconds(10)));
  Session session;
  auto ftp = session.ConnectFtp(server.Host(), server.Port());
  auto began = std::chrono::steady_clock::now();
  ftp->Close();
  EXPECT_EQ(PendingBackgroundCloses(), 1);
  EXPECT_FALSE(WaitForBackgroundCloses(std::chrono::milliseconds(100)));
  EXPECT_TRUE(WaitForBackgroundCloses(std::chrono::seconds(20)));
  EXPECT_GE(std::chrono::steady_clock::now() - began, kQuitDelay - std::chrono::milliseconds(100));
  EXPECT_EQ(PendingBackgroundCloses(), 0);
}

// Failures after the data port is set up come with their own cause, not a
// message libcurl left behind while it set the port up.
TEST(FtpServerFailures, FailuresAfterTheDataPortKeepTheirCause) {
  TempDir root;
  for (const char* name :
       {"partial-a.jpg", "oversize-a.jpg", "abort-a.jpg", "dropctl-a.jpg", "a.jpg"})
    root.Write(name, BinaryPattern(20000));
  FtpServer server(root.Path());
  FtpServer silent(root.Path(), FtpServerOptions{.neverConnectData = true});
  const long savedConnect = ClientLimits::connectTimeoutMs.exchange(700);
  struct Case {
    FtpServer* server;
    std::string file;
    std::string cause;  // a part of the expected message
  };
  const Case cases[] = {
      // Told 20000 (100) by SIZE, the server sends 10000 (20000) and says
      // the file is complete.
      {&server, "partial-a.jpg", "The server sent 10000 bytes of a file it announced as 20000"},
      {&server, "oversize-a.jpg", "The server sent 20000 bytes of a file it announced as 100 "},
      {&server, "abort-a.jpg", "426"},
      {&server, "dropctl-a.jpg", "response reading failed"},
      {&silent, "a.jpg", "ccept"},
  };
  for (const Case& c : cases) {
    Session session;
    std::string message;
    std::size_t got = 0;
    try {
      auto ftp = session.ConnectFtp(c.server->Host(), c.server->Port());
      auto file = ftp->OpenFile(c.file);
      got = ReadAll(*file).size();
    } catch (const InternetError& e) {
      message = e.what();
    }
    EXPECT_NE(message, "") << c.file << " ended as a success with " << got << " bytes";
    EXPECT_NE(message.find(c.cause), std::string::npos) << c.file << ": " << message;
    EXPECT_EQ(message.find("errno 97"), std::string::npos) << c.file << ": " << message;
    EXPECT_EQ(message.find("errno: 97"), std::string::npos) << c.file << ": " << message;
  }
  ClientLimits::connectTimeoutMs = savedConnect;
}

}  // namespace
}  // namespace tvx::net
