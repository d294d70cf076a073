// The directory in a program without an application object (tools, tests of
// other folders): deliveries on the caller's own thread still work, and a
// target on another thread is refused without a leak.
#include <gtest/gtest.h>

#include <thread>

#include "shell/zov_wnd_manager.h"

namespace {

class Counter : public CZovMsgObject {
 public:
  int codes = 0;
  int bytes = 0;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == ZOVWM_INFO_E) {
      const ZovMsgData* data = ZovMsgRecord(lParam);
      codes += static_cast<int>(wParam);
      bytes += data ? static_cast<int>(data->payload.size()) : 0;
    }
    return 7;
  }
};

TEST(DirectoryWithoutApplication, OwnThreadDeliveryAndRefusals) {
  const int live = ZovMsgData::LiveCount().load();
  CZovWndManager m;
  Counter c;
  m.Register(kZovFileListViewName, &c);
  int index = 3;
  m.SendData(kZovFileListViewName, ZOV_CODE_PLAYING_INDEX, sizeof index, &index);
  EXPECT_EQ(c.codes, ZOV_CODE_PLAYING_INDEX);
  EXPECT_EQ(c.bytes, 4);
  EXPECT_EQ(m.SendTo(kZovFileListViewName, ZOVWM_LISTSELECT, 0, 1), 7);
  // No event loop can be woken on this thread from another one.
  std::thread([&] {
    m.SendData(kZovFileListViewName, ZOV_CODE_STOPPED, sizeof index, &index);
    EXPECT_EQ(m.SendTo(kZovFileListViewName, ZOVWM_LISTSELECT, 0, 1), 0);
  }).join();
  EXPECT_EQ(c.codes, ZOV_CODE_PLAYING_INDEX);
  EXPECT_EQ(ZovMsgData::LiveCount().load(), live);
}

}  // namespace
