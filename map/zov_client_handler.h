#pragma once
// ClientHandler: the browser client of one map panel. It makes and holds one
// browser (a QWebEngineView child of the panel) and runs the panel's script
// calls on that browser's page.
//
// Life span (user-interface thread only):
//   created (no browser) --CreateBrowser--> being created
//     --OnAfterCreated (from the event loop)--> browser held
//     --CloseBrowser: DoClose sets closing--> closing
//     --the view is destroyed: OnBeforeClose--> released
// Only the first browser made with a client is held. OnBeforeClose releases
// the held browser and ends nothing else (the program goes on running).
//
// How the map panel uses it:
//   handler_ = std::make_unique<ClientHandler>();            // replaces (and closes) the old one
//   if (!handler_->CreateBrowser(this, rect, url)) DebugTrace("CreateBrowser :error   \r\n");
//   handler_->ExecuteJavaScript(QStringLiteral("Center(%1,%2)")...);   // skipped until held
//   if (!handler_->IsClosing()) handler_->CloseBrowser();    // on close
//   handler_->ClearBrowser();                                // in the panel's destructor
//
// Script calls: nothing happens before the browser is held or once it is
// closing. While the page is loading, calls wait and run in their order on
// the loaded page (a call made during the load would otherwise run on the
// document that is being replaced and be lost); a page that fails to load
// drops them. Calls to one page run in the order they were made. A load
// that has not ended after loadTimeoutMs (a remote page on a network that
// accepts and never answers) is stopped, so it ends as a failed load instead
// of holding the calls for ever; when the browser does not end the stopped
// load either within another loadTimeoutMs (a busy browser process), the
// client ends it itself and drops the browser's late end of it.
//
// Page to program: each page gets a ZovPageChannel ("player") through a
// QWebChannel and the script that connects to it (map/zov_page_channel.h);
// what the page asks arrives as this client's signals, on the user-interface
// thread. No pop-ups of its own (new windows are refused), the context menu
// as the browser builds it, JavaScript dialogs as the browser shows them.
#include <QColor>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QUrl>

class QTimer;
class QWidget;
#include <QWebEngineView>
class QWebEnginePage;

class ClientHandler : public QObject {
  Q_OBJECT

 public:
  // Most calls kept while one page loads (a long track is a few thousand).
  static constexpr int kMaxWaitingCalls = 1 << 18;
  // The local pages load in one to three seconds on a busy machine; a remote
  // page that has not loaded in this time is not coming.
  static constexpr int kLoadTimeoutMs = 20000;

  ClientHandler();
  // Closes a browser it still holds (one browser per panel).
  ~ClientHandler() override;

  // Makes the browser: a view child of `parent` at `bounds`, shown, loading
  // `url` with the profile of ClientApp::Current() (the default profile when
  // none is configured). The browser is held once the event loop has run
  // OnAfterCreated. False when this client already made a browser or
  // `parent` is null.
  bool CreateBrowser(QWidget* parent, const QRect& bounds, const QUrl& url);

  // The held browser, or null.
  QWebEngineView* GetBrowser() const { return browser_; }
  bool IsClosing() const { return closing_; }
  // True while the held browser's page is loading.
  bool IsLoading() const { return loading_; }

  // Runs `script` on the page of the held browser (see above). True when the
  // call was run or queued for the loading page.
  bool ExecuteJavaScript(const QString& script);
  // Calls waiting for the page to finish loading.
  int WaitingCalls() const { return static_cast<int>(waiting_.size()); }
  // Time a load may take before it is stopped (tests shorten it).
  void SetLoadTimeoutMs(int ms) { loadTimeoutMs_ = ms; }
  // What the browser shows before its page has drawn (set before CreateBrowser).
  void SetBackground(const QColor& colour) { background_ = colour; }

  // Reloads the page of the held browser.
  void Reload();
  // Loads another page into the held browser; nothing before it is held.
  void LoadUrl(const QUrl& url);
  // Asks the browser to close, not forced: DoClose, then the view goes away
  // and OnBeforeClose releases it.
  void CloseBrowser();
  // Forgets the held browser without closing it (its parent owns the view).
  void ClearBrowser();

  // --- Life-span steps (called by the client itself; public for tests) ----
  void OnAfterCreated(QWebEngineView* browser);
  bool DoClose(QWebEngineView* browser);
  // `browser` is the view being destroyed, by then only a QObject: it is
  // compared as one and never cast back to the view.
  void OnBeforeClose(const QObject* browser);
  // Context menu: the menu stays as built; no command is handled.
  bool OnContextMenuCommand(int /*commandId*/) { return false; }

 signals:
  // The held browser's page finished loading (ok = false when it failed).
  void PageLoaded(bool ok);
  // The page asked to seek the drive near a position (a click on its track).
  void SeekNear(double latitude, double longitude);

 private:
  // Publishes the page's ZovPageChannel and injects the script that reaches it.
  void ConnectChannel(QWebEnginePage* page);
  void OnLoadStarted();
  void OnLoadFinished(bool ok);
  void OnLoadTimedOut();
  // Marks a load as begun and starts its time-out.
  void BeginLoad();
  // The end of the load: the waiting calls run (when it loaded) or are dropped.
  void EndLoad(bool ok);
  void RunNow(const QString& script);

  QPointer<QWebEngineView> made_;     // the view this client made
  QPointer<QWebEngineView> browser_;  // the held browser
  const QObject* heldObject_ = nullptr;  // the same, compared at its destruction
  bool closing_ = false;
  bool loading_ = false;
  // The load timed out and Stop was asked for: a second time-out without
  // the browser's end of load ends it here (a busy browser may never answer).
  bool stopAsked_ = false;
  bool endedHere_ = false;  // so the browser's late end of it is dropped
  QStringList waiting_;               // calls made while the page loads
  QTimer* loadTimer_ = nullptr;       // single shot, child of this client
  int loadTimeoutMs_ = kLoadTimeoutMs;
  QColor background_ = Qt::white;
};
