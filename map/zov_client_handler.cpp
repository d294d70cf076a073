#include "map/zov_client_handler.h"

#include <QTimer>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <QWidget>

#include "map/zov_client_app.h"
#include "map/zov_page_channel.h"

namespace {

// The page of a map browser: reports what the browser says into the log file
// of the ClientApp, and opens no windows of its own.
class ZovMapPage : public QWebEnginePage {
 public:
  ZovMapPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {
    connect(this, &QWebEnginePage::renderProcessTerminated, this,
            [this](RenderProcessTerminationStatus status, int code) {
              LogLine("ERROR", "RENDERER",
                      "render process ended, status " + std::to_string(int(status)) +
                          ", exit code " + std::to_string(code));
            });
    connect(this, &QWebEnginePage::loadFinished, this, [this](bool ok) {
      if (!ok) LogLine("ERROR", "LOAD", "failed to load " + url().toString().toStdString());
    });
  }

 protected:
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                int line, const QString& source) override {
    static const char* const kLevels[] = {"INFO", "WARNING", "ERROR"};
    const int index = (level >= 0 && level <= 2) ? int(level) : 0;
    LogLine(kLevels[index], "CONSOLE(" + std::to_string(line) + ")",
            "\"" + message.toStdString() + "\", source: " + source.toStdString() + " (" +
                std::to_string(line) + ")");
  }
  QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }

 private:
  static void LogLine(const char* level, const std::string& source, const std::string& text) {
    if (auto app = ClientApp::Current()) app->Log(level, source, text);
  }
};

}  // namespace

ClientHandler::ClientHandler() : loadTimer_(new QTimer(this)) {
  loadTimer_->setSingleShot(true);
  connect(loadTimer_, &QTimer::timeout, this, [this] { OnLoadTimedOut(); });
}

ClientHandler::~ClientHandler() {
  if (made_) delete made_.data();
}

bool ClientHandler::CreateBrowser(QWidget* parent, const QRect& bounds, const QUrl& url) {
  if (!parent || made_) return false;
  auto app = ClientApp::Current();
  QWebEngineProfile* profile = app ? app->Profile() : nullptr;
  if (!profile) profile = QWebEngineProfile::defaultProfile();
  auto* view = new QWebEngineView(parent);
  auto* page = new ZovMapPage(profile, view);
  page->setBackgroundColor(background_);
  ConnectChannel(page);
  view->setPage(page);
  view->setGeometry(bounds);
  view->setContextMenuPolicy(Qt::DefaultContextMenu);
  made_ = view;
  connect(page, &QWebEnginePage::loadStarted, this, [this] { OnLoadStarted(); });
  connect(page, &QWebEnginePage::loadFinished, this, [this](bool ok) { OnLoadFinished(ok); });
  // The view going away (its parent destroyed, or CloseBrowser) ends the
  // browser's life.
  connect(view, &QObject::destroyed, this, [this, gone = static_cast<const QObject*>(view)] { OnBeforeClose(gone); });
  view->show();
  BeginLoad();
  page->load(url);
  // The browser is announced from the event loop, as an asynchronous creation.
  QTimer::singleShot(0, this, [this] {
    if (made_) OnAfterCreated(made_);
  });
  return true;
}

void ClientHandler::ConnectChannel(QWebEnginePage* page) {
  // The channel and its object live as long as the page (they are its
  // children); the page's calls reach this client as signals.
  auto* player = new ZovPageChannel(page);
  connect(player, &ZovPageChannel::SeekNear, this, &ClientHandler::SeekNear);
  auto* channel = new QWebChannel(page);
  channel->registerObject(QString::fromLatin1(kZovPageChannelName), player);
  page->setWebChannel(channel);
  const QString source = ZovPageChannelScript();
  if (source.isEmpty()) {
    if (auto app = ClientApp::Current())
      app->Log("ERROR", "CHANNEL", "no web channel library: the map page cannot ask anything");
    return;
  }
  QWebEngineScript script;
  script.setName(QStringLiteral("zov-player-channel"));
  script.setSourceCode(source);
  script.setInjectionPoint(QWebEngineScript::DocumentReady);
  script.setWorldId(QWebEngineScript::MainWorld);
  script.setRunsOnSubFrames(false);
  page->scripts().insert(script);
}

void ClientHandler::OnAfterCreated(QWebEngineView* browser) {
  if (browser_.isNull()) {
    browser_ = browser;
    heldObject_ = browser;
  }
}

bool ClientHandler::DoClose(QWebEngineView* /*browser*/) {
  closing_ = true;
  return false;
}

void ClientHandler::OnBeforeClose(const QObject* browser) {
  if (heldObject_ == browser || browser_.isNull()) {
    browser_ = nullptr;
    heldObject_ = nullptr;
  }
  waiting_.clear();
}

bool ClientHandler::ExecuteJavaScript(const QString& script) {
  if (!browser_ || closing_) return false;
  if (!loading_) {
    RunNow(script);
    return true;
  }
  if (waiting_.size() >= kMaxWaitingCalls) return false;
  waiting_.append(script);
  return true;
}

void ClientHandler::RunNow(const QString& script) { browser_->page()->runJavaScript(script); }

void ClientHandler::BeginLoad() {
  loading_ = true;
  stopAsked_ = false;
  endedHere_ = false;
  loadTimer_->start(loadTimeoutMs_);
}

void ClientHandler::OnLoadStarted() { BeginLoad(); }

void ClientHandler::OnLoadTimedOut() {
  if (!loading_) return;
  if (stopAsked_ || !made_) {
    // The stopped load never ended: it ends here, dropping the waiting calls.
    EndLoad(false);
    endedHere_ = true;
    return;
  }
  stopAsked_ = true;
  loadTimer_->start(loadTimeoutMs_);
  if (auto app = ClientApp::Current())
    app->Log("ERROR", "LOAD",
             "no end of load after " + std::to_string(loadTimeoutMs_) + " ms, stopped: " +
                 made_->page()->requestedUrl().toString().toStdString());
  // The browser ends the stopped load with loadFinished (false when nothing
  // of the page had arrived), which drops or runs the waiting calls.
  made_->page()->triggerAction(QWebEnginePage::Stop);
}

void ClientHandler::OnLoadFinished(bool ok) {
  // The browser's late end of a load this client already ended.
  if (!loading_ && endedHere_) {
    endedHere_ = false;
    return;
  }
  EndLoad(ok);
}

void ClientHandler::EndLoad(bool ok) {
  loading_ = false;
  loadTimer_->stop();
  QStringList calls;
  calls.swap(waiting_);
  if (ok && browser_ && !closing_) {
    for (const QString& c : calls) RunNow(c);
  }
  emit PageLoaded(ok);
}

void ClientHandler::Reload() {
  if (!browser_ || closing_) return;
  BeginLoad();
  browser_->page()->triggerAction(QWebEnginePage::Reload);
}

void ClientHandler::LoadUrl(const QUrl& url) {
  if (!browser_ || closing_) return;
  BeginLoad();
  waiting_.clear();  // calls meant for the page being left
  browser_->page()->load(url);
}

void ClientHandler::CloseBrowser() {
  if (!browser_) return;
  if (DoClose(browser_)) return;
  browser_->hide();
  // Destroyed from the event loop, as the runtime closes a window after
  // DoClose; OnBeforeClose follows from the view's destruction.
  QTimer::singleShot(0, this, [view = QPointer<QWebEngineView>(browser_)] { delete view.data(); });
}

void ClientHandler::ClearBrowser() {
  browser_ = nullptr;
  heldObject_ = nullptr;
}
