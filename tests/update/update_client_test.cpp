// UpdateClient end to end: a real HTTP check service and a real HTTPS file
// server on loopback, a stand-in main window registered as "CZovPlayDlg"
// that records what the client sends it, and a temporary base folder.
#include <gtest/gtest.h>

#include <QApplication>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/zov_profile.h"
#include "shell/zov_wnd_manager.h"
#include "tests/update/loopback_servers.h"
#include "update/update_client.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::string ReadFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

struct Notice {
  WPARAM code;
  bool hasRecord;
  std::vector<int32_t> values;  // the payload as 32-bit integers
  Clock::time_point at;
};

// Stands in for the main window: keeps every ZOVWM_INFO_E it is sent and
// frees the record as every receiver must.
class FakePlayDlg : public CZovWnd {
 public:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message != ZOVWM_INFO_E) return 0;
    const ZovMsgData* record = ZovMsgRecord(lParam);
    Notice n{wParam, record != nullptr, {}, Clock::now()};
    if (record) n.values = record->Values<int32_t>();
    notices.push_back(n);
    return 0;
  }
  std::vector<Notice> Codes(WPARAM code) const {
    std::vector<Notice> out;
    for (const Notice& n : notices) {
      if (n.code == code) out.push_back(n);
    }
    return out;
  }
  std::vector<Notice> notices;  // the user-interface thread only
};

const char* kCurrent = "V1.01.06.";

std::string Description(const std::string& version, const std::string& name, const std::string& dir = ".") {
  return "[ZovPlay]\nversion=" + version + "\nupdatedir=" + dir + "\nupdatename=" + name + "\nIOG=1\n";
}

class UpdateClientTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "update_client_test";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) app_ = new QApplication(argc, argv);
    servers_ = new updtest::LoopbackServers();
  }
  static void TearDownTestSuite() {
    delete servers_;
    servers_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(servers_->Ok()) << "loopback servers did not start (python3, openssl)";
    servers_->Reset();
    base_ = zovtest::TempDir();
    fs::create_directories(base_ / "setup");
    window_ = std::make_unique<FakePlayDlg>();
    CZovWndManager::GetInstance()->Register(kZovMainWindowName, window_.get());
    client_ = std::make_unique<UpdateClient>();
    client_->SetBaseFolder(base_.string());
    client_->SetServers({servers_->CheckBase(), servers_->FileBase(), servers_->CaBundle()});
  }
  void TearDown() override {
    client_.reset();
    CZovWndManager::GetInstance()->Unregister(kZovMainWindowName);
    window_.reset();
  }

  // Starts the check and keeps this (the window's) thread handling messages
  // until the check thread has ended.
  void RunCheck(const std::string& version = kCurrent) {
    client_->Start(version);
    auto until = Clock::now() + std::chrono::seconds(30);
    while (!client_->WaitFinished(0) && Clock::now() < until) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      client_->WaitFinished(5);
    }
    ASSERT_TRUE(client_->WaitFinished(0)) << "the check did not end";
    QCoreApplication::processEvents();
  }

  int Requested(const std::string& path) const {
    int n = 0;
    for (const std::string& r : servers_->Requests()) n += r == path;
    return n;
  }

  static QApplication* app_;
  static updtest::LoopbackServers* servers_;
  fs::path base_;
  std::unique_ptr<FakePlayDlg> window_;
  std::unique_ptr<UpdateClient> client_;
};
QApplication* UpdateClientTest::app_ = nullptr;
updtest::LoopbackServers* UpdateClientTest::servers_ = nullptr;

const std::string kIniPath = "/PCTOOLS/KPR417/zovplay_kpr417.ini";

}  // namespace

TEST_F(UpdateClientTest, VersionDecisions) {
  struct Case {
    const char* server;
    const char* name;
    bool update;
  } cases[] = {
      {"V1.02.06.", "07_pkg", false},  // differ at position 4
      {"V2.01.00.", "21_pkg", true},   // 13 < 25
      {"V1.01.06.", "07_pkg", true},   // equal, 6 < 7
      {"V1.01.06.", "05_pkg", false},  // equal, 6 > 5
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.server) + " " + c.name);
    servers_->Reset();
    servers_->Serve("zovplay_kpr417.ini", Description(c.server, c.name));
    servers_->Serve(std::string(c.name) + ".bin", "package bytes of " + std::string(c.name));
    RunCheck();
    const fs::path package = base_ / (std::string(c.name) + ".bin");
    EXPECT_EQ(ReadFile(base_ / "zovplay_kpr417.ini"), Description(c.server, c.name));
    if (c.update) {
      EXPECT_EQ(client_->GetState(), kUpdateReady);
      EXPECT_EQ(client_->UpdateName(), c.name);
      EXPECT_EQ(ReadFile(package), "package bytes of " + std::string(c.name));
      EXPECT_EQ(ReadFile(base_ / "update.txt"),
                std::string("0,") + c.name + ".bin,.,K," + c.server + "," + c.name);
      auto progress = window_->Codes(2008);
      ASSERT_FALSE(progress.empty());
      EXPECT_EQ(progress.back().values, (std::vector<int32_t>{-1, -1}));
    } else {
      EXPECT_EQ(client_->GetState(), kUpdateNewest);
      EXPECT_FALSE(fs::exists(package));
      EXPECT_FALSE(fs::exists(base_ / "update.txt"));
      EXPECT_TRUE(window_->Codes(2008).empty());
    }
    // The end of the check, sent without a record.
    auto ends = window_->Codes(2009);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_FALSE(ends[0].hasRecord);
    // A fresh client for the next case.
    TearDown();
    SetUp();
  }
}

TEST_F(UpdateClientTest, PackageMarkedCompleteEarlierIsNotFetchedAgain) {
  servers_->Serve("zovplay_kpr417.ini", Description("V2.01.00.", "21_pkg"));
  servers_->Serve("21_pkg.bin", "new bytes");
  std::ofstream(base_ / "21_pkg.bin") << "kept";
  std::ofstream(base_ / "update.txt") << "0,21_pkg.bin,.,K,V2.01.00.,21_pkg";
  RunCheck();
  EXPECT_EQ(client_->GetState(), kUpdateReady);
  EXPECT_EQ(Requested("/PCTOOLS/KPR417/21_pkg.bin"), 0);
  EXPECT_EQ(ReadFile(base_ / "21_pkg.bin"), "kept");
  EXPECT_EQ(window_->Codes(2009).size(), 1u);
  EXPECT_TRUE(window_->Codes(2008).empty());
}

TEST_F(UpdateClientTest, IncompleteEarlierDownloadIsFetchedAgain) {
  servers_->Serve("zovplay_kpr417.ini", Description("V2.01.00.", "21_pkg"));
  servers_->Serve("21_pkg.bin", "whole package");
  std::ofstream(base_ / "21_pkg.bin") << "half";
  std::ofstream(base_ / "update.txt") << "0,21_pkg.bin,.,N,";
  RunCheck();
  EXPECT_EQ(client_->GetState(), kUpdateReady);
  EXPECT_EQ(Requested("/PCTOOLS/KPR417/21_pkg.bin"), 1);
  EXPECT_EQ(ReadFile(base_ / "21_pkg.bin"), "whole package");
}

TEST_F(UpdateClientTest, MissingDescriptionEndsIn33WithoutNotice) {
  RunCheck();
  EXPECT_EQ(client_->GetState(), kUpdateDescriptionFailed);
  EXPECT_EQ(Requested(kIniPath), 1);
  EXPECT_TRUE(window_->notices.empty());
  EXPECT_FALSE(fs::exists(base_ / "update.txt"));
}

TEST_F(UpdateClientTest, PackageCutShortEndsIn35AndKeepsThePendingLine) {
  servers_->Serve("zovplay_kpr417.ini", Description("V2.01.00.", "21_pkg"));
  servers_->Serve("21_pkg.bin", std::string(40000, 'p'));
  servers_->Control(R"({"cut": {"PCTOOLS/KPR417/21_pkg.bin": 5000}})");
  RunCheck();
  EXPECT_EQ(client_->GetState(), kUpdateDownloadFailed);
  EXPECT_EQ(ReadFile(base_ / "update.txt"), "0,21_pkg.bin,.,N,");
  EXPECT_TRUE(window_->Codes(2009).empty());
  auto progress = window_->Codes(2008);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back().values, (std::vector<int32_t>{-1, -1}));
}

TEST_F(UpdateClientTest, ProgressArrivesAboutOnceASecondAndEndsWithMinusOne) {
  const int size = 60000;
  servers_->Serve("zovplay_kpr417.ini", Description("V2.01.00.", "21_pkg"));
  servers_->Serve("21_pkg.bin", std::string(size, 'p'));
  // About 2.4 seconds of transfer: two or three reports while it runs.
  servers_->Control(R"({"pace": {"PCTOOLS/KPR417/21_pkg.bin": [13, 0.2]}})");
  RunCheck();
  EXPECT_EQ(client_->GetState(), kUpdateReady);
  auto progress = window_->Codes(2008);
  ASSERT_GE(progress.size(), 3u);
  EXPECT_LE(progress.size(), 5u);
  EXPECT_EQ(progress.back().values, (std::vector<int32_t>{-1, -1}));
  int32_t last = 0;
  for (size_t i = 0; i + 1 < progress.size(); ++i) {
    ASSERT_EQ(progress[i].values.size(), 2u);
    EXPECT_EQ(progress[i].values[1], size);
    EXPECT_GE(progress[i].values[0], last);
    EXPECT_LT(progress[i].values[0], size);  // sent while the transfer ran
    last = progress[i].values[0];
    if (i > 0) {
      auto gap = std::chrono::duration_cast<std::chrono::milliseconds>(progress[i].at - progress[i - 1].at);
      EXPECT_GE(gap.count(), 700);
      EXPECT_LE(gap.count(), 2000);
    }
  }
}

TEST_F(UpdateClientTest, CalibrationFileFetchedOnlyFromACompleteNewerReply) {
  servers_->Serve("zovplay_kpr417.ini", Description("V1.02.06.", "07_pkg"));
  servers_->Serve("/calib/c.bin", "calibration");
  const std::string url = servers_->FileBase() + "calib/c.bin";
  servers_->Control(R"({"check_reply": "{\"soft_version\":\"3\",\"file_md5\":\"abc\",\"file_url\":\")" + url +
                    R"(\"}"})");
  RunCheck();
  EXPECT_EQ(ReadFile(base_ / "setup/calibration.bin"), "calibration");
  EXPECT_EQ(client_->CalibrationUrl(), url);
  EXPECT_EQ(client_->GetState(), kUpdateNewest);

  // An empty file_url: nothing fetched, the rest goes on.
  TearDown();
  SetUp();
  servers_->Serve("zovplay_kpr417.ini", Description("V1.02.06.", "07_pkg"));
  servers_->Control(R"({"check_reply": "{\"soft_version\":\"3\",\"file_md5\":\"abc\",\"file_url\":\"\"}"})");
  RunCheck();
  EXPECT_FALSE(fs::exists(base_ / "setup/calibration.bin"));
  EXPECT_EQ(Requested("/rest/camera/updateCorrectFile?soft_version=1"), 1);
  EXPECT_EQ(client_->GetState(), kUpdateNewest);
}

TEST_F(UpdateClientTest, LateCheckServiceIsGivenUpAfterThreeSeconds) {
  servers_->Serve("zovplay_kpr417.ini", Description("V1.02.06.", "07_pkg"));
  servers_->Serve("/calib/c.bin", "calibration");
  const std::string url = servers_->FileBase() + "calib/c.bin";
  servers_->Control(R"({"check_delay": 5, "check_reply": "{\"soft_version\":\"3\",\"file_md5\":\"a\",\"file_url\":\")" +
                    url + R"(\"}"})");
  auto start = Clock::now();
  RunCheck();
  auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  EXPECT_GE(took, 2900);
  EXPECT_LT(took, 4800);  // the service answers only after 5 s
  EXPECT_FALSE(fs::exists(base_ / "setup/calibration.bin"));
  EXPECT_EQ(Requested("/calib/c.bin"), 0);
  EXPECT_EQ(client_->GetState(), kUpdateNewest);
}

TEST_F(UpdateClientTest, FileServerWithAnotherHostsCertificateIsRefused) {
  servers_->Serve("zovplay_kpr417.ini", Description("V2.01.00.", "21_pkg"));
  client_->SetServers({servers_->CheckBase(), servers_->WrongHostBase(), servers_->CaBundle()});
  RunCheck();
  EXPECT_EQ(client_->GetState(), kUpdateDescriptionFailed);
  EXPECT_TRUE(window_->notices.empty());
}

TEST_F(UpdateClientTest, CertificateAuthorityFromTheEnvironment) {
  servers_->Serve("zovplay_kpr417.ini", Description("V1.02.06.", "07_pkg"));
  client_->SetServers({servers_->CheckBase(), servers_->FileBase(), ""});
  setenv("ZOV_CA_BUNDLE", servers_->CaBundle().c_str(), 1);
  RunCheck();
  unsetenv("ZOV_CA_BUNDLE");
  EXPECT_EQ(client_->GetState(), kUpdateNewest);
}

TEST_F(UpdateClientTest, UnsafePackageNamesAreNotDownloaded) {
  servers_->Serve("zovplay_kpr417.ini", Description("V2.01.00.", "../../21_evil"));
  servers_->Serve("/21_evil.bin", "evil");
  RunCheck();
  EXPECT_EQ(client_->GetState(), kUpdateNewest);
  EXPECT_FALSE(fs::exists(base_.parent_path() / "21_evil.bin"));
  EXPECT_FALSE(fs::exists(base_ / "update.txt"));

  TearDown();
  SetUp();
  servers_->Serve("zovplay_kpr417.ini", Description("V2.01.00.", std::string(32, '2')));
  RunCheck();
  EXPECT_EQ(client_->GetState(), kUpdateNewest);

  // A folder so long that the launcher would never read the "K" mark.
  TearDown();
  SetUp();
  servers_->Serve("zovplay_kpr417.ini", Description("V2.01.00.", "21_pkg", std::string(120, 'd')));
  RunCheck();
  EXPECT_EQ(client_->GetState(), kUpdateNewest);
  EXPECT_FALSE(fs::exists(base_ / "update.txt"));
}

TEST_F(UpdateClientTest, StartRunsOneCheckPerClient) {
  servers_->Serve("zovplay_kpr417.ini", Description("V1.02.06.", "07_pkg"));
  EXPECT_EQ(client_->GetState(), kUpdateNotStarted);
  RunCheck();
  client_->Start(kCurrent);
  EXPECT_EQ(client_->GetState(), kUpdateNewest);
  QCoreApplication::processEvents();
  EXPECT_EQ(Requested(kIniPath), 1);
  EXPECT_EQ(window_->Codes(2009).size(), 1u);
}

TEST_F(UpdateClientTest, DeletingTheClientAbandonsARunningDownload) {
  servers_->Serve("zovplay_kpr417.ini", Description("V2.01.00.", "21_pkg"));
  servers_->Serve("21_pkg.bin", std::string(100000, 'p'));
  servers_->Control(R"({"pace": {"PCTOOLS/KPR417/21_pkg.bin": [50, 0.5]}})");  // 25 seconds
  client_->Start(kCurrent);
  auto until = Clock::now() + std::chrono::seconds(10);
  while (client_->GetState() != kUpdateDownloading && Clock::now() < until) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  ASSERT_EQ(client_->GetState(), kUpdateDownloading);
  auto start = Clock::now();
  client_.reset();
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(), 2000);
  EXPECT_EQ(ReadFile(base_ / "update.txt"), "0,21_pkg.bin,.,N,");
  EXPECT_TRUE(window_->Codes(2009).empty());
}

TEST_F(UpdateClientTest, ServersComeFromTheSettingsFile) {
  UpdateClient fresh;
  UpdateServers shipped = fresh.Servers();
  EXPECT_NE(shipped.checkService.find(".invalid:8181"), std::string::npos);
  EXPECT_EQ(shipped.fileServer.rfind("https://", 0), 0u);

  const fs::path ini = base_ / "setup/quelnasetup.ini";
  std::ofstream(ini) << "[setup]\nlanguage=1\n[Update]\nCheckServer=http://check.example:8181\n";
  fresh.LoadServerSettings(ini.string());
  EXPECT_EQ(fresh.Servers().checkService, "http://check.example:8181");
  EXPECT_EQ(fresh.Servers().fileServer, shipped.fileServer);  // absent key keeps the default

  // The shipped settings file names both servers.
  const std::string shippedIni = zovtest::SourceDir() + "/setup/quelnasetup.ini";
  EXPECT_EQ(ZovGetPrivateProfileString("update", "checkserver", "", shippedIni), shipped.checkService);
  EXPECT_EQ(ZovGetPrivateProfileString("update", "fileserver", "", shippedIni), shipped.fileServer);
  UpdateClient fromShipped;
  fromShipped.LoadServerSettings(shippedIni);
  EXPECT_EQ(fromShipped.Servers().checkService, shipped.checkService);
  EXPECT_EQ(fromShipped.Servers().fileServer, shipped.fileServer);
}
