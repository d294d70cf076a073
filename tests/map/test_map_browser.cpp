// The browser host in a real Qt WebEngine view: the runtime configuration,
// the client's life span, when script calls run, and the log file.
// The recording page is loaded once for the whole program.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <memory>

#include <QApplication>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <QWidget>

#include "map/zov_client_app.h"
#include "map/zov_client_handler.h"
#include "tests/common/test_paths.h"
#include "tests/common/test_wait.h"

namespace {

std::shared_ptr<ClientApp> g_app;
std::string g_cacheFolder;
std::string g_logFile;
bool g_configuredInTime = false;

// Runs `script` on the view's page and waits for its result.
QVariant Evaluate(QWebEngineView* view, const QString& script) {
  QVariant result;
  bool done = false;
  view->page()->runJavaScript(script, [&](const QVariant& r) {
    result = r;
    done = true;
  });
  EXPECT_TRUE(zovtest::WaitUntil([&] { return done; }, 10000)) << script.toStdString();
  return result;
}

QUrl RecordingPage() {
  return QUrl::fromLocalFile(QString::fromStdString(zovtest::SourceDir() + "/tests/map/recording.html"));
}

TEST(ClientAppFlags, MergeAddsEachSwitchOnce) {
  struct Case {
    const char* existing;
    const char* add;
    const char* expected;
  } cases[] = {
      {"", "--no-sandbox", "--no-sandbox"},
      {"--no-sandbox", "--no-sandbox --no-pings", "--no-sandbox --no-pings"},
      // A user's value of a switch wins over the added one.
      {"--log-level=1", "--log-level=3 --a", "--log-level=1 --a"},
      {"  --x   --y ", "", "--x --y"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClientApp::MergeFlags(c.existing, c.add), c.expected) << c.existing << " + " << c.add;
  }
}

TEST(ClientAppConfigure, AppliedBeforeTheApplicationAndOnlyOnce) {
  EXPECT_TRUE(g_configuredInTime);
  EXPECT_TRUE(QCoreApplication::testAttribute(Qt::AA_ShareOpenGLContexts));
  const std::string flags = std::getenv(ClientApp::kFlagsVariable);
  EXPECT_NE(flags.find("--disable-background-networking"), std::string::npos) << flags;
  EXPECT_EQ(flags.find("--no-sandbox") != std::string::npos, geteuid() == 0) << flags;
  EXPECT_EQ(flags.find("--disable-gpu") != std::string::npos, !ClientApp::HasGpuDevice()) << flags;
  ASSERT_NE(g_app->Profile(), nullptr);
  EXPECT_EQ(g_app->Profile()->cachePath().toStdString(), g_cacheFolder);
  EXPECT_FALSE(g_app->Profile()->isOffTheRecord());
  EXPECT_EQ(ClientApp::Current(), g_app);
  // A second configuration changes nothing.
  auto other = std::make_shared<ClientApp>(1);
  EXPECT_FALSE(other->Configure("/nonexistent/cache", "/nonexistent/cef.log"));
  EXPECT_EQ(ClientApp::Current(), g_app);
  EXPECT_EQ(other->ExecuteProcess(0, nullptr), -1);
}

TEST(ClientHandlerLife, CallsRunOnlyOnTheHeldBrowserInOrderAfterTheLoad) {
  QWidget panel;
  panel.resize(400, 300);
  panel.show();
  ClientHandler handler;
  EXPECT_FALSE(handler.ExecuteJavaScript("Test()")) << "no browser yet";
  EXPECT_FALSE(handler.CreateBrowser(nullptr, QRect(0, 0, 10, 10), RecordingPage()));
  ASSERT_TRUE(handler.CreateBrowser(&panel, QRect(0, 0, 400, 250), RecordingPage()));
  EXPECT_FALSE(handler.CreateBrowser(&panel, QRect(0, 0, 400, 250), RecordingPage()))
      << "one browser per client";
  // Created, but not yet announced: the call is skipped.
  EXPECT_EQ(handler.GetBrowser(), nullptr);
  EXPECT_FALSE(handler.ExecuteJavaScript("Center(9,9)"));

  bool loaded = false;
  QObject::connect(&handler, &ClientHandler::PageLoaded, [&](bool ok) { loaded = ok; });
  ASSERT_TRUE(zovtest::WaitUntil([&] { return handler.GetBrowser() != nullptr; }));
  QWebEngineView* view = handler.GetBrowser();
  EXPECT_EQ(view->parentWidget(), &panel);
  EXPECT_EQ(view->geometry(), QRect(0, 0, 400, 250));
  // Held while the page loads: calls wait and then run in order.
  if (handler.IsLoading()) {
    EXPECT_TRUE(handler.ExecuteJavaScript("Center(1.500000,2.000000)"));
    EXPECT_TRUE(handler.ExecuteJavaScript("Line(0)"));
    EXPECT_EQ(handler.WaitingCalls(), 2);
  }
  ASSERT_TRUE(zovtest::WaitUntil([&] { return loaded; }, 20000));
  EXPECT_EQ(handler.WaitingCalls(), 0);
  EXPECT_TRUE(handler.ExecuteJavaScript("Test()"));
  EXPECT_TRUE(handler.ExecuteJavaScript("console.log('zov probe ' + 6 * 7)"));
  const QStringList calls = Evaluate(view, "window.calls").toStringList();
  EXPECT_EQ(calls, (QStringList{"Center(1.5,2)", "Line(0)", "Test()"}));

  // The page's console goes to the log file.
  EXPECT_TRUE(zovtest::WaitUntil(
      [&] { return zovtest::Slurp(g_logFile).find("zov probe 42") != std::string::npos; }));
  EXPECT_NE(zovtest::Slurp(g_logFile).find(":INFO:CONSOLE("), std::string::npos);

  // No pop-up windows of its own.
  const int topLevels = QApplication::topLevelWidgets().size();
  Evaluate(view, "window.open('about:blank', '_blank'); 1");
  QCoreApplication::processEvents();
  EXPECT_EQ(QApplication::topLevelWidgets().size(), topLevels);

  // Closing: closing is set at once, the browser released when it is gone,
  // and later calls do nothing.
  handler.CloseBrowser();
  EXPECT_TRUE(handler.IsClosing());
  EXPECT_FALSE(handler.ExecuteJavaScript("Test()"));
  ASSERT_TRUE(zovtest::WaitUntil([&] { return handler.GetBrowser() == nullptr; }));
  EXPECT_TRUE(panel.findChildren<QWebEngineView*>().isEmpty());
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const std::string root = zovtest::TempDir();
  g_cacheFolder = root + "/cache/ZovGpsPlay/Cache";
  g_logFile = root + "/config/ZovGpsPlay/cef.log";
  g_app = std::make_shared<ClientApp>(1);
  g_configuredInTime = g_app->Configure(g_cacheFolder, g_logFile);
  QApplication app(argc, argv);
  if (!g_app->Initialize()) {
    std::fprintf(stderr, "browser runtime not initialised\n");
    return 1;
  }
  const int rc = RUN_ALL_TESTS();
  g_app.reset();
  return rc;
}
