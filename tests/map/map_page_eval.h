#pragma once
// Runs a script on a view's page and waits for its result, for the map tests
// that read the page's state back.
#include <gtest/gtest.h>

#include <QString>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "tests/common/test_wait.h"

namespace zovtest {

inline QVariant Evaluate(QWebEngineView* view, const QString& script, int timeoutMs = 15000) {
  QVariant result;
  bool done = false;
  view->page()->runJavaScript(script, [&](const QVariant& r) {
    result = r;
    done = true;
  });
  EXPECT_TRUE(WaitUntil([&] { return done; }, timeoutMs)) << script.toStdString();
  return result;
}

}  // namespace zovtest
