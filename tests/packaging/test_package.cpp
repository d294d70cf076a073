// The Debian package as a user gets it: unpacked into a clean root
// (dpkg-deb -x), its files where the desktop looks for them, its programs
// answering on the command line, and the installed player playing the demo
// recording under the virtual X server. Prints the time from the start of
// the installed player and of the staged one to their first picture.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QSet>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/common/test_paths.h"
#include "tests/common/test_wait.h"

namespace {

namespace fs = std::filesystem;

std::string BuildDir() {
  const char* build = std::getenv("ZOV_BUILD_DIR");
  return build ? build : ".";
}

// Runs a command to its end; its standard output and error.
QString RunCommand(const QString& program, const QStringList& args, int* exitCode = nullptr) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(120000)) p.kill();
  if (exitCode) *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  return QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
}

// The package of this build, unpacked once for all tests of this program.
class Package : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (const auto& entry : fs::directory_iterator(BuildDir() + "/packages"))
      if (entry.path().extension() == ".deb") deb_ = entry.path().string();
    ASSERT_FALSE(deb_.empty()) << "no package in " << BuildDir() << "/packages (run the test package.deb)";
    root_ = zovtest::TempDir() + "/root";
    int code = -1;
    const QString log = RunCommand("dpkg-deb", {"-x", QString::fromStdString(deb_), QString::fromStdString(root_)}, &code);
    ASSERT_EQ(code, 0) << log.toStdString();
  }
  static std::string Root(const std::string& path) { return root_ + path; }
  static QString Field(const char* name) {
    return RunCommand("dpkg-deb", {"-f", QString::fromStdString(deb_), name}).trimmed();
  }

  static inline std::string deb_;
  static inline std::string root_;
};

TEST_F(Package, HoldsTheInstallationTheDesktopEntryAndTheDocuments) {
  const std::string base = "/usr/lib/zovgpsplay";
  for (const std::string& file :
       {base + "/tamarin", base + "/bin/tamarinsoft", base + "/bin/libzovQuelnaResource.so",
        base + "/bin/libQORGPS.so", base + "/setup/quelnasetup.ini", base + "/setup/map/lib/leaflet.js",
        base + "/setup/map/lib/basemap.js", base + "/setup/map/lib/basemap-10m.js",
        std::string("/usr/share/applications/tamarinsoft.desktop"),
        std::string("/usr/share/icons/hicolor/scalable/apps/tamarinsoft.svg"),
        std::string("/usr/share/icons/hicolor/48x48/apps/tamarinsoft.png"),
        std::string("/usr/share/metainfo/org.zovgpsplay.player.metainfo.xml"),
        std::string("/usr/share/doc/zovgpsplay/copyright"), std::string("/usr/share/doc/zovgpsplay/changelog.gz")}) {
    EXPECT_TRUE(fs::is_regular_file(Root(file))) << file;
  }
  // Every program on the path is a link into the installation and has its
  // manual page; zovlib is there when its tool is part of the build.
  for (const char* program : {"tamarinsoft", "zovgps", "zovplay", "zovlib"}) {
    const std::string link = Root(std::string("/usr/bin/") + program);
    if (std::string(program) == "zovlib" && !fs::exists(zovtest::BinDir() + "/zovlib")) continue;
    ASSERT_TRUE(fs::is_symlink(link)) << program;
    EXPECT_EQ(fs::read_symlink(link), fs::path("../lib/zovgpsplay/bin") / program);
    EXPECT_TRUE(fs::is_regular_file(link)) << program << " link resolves";
    EXPECT_TRUE(fs::is_regular_file(Root(std::string("/usr/share/man/man1/") + program + ".1.gz"))) << program;
  }
  // The desktop entry starts the installed player.
  const std::string entry = zovtest::Slurp(Root("/usr/share/applications/tamarinsoft.desktop"));
  EXPECT_NE(entry.find("Exec=\"" + base + "/bin/tamarinsoft\" %F"), std::string::npos) << entry;
  // The copyright file names every bundled third-party file with its licence.
  const std::string copyright = zovtest::Slurp(Root("/usr/share/doc/zovgpsplay/copyright"));
  for (const char* needle : {"Leaflet", "BSD-2-clause", "Natural Earth", "public-domain", "world-atlas", "ISC",
                             "setup/map/lib/basemap.js", "setup/map/lib/basemap-10m.js", "setup/map/lib/leaflet.js"})
    EXPECT_NE(copyright.find(needle), std::string::npos) << needle;
}

TEST_F(Package, DependsOnWhatItLinksAndWhatItStarts) {
  const QString depends = Field("Depends");
  // From dpkg-shlibdeps: the media, window and sound libraries.
  for (const char* library : {"libavcodec59", "libavformat59", "libavfilter8", "libqt6widgets6",
                              "libqt6webenginecore6", "libasound2", "libcurl4", "libc6"})
    EXPECT_TRUE(depends.contains(QLatin1String(library))) << library << " in " << depends.toStdString();
  // Named by hand: the browser's helper process.
  EXPECT_TRUE(depends.contains(QLatin1String("libqt6webenginecore6-bin"))) << depends.toStdString();
  EXPECT_TRUE(Field("Recommends").contains(QLatin1String("qt6-translations-l10n")));
  EXPECT_EQ(Field("Package"), "zovgpsplay");
  EXPECT_EQ(Field("Section"), "video");
  // The programs are stripped: no debug sections.
  const QString sections = RunCommand("readelf", {"-S", QString::fromStdString(Root("/usr/lib/zovgpsplay/bin/tamarinsoft"))});
  EXPECT_FALSE(sections.contains(QLatin1String(".debug_info")));
}

TEST_F(Package, InstalledProgramsAnswerOnTheCommandLine) {
  const struct {
    const char* program;
    QStringList args;
    int code;
    const char* output;
  } cases[] = {
      {"tamarinsoft", {"--version"}, 0, "tamarinsoft V1.01.06."},
      {"tamarinsoft", {"--help"}, 0, "usage: tamarinsoft"},
      {"tamarinsoft", {"-h"}, 0, "--version"},
      {"tamarinsoft", {"--bogus", "x.mp4"}, 2, "unknown option --bogus"},
      {"zovgps", {"--version"}, 0, "zovgps"},
      {"zovplay", {"--help"}, 0, "usage: zovplay"},
  };
  for (const auto& c : cases) {
    int code = -1;
    const QString out = RunCommand(QString::fromStdString(Root(std::string("/usr/bin/") + c.program)), c.args, &code);
    EXPECT_EQ(code, c.code) << c.program << " " << c.args.join(' ').toStdString() << ": " << out.toStdString();
    EXPECT_TRUE(out.contains(QLatin1String(c.output))) << c.program << ": " << out.toStdString();
  }
}

// Distinct colours in `area` of `shot`, sampled every 7 pixels.
int Colours(const QImage& shot, const QRect& area) {
  QSet<QRgb> colours;
  for (int y = area.top(); y < area.bottom(); y += 7)
    for (int x = area.left(); x < area.right(); x += 7) colours.insert(shot.pixel(x, y));
  return colours.size();
}

// Starts `program` on the demo recording with a home of its own and waits
// until its video area shows moving pictures: two grabs of the playing
// picture that differ. Returns the milliseconds from the start to the first
// picture, or -1.
qint64 MillisecondsToFirstPicture(const std::string& program, QString* log) {
  const std::string home = zovtest::TempDir();
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("HOME", QString::fromStdString(home));
  env.insert("XDG_CONFIG_HOME", QString::fromStdString(home + "/config"));
  env.insert("XDG_CACHE_HOME", QString::fromStdString(home + "/cache"));
  env.insert("XDG_RUNTIME_DIR", QString::fromStdString(home));
  env.insert("ZOV_ONLINE", "0");
  env.insert("ZOV_AUDIO_DEVICE", "null");
  env.remove("LD_LIBRARY_PATH");
  QProcess player;
  player.setProcessEnvironment(env);
  QElapsedTimer clock;
  clock.start();
  player.start(QString::fromStdString(program), {QString::fromStdString(BuildDir() + "/demo/demo.mp4")});

  const QRect video(20, 60, 880, 500);  // the video area above the play window
  qint64 firstPicture = -1;
  QImage first;
  bool moving = false;
  zovtest::WaitUntil(
      [&] {
        if (player.state() == QProcess::NotRunning) return true;
        const QStringList ids = RunCommand("xdotool", {"search", "--maxdepth", "1", "--onlyvisible", "--pid",
                                                QString::number(player.processId())})
                                    .split('\n', Qt::SkipEmptyParts);
        for (const QString& id : ids) {
          const QImage shot = QGuiApplication::primaryScreen()->grabWindow(id.trimmed().toULongLong()).toImage();
          if (shot.width() < 1000 || Colours(shot, video) <= 5) continue;
          if (firstPicture < 0) {
            firstPicture = clock.elapsed();
            first = shot.copy(video);
          } else if (shot.copy(video) != first) {
            moving = true;
          }
        }
        return moving;
      },
      60000);
  *log = QString::fromLocal8Bit(player.readAllStandardOutput() + player.readAllStandardError());
  if (player.state() != QProcess::NotRunning) {
    player.terminate();
    if (!player.waitForFinished(10000)) player.kill();
    player.waitForFinished(5000);
  }
  return moving ? firstPicture : -1;
}

TEST_F(Package, InstalledPlayerPlaysTheDemoAsFastAsTheBuild) {
  ASSERT_TRUE(fs::is_regular_file(BuildDir() + "/demo/demo.mp4"));
  QString log;
  const qint64 installed = MillisecondsToFirstPicture(Root("/usr/bin/tamarinsoft"), &log);
  ASSERT_GT(installed, 0) << "the installed player showed no moving picture:\n" << log.toStdString();
  const qint64 staged = MillisecondsToFirstPicture(zovtest::BinDir() + "/tamarinsoft", &log);
  ASSERT_GT(staged, 0) << "the staged player showed no moving picture:\n" << log.toStdString();
  std::printf("start to first picture: installed %lld ms, staged %lld ms\n", static_cast<long long>(installed),
              static_cast<long long>(staged));
  // Both read the same files from the same disk; a package that made the
  // player look for something it lacks (a library, the map pages) would
  // show in a far slower start.
  EXPECT_LT(installed, 3 * staged + 5000);
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
