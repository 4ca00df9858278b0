#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "crawler/modern/LinkFrontier.h"

namespace tvx {
namespace {

using Strings = std::vector<std::string>;

Strings TakeAll(LinkFrontier& frontier, int perHost) {
  Strings out;
  while (auto taken = frontier.TakeNext(perHost)) {
    out.push_back(taken->url + "#" + std::to_string(taken->flags));
    frontier.Done(taken->host);
  }
  return out;
}

TEST(LinkFrontier, MeetsEachAddressOnceInItsOwnCaseAndTakesHostsInTurn) {
  LinkFrontier frontier;
  EXPECT_TRUE(frontier.Add("http://a/1.jpg", "a", 0));
  EXPECT_TRUE(frontier.Add("http://a/IMG.JPG", "a", 1));
  EXPECT_TRUE(frontier.Add("http://a/img.jpg", "a", 2)) << "case tells files apart";
  EXPECT_FALSE(frontier.Add("https://a/1.jpg", "a", 3)) << "another scheme, the same file";
  EXPECT_TRUE(frontier.Add("http://b/x.html", "b", 4));
  EXPECT_TRUE(frontier.Contains("https://a/IMG.JPG"));
  EXPECT_FALSE(frontier.Contains("http://a/Img.jpg"));
  frontier.Requeue("https://a/1.jpg", "a", 5);
  EXPECT_EQ(frontier.Met(), 4u);
  EXPECT_EQ(frontier.Waiting(), 5u);

  // Last in first out per host; hosts take turns.
  EXPECT_EQ(TakeAll(frontier, 1),
            (Strings{"https://a/1.jpg#5", "http://b/x.html#4", "http://a/img.jpg#2",
                     "http://a/IMG.JPG#1", "http://a/1.jpg#0"}));
  EXPECT_EQ(frontier.Waiting(), 0u);
}

TEST(LinkFrontier, HoldsNoMoreThanPerHostOut) {
  LinkFrontier frontier;
  for (int i = 0; i < 5; ++i) frontier.Add("http://a/" + std::to_string(i), "a", 0);
  frontier.Add("http://b/0", "b", 0);
  std::vector<LinkFrontier::Taken> out;
  while (auto taken = frontier.TakeNext(2)) out.push_back(*taken);
  ASSERT_EQ(out.size(), 3u) << "two of a, one of b";
  frontier.Done(out[0].host);
  ASSERT_TRUE(frontier.TakeNext(2));
  EXPECT_FALSE(frontier.TakeNext(2));
}

TEST(LinkFrontier, ARefusedLinkLetsOneOfTheFewJustBelowItGoFirst) {
  const auto noPages = [](std::string_view url) { return url.find(".html") == url.npos; };
  const auto addPages = [](LinkFrontier& frontier, const char* host, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
      frontier.Add("http://" + std::string(host) + "/" + std::to_string(i) + ".html", host, 0);
  };
  LinkFrontier frontier;
  frontier.Add("http://a/near.jpg", "a", 0);
  addPages(frontier, "a", LinkFrontier::kLookBelow);
  frontier.Add("http://b/far.jpg", "b", 0);
  addPages(frontier, "b", LinkFrontier::kLookBelow + 1);

  auto taken = frontier.TakeNext(8, noPages);
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->url, "http://a/near.jpg");
  EXPECT_FALSE(frontier.TakeNext(8, noPages)) << "b's picture is too far below";
  // The pages kept their order.
  taken = frontier.TakeNext(8);
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->url, "http://b/" + std::to_string(LinkFrontier::kLookBelow) + ".html");
  taken = frontier.TakeNext(8);
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->url, "http://a/" + std::to_string(LinkFrontier::kLookBelow - 1) + ".html");
}

TEST(LinkFrontier, AMillionLinksTakeLessThan150BytesEach) {
  LinkFrontier frontier;
  constexpr int kLinks = 1'000'000;
  char url[64];
  for (int i = 0; i < kLinks; ++i) {
    const int n = std::snprintf(url, sizeof url, "http://127.0.0.1:8080/gallery/page%d.html", i);
    ASSERT_TRUE(frontier.Add(std::string_view(url, static_cast<std::size_t>(n)), "127.0.0.1", 0));
  }
  EXPECT_FALSE(frontier.Add("https://127.0.0.1:8080/gallery/page999999.html", "127.0.0.1", 0));
  EXPECT_EQ(frontier.Met(), static_cast<std::size_t>(kLinks));
  const double perLink = static_cast<double>(frontier.MemoryBytes()) / kLinks;
  EXPECT_LT(perLink, 150.0);
  RecordProperty("bytes_per_link", std::to_string(perLink));
}

// Past its bounds the frontier adds no link and says it is full; the memory
// it holds never passes its bound, not even while its table doubles.
TEST(LinkFrontier, KeepsWithinItsBounds) {
  const struct {
    std::size_t maxLinks;
    std::size_t maxBytes;
    std::size_t hosts;  // links spread over this many hosts
  } cases[] = {
      {100, LinkFrontier::kNoBound, 1},
      {LinkFrontier::kNoBound, 3u << 20, 1},
      {LinkFrontier::kNoBound, 3u << 20, 5000},
  };
  const std::string tail(200, 'q');
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.maxLinks) + " links, " + std::to_string(c.maxBytes) + " bytes, " +
                 std::to_string(c.hosts) + " hosts");
    LinkFrontier frontier(c.maxLinks, c.maxBytes);
    std::size_t added = 0;
    for (std::size_t i = 0; i < 100'000 && !frontier.Full(); ++i) {
      const std::string host = "h" + std::to_string(i % c.hosts);
      if (frontier.Add("http://" + host + "/" + std::to_string(i) + tail, host, 0)) ++added;
      ASSERT_LE(frontier.MemoryBytes(), c.maxBytes);
    }
    ASSERT_TRUE(frontier.Full());
    EXPECT_EQ(frontier.Met(), added);
    EXPECT_GT(added, 50u);
    if (c.maxLinks != LinkFrontier::kNoBound) {
      EXPECT_EQ(added, c.maxLinks);
    }
    EXPECT_FALSE(frontier.Add("http://h0/new", "h0", 0));
    EXPECT_FALSE(frontier.Charge(1));
    EXPECT_TRUE(frontier.Contains("https://h0/0" + tail)) << "what it met it keeps";
    EXPECT_LE(frontier.MemoryBytes(), c.maxBytes);
  }
  LinkFrontier charged(LinkFrontier::kNoBound, 2u << 20);
  EXPECT_TRUE(charged.Charge(1u << 20));
  EXPECT_FALSE(charged.Charge((1u << 20) + 1)) << "memory beside the links counts too";
  EXPECT_FALSE(charged.Add("http://a/1", "a", 0));
}

}  // namespace
}  // namespace tvx
