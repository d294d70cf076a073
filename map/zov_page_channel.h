#pragma once
// ZovPageChannel: what a map page may ask of the program. The browser host
// publishes one per page through a QWebChannel under the name "player"; the
// script injected into the page (ZovPageChannelScript) connects to it and
// sets window.zovPlayer. The page calls its invokable methods; each turns
// into a signal on the user-interface thread (the channel's transport runs
// there), which the map panel handles.
#include <QObject>
#include <QString>

class ZovPageChannel : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

  // The user clicked a drive's track: the point of the line nearest the
  // click, in signed degrees. Positions that are not finite numbers are
  // dropped here.
  Q_INVOKABLE void seekNear(double latitude, double longitude);

 signals:
  void SeekNear(double latitude, double longitude);
};

// Name of the object in the page's channel.
inline constexpr const char* kZovPageChannelName = "player";

// The script run in every page of a map browser once its document is ready:
// the channel's JavaScript library (from the Qt WebChannel resources) and
// the connection that sets window.zovPlayer. Empty when the library is not
// found (the page then asks nothing of the program).
QString ZovPageChannelScript();
