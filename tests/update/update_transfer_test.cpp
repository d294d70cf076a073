// Downloads and the in-memory GET against real loopback servers: complete
// only when the announced size arrived, certificates checked.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/update/loopback_servers.h"
#include "update/zov_update_transfer.h"

namespace {

std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

class TransferTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { servers_ = new updtest::LoopbackServers(); }
  static void TearDownTestSuite() {
    delete servers_;
    servers_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(servers_->Ok()) << "loopback servers did not start (python3, openssl)";
    servers_->Reset();
    options_.caBundle = servers_->CaBundle();
    out_ = std::filesystem::path(zovtest::TempDir()) / "out.bin";
  }
  std::string Url(const std::string& name) const { return servers_->FileBase() + "PCTOOLS/KPR417/" + name; }

  static updtest::LoopbackServers* servers_;
  ZovTransferOptions options_;
  ZovTransferRecord record_;
  std::filesystem::path out_;
};
updtest::LoopbackServers* TransferTest::servers_ = nullptr;

}  // namespace

TEST_F(TransferTest, CompleteDownloadCountsEveryByte) {
  std::string data(70000, 'x');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
  servers_->Serve("pkg.bin", data);
  EXPECT_TRUE(ZovHttpDownload(Url("pkg.bin"), out_.string(), record_, options_));
  EXPECT_EQ(record_.expected.load(), 70000);
  EXPECT_EQ(record_.received.load(), 70000);
  EXPECT_TRUE(record_.done.load());
  EXPECT_EQ(ReadFile(out_), data);
}

TEST_F(TransferTest, ShortOrSizelessOrMissingFilesFail) {
  servers_->Serve("cut.bin", std::string(50000, 'c'));
  servers_->Serve("nolen.bin", std::string(3000, 'n'));
  servers_->Control(R"({"cut": {"PCTOOLS/KPR417/cut.bin": 1000}, "nolength": ["PCTOOLS/KPR417/nolen.bin"]})");

  EXPECT_FALSE(ZovHttpDownload(Url("cut.bin"), out_.string(), record_, options_));
  EXPECT_EQ(record_.expected.load(), 50000);
  EXPECT_EQ(record_.received.load(), 1000);
  EXPECT_TRUE(record_.done.load());
  EXPECT_EQ(std::filesystem::file_size(out_), 1000u);  // the partial file stays

  EXPECT_FALSE(ZovHttpDownload(Url("nolen.bin"), out_.string(), record_, options_));
  EXPECT_EQ(record_.received.load(), 3000);

  // A 404 page has a length and arrives whole, but it is not the file.
  EXPECT_FALSE(ZovHttpDownload(Url("missing.bin"), out_.string(), record_, options_));

  // A file that cannot be created fails without a transfer.
  EXPECT_FALSE(ZovHttpDownload(Url("cut.bin"), "/nonexistent-folder/x.bin", record_, options_));
  EXPECT_TRUE(record_.done.load());
}

TEST_F(TransferTest, ServerThatStopsSendingIsGivenUp) {
  servers_->Serve("slow.bin", std::string(4000, 's'));
  servers_->Control(R"({"pace": {"PCTOOLS/KPR417/slow.bin": [2, 4]}})");  // half, 4 s silence, half
  options_.stallTimeoutS = 1;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ZovHttpDownload(Url("slow.bin"), out_.string(), record_, options_));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(took).count(), 3500);
  EXPECT_EQ(record_.received.load(), 2000);
}

TEST_F(TransferTest, CertificatesAreVerified) {
  servers_->Serve("a.txt", "hello");
  // The right authority and host name: accepted.
  EXPECT_TRUE(ZovHttpDownload(Url("a.txt"), out_.string(), record_, options_));
  // A certificate for another host name, signed by the same authority: refused.
  EXPECT_FALSE(ZovHttpDownload(servers_->WrongHostBase() + "PCTOOLS/KPR417/a.txt", out_.string(), record_, options_));
  // The system store does not know the test authority.
  ZovTransferOptions system;
  EXPECT_FALSE(ZovHttpDownload(Url("a.txt"), out_.string(), record_, system));
  std::string body;
  EXPECT_FALSE(ZovHttpGet(Url("a.txt"), system, &body));
  EXPECT_TRUE(body.empty());
}

TEST_F(TransferTest, GetIntoMemoryAndOtherProtocolsRefused) {
  servers_->Control(R"({"check_reply": "{\"soft_version\":\"2\"}"})");
  std::string body;
  ASSERT_TRUE(ZovHttpGet(servers_->CheckBase() + "/rest/camera/updateCorrectFile?soft_version=1", options_, &body));
  EXPECT_EQ(body, R"({"soft_version":"2"})");
  // A reply far beyond any real one is abandoned, not kept in memory.
  servers_->Serve("huge.txt", std::string(3 * 1024 * 1024, 'h'));
  EXPECT_FALSE(ZovHttpGet(Url("huge.txt"), options_, &body));
  EXPECT_TRUE(body.empty());
  servers_->Control(R"({"check_reply": ""})");  // answers 404 with an empty body
  EXPECT_FALSE(ZovHttpGet(servers_->CheckBase() + "/rest/camera/updateCorrectFile?soft_version=1", options_, &body));

  // A reply may name any address; local files are not read.
  std::ofstream(out_.string() + ".src") << "secret";
  EXPECT_FALSE(ZovHttpDownload("file://" + out_.string() + ".src", out_.string(), record_, options_));
  EXPECT_FALSE(ZovHttpGet("file://" + out_.string() + ".src", options_, &body));
}
