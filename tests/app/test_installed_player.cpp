// The real program in its own process: the staged build/base/bin/tamarinsoft
// and a copy installed by `cmake --install` (with DESTDIR) each start under
// the virtual X server, show their window (grabbed and read), and end with
// exit code 0 and no crash output when Esc is pressed.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QSet>

#include <filesystem>
#include <string>

#include "tests/common/test_paths.h"
#include "tests/common/test_wait.h"

namespace {

namespace fs = std::filesystem;

// The strip colour of the skin (resource 10114): seen only when the player
// found its resource library.
const QColor kStrip(24, 26, 30);

// Output that must never appear when the player ends.
const QRegularExpression kCrashText(
    QStringLiteral("Sanitizer|runtime error|Segmentation|Aborted|core dumped|terminate called|"
                   ":FATAL:|:ERROR:|QObject::~QObject|Release of profile requested"));

// Runs a command to its end; its standard output.
QString RunCommand(const QString& program, const QStringList& args, int* exitCode = nullptr,
            const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(program, args);
  p.waitForFinished(120000);
  if (exitCode) *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  return QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
}

class PlayerProcess {
 public:
  explicit PlayerProcess(const std::string& program, const QStringList& args = {}) {
    const std::string home = zovtest::TempDir();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", QString::fromStdString(home));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(home + "/config"));
    env.insert("XDG_CACHE_HOME", QString::fromStdString(home + "/cache"));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(home));
    env.insert("ZOV_ONLINE", "0");
    env.insert("ZOV_TRACE", "1");
    env.insert("ZOV_AUDIO_DEVICE", "null");
    env.remove("LD_LIBRARY_PATH");  // the program finds its libraries itself
    proc_.setProcessEnvironment(env);
    proc_.start(QString::fromStdString(program), args);
  }
  ~PlayerProcess() {
    if (proc_.state() != QProcess::NotRunning) {
      proc_.kill();
      proc_.waitForFinished(5000);
    }
  }

  // The player's main window (its largest visible top-level window; the
  // file list's bar is a small one of its own), once it is mapped.
  QString WaitForWindow() {
    QString id;
    zovtest::WaitUntil(
        [&] {
          if (proc_.state() == QProcess::NotRunning) return true;
          const QStringList ids = RunCommand("xdotool", {"search", "--maxdepth", "1", "--onlyvisible", "--pid",
                                                         QString::number(proc_.processId())})
                                      .split('\n', Qt::SkipEmptyParts);
          long best = 0;
          for (const QString& candidate : ids) {
            const QString shell = RunCommand("xdotool", {"getwindowgeometry", "--shell", candidate.trimmed()});
            const auto w = QRegularExpression("WIDTH=(\\d+)").match(shell).captured(1).toLong();
            const auto h = QRegularExpression("HEIGHT=(\\d+)").match(shell).captured(1).toLong();
            if (w * h > best && w >= 1000) {
              best = w * h;
              id = candidate.trimmed();
            }
          }
          return !id.isEmpty();
        },
        30000);
    return id;
  }

  // Sends Esc to the window and waits for the end. True when it ended.
  bool PressEscape(const QString& window) {
    RunCommand("xdotool", {"windowfocus", "--sync", window});
    RunCommand("xdotool", {"key", "Escape"});
    return proc_.waitForFinished(20000);
  }

  // Clicks the window at `at` (window coordinates) and waits for the end.
  bool Click(const QString& window, QPoint at) {
    RunCommand("xdotool", {"mousemove", "--window", window, QString::number(at.x()), QString::number(at.y())});
    RunCommand("xdotool", {"click", "1"});
    return proc_.waitForFinished(20000);
  }

  QProcess& Process() { return proc_; }
  QString Output() { return QString::fromLocal8Bit(proc_.readAllStandardOutput() + proc_.readAllStandardError()); }

 private:
  QProcess proc_;
};

// Grabs the window until its strip shows (the first paint may still be on
// its way).
QImage GrabPainted(const QString& window) {
  QImage shot;
  zovtest::WaitUntil(
      [&] {
        shot = QGuiApplication::primaryScreen()->grabWindow(window.toULongLong()).toImage();
        return !shot.isNull() && shot.width() > 600 && shot.pixelColor(600, 5) == kStrip;
      },
      15000);
  return shot;
}

// The window as a user sees it: strip, title buttons, the black video side,
// a right panel that is not the video side.
void CheckWindow(const QImage& shot) {
  ASSERT_EQ(shot.size(), QSize(1280, 760));
  EXPECT_EQ(shot.pixelColor(600, 5), kStrip);
  int glyph = 0;  // the close button (10135) draws over the strip
  for (int y = 4; y < 32; ++y)
    for (int x = 1246; x < 1274; ++x) glyph += shot.pixelColor(x, y) != kStrip;
  EXPECT_GT(glyph, 40);
  EXPECT_EQ(shot.pixelColor(300, 200), QColor(Qt::black));
  EXPECT_NE(shot.pixelColor(1100, 400), QColor(Qt::black));
}

// Distinct colours in `area` of `shot`, sampled every 7 pixels.
int Colours(const QImage& shot, const QRect& area) {
  QSet<QRgb> colours;
  for (int y = area.top(); y < area.bottom(); y += 7)
    for (int x = area.left(); x < area.right(); x += 7) colours.insert(shot.pixel(x, y));
  return colours.size();
}

// Waits until the browser has drawn the map page below the dials.
bool WaitForMapPage(const QString& window) {
  return zovtest::WaitUntil(
      [&] {
        const QImage now = QGuiApplication::primaryScreen()->grabWindow(window.toULongLong()).toImage();
        return Colours(now, QRect(950, 280, 200, 160)) > 3;
      },
      30000);
}

// The player has ended by itself with exit code 0 and printed no crash or
// browser error; its output.
QString ExpectEndedCleanly(PlayerProcess& player) {
  const QString output = player.Output();
  EXPECT_EQ(player.Process().exitStatus(), QProcess::NormalExit) << output.toStdString();
  EXPECT_EQ(player.Process().exitCode(), 0) << output.toStdString();
  EXPECT_FALSE(output.contains(kCrashText)) << output.toStdString();
  return output;
}

void RunAndEnd(const std::string& program, const std::string& expectedSettings) {
  PlayerProcess player(program);
  const QString window = player.WaitForWindow();
  ASSERT_FALSE(window.isEmpty()) << player.Output().toStdString();
  const QImage shot = GrabPainted(window);
  CheckWindow(shot);
  // Esc once the browser runs: the map page is drawn below the dials.
  EXPECT_TRUE(WaitForMapPage(window)) << "the map page was not drawn";
  ASSERT_TRUE(player.PressEscape(window));
  const QString output = ExpectEndedCleanly(player);
  // The start trace names the browser log in the settings folder it uses.
  EXPECT_TRUE(output.contains(QString::fromStdString("zov start:" + expectedSettings + "cef.log")))
      << output.toStdString();
}

TEST(InstalledPlayer, StagedPlayerStartsShowsItsWindowAndEndsOnEsc) {
  const fs::path base = fs::path(zovtest::BinDir()).parent_path();
  RunAndEnd(zovtest::BinDir() + "/tamarinsoft", base.string() + "/setup/");
}

TEST(InstalledPlayer, CloseButtonEndsAtOnceWithCodeZeroWhileTheMapPageRuns) {
  PlayerProcess player(zovtest::BinDir() + "/tamarinsoft");
  const QString window = player.WaitForWindow();
  ASSERT_FALSE(window.isEmpty()) << player.Output().toStdString();
  ASSERT_FALSE(GrabPainted(window).isNull());
  // Wait until the browser has drawn the map page in the right panel.
  EXPECT_TRUE(WaitForMapPage(window)) << "the map page was not drawn";
  // The close button (rectangle 10135 of the skin).
  ASSERT_TRUE(player.Click(window, QPoint(1260, 18)));
  ExpectEndedCleanly(player);
}

TEST(InstalledPlayer, RecordingOnTheCommandLinePlaysBesideTheMapPage) {
  const char* build = std::getenv("ZOV_BUILD_DIR");
  ASSERT_NE(build, nullptr);
  const QString demo = QString::fromLocal8Bit(build) + "/demo/demo.mp4";
  ASSERT_TRUE(QFileInfo::exists(demo));
  // The recording starts while the map page's browser is being made: the
  // video panes' windows must survive the browser joining the main window.
  PlayerProcess player(zovtest::BinDir() + "/tamarinsoft", {demo});
  const QString window = player.WaitForWindow();
  ASSERT_FALSE(window.isEmpty()) << player.Output().toStdString();
  QImage shot;
  const bool both = zovtest::WaitUntil(
      [&] {
        if (player.Process().state() == QProcess::NotRunning) return true;
        shot = QGuiApplication::primaryScreen()->grabWindow(window.toULongLong()).toImage();
        // The video area above the play window; the map below the dials.
        return shot.width() == 1280 && Colours(shot, QRect(20, 60, 880, 500)) > 5 &&
               Colours(shot, QRect(950, 280, 200, 160)) > 3;
      },
      40000);
  ASSERT_EQ(player.Process().state(), QProcess::Running) << player.Output().toStdString();
  EXPECT_TRUE(both) << "video or map not drawn";
  ASSERT_TRUE(player.Click(window, QPoint(1260, 18)));
  ExpectEndedCleanly(player);
}

TEST(InstalledPlayer, InstallLaysOutTheWholeInstallationAndTheInstalledPlayerRuns) {
  const char* build = std::getenv("ZOV_BUILD_DIR");
  ASSERT_NE(build, nullptr);
  const std::string dest = zovtest::TempDir();
  const std::string prefix = "/opt/zov gps play";  // a blank in the path, as users have them
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("DESTDIR", QString::fromStdString(dest));
  int code = -1;
  const QString log = RunCommand("cmake", {"--install", build, "--prefix", QString::fromStdString(prefix)}, &code, env);
  ASSERT_EQ(code, 0) << log.toStdString();

  const std::string root = dest + prefix;
  for (const char* file :
       {"tamarin", "bin/tamarinsoft", "bin/libzovQuelnaResource.so", "bin/libQORGPS.so", "setup/quelnasetup.ini",
        "share/applications/tamarinsoft.desktop", "share/icons/hicolor/scalable/apps/tamarinsoft.svg",
        "share/icons/hicolor/16x16/apps/tamarinsoft.png", "share/icons/hicolor/256x256/apps/tamarinsoft.png"}) {
    EXPECT_TRUE(fs::is_regular_file(root + "/" + file)) << file;
  }
  EXPECT_TRUE(fs::is_directory(root + "/res"));
  EXPECT_TRUE(fs::exists(root + "/setup/map")) << "map pages";

  // The desktop entry names the player where it will live (not under DESTDIR).
  const std::string desktop = root + "/share/applications/tamarinsoft.desktop";
  const std::string entry = zovtest::Slurp(desktop);
  EXPECT_NE(entry.find("Exec=\"" + prefix + "/bin/tamarinsoft\" %F\n"), std::string::npos) << entry;
  EXPECT_EQ(entry.find(dest), std::string::npos) << entry;
  for (const char* type : {"video/mp4", "video/quicktime", "video/mp2t", "video/x-msvideo", "video/x-matroska",
                           "application/vnd.rn-realmedia", "audio/mpeg"}) {
    EXPECT_NE(entry.find(type), std::string::npos) << type;
  }
  const QString verdict = RunCommand("desktop-file-validate", {QString::fromStdString(desktop)}, &code);
  EXPECT_EQ(code, 0) << verdict.toStdString();
  EXPECT_TRUE(verdict.trimmed().isEmpty()) << verdict.toStdString();
  // The PNG sizes are what their folders say.
  EXPECT_EQ(QImage(QString::fromStdString(root + "/share/icons/hicolor/48x48/apps/tamarinsoft.png")).size(),
            QSize(48, 48));

  RunAndEnd(root + "/bin/tamarinsoft", root + "/setup/");
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
