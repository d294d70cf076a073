// Media queue rules: audio gating, counts, fill limits, draining, flush.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "engine/zov_media_queue.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace {

ZovMediaItemPtr Item(int type, int timeMs = 0) {
  auto item = std::make_unique<ZovMediaItem>();
  item->type = type;
  item->timeMs = timeMs;
  return item;
}

// An item carrying a real frame and packet, so a missing release shows up
// as a leak under the sanitizer build.
ZovMediaItemPtr LoadedItem(int type) {
  ZovMediaItemPtr item = Item(type);
  item->frame.reset(av_frame_alloc());
  item->frame->format = AV_PIX_FMT_GRAY8;
  item->frame->width = 16;
  item->frame->height = 16;
  EXPECT_EQ(av_frame_get_buffer(item->frame.get(), 0), 0);
  item->packet.reset(av_packet_alloc());
  EXPECT_EQ(av_new_packet(item->packet.get(), 64), 0);
  return item;
}

TEST(ZovMediaItem, NewItemIsUnclassifiedAndEmpty) {
  ZovMediaItem item;
  EXPECT_EQ(item.type, -1);
  EXPECT_EQ(item.sequence, -1);
  EXPECT_EQ(item.timeMs, 0);
  EXPECT_EQ(item.frame, nullptr);
  EXPECT_EQ(item.packet, nullptr);
}

TEST(ZovMediaQueue, AudioBeforeFirstVideoIsReleasedNotQueued) {
  CZovMediaQueue q;
  q.Push(LoadedItem(kZovItemAudio));
  q.Push(LoadedItem(kZovItemAudio));
  EXPECT_EQ(q.AudioCount(), 0);
  EXPECT_EQ(q.PopAudio(), nullptr);
  q.Push(LoadedItem(kZovItemVideo));
  q.Push(LoadedItem(kZovItemAudio));
  EXPECT_EQ(q.VideoCount(), 1);
  EXPECT_EQ(q.AudioCount(), 1);
  // Sequence numbers count every push, the released ones too.
  ZovMediaItemPtr a = q.PopAudio();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->sequence, 3);
}

TEST(ZovMediaQueue, FlushReleasesEverythingAndGatesAudioAgain) {
  CZovMediaQueue q;
  q.Push(LoadedItem(kZovItemVideo));
  q.Push(LoadedItem(kZovItemAudio));
  q.Push(LoadedItem(kZovItemVideo));
  EXPECT_EQ(q.TotalCount(), 3);
  q.Flush();
  EXPECT_EQ(q.TotalCount(), 0);
  EXPECT_EQ(q.PopVideo(), nullptr);
  EXPECT_EQ(q.audioEnabled, 0);
  q.Push(LoadedItem(kZovItemAudio));
  EXPECT_EQ(q.AudioCount(), 0) << "audio queued after a flush before any picture";
  q.Push(LoadedItem(kZovItemVideo));
  q.Push(LoadedItem(kZovItemAudio));
  EXPECT_EQ(q.AudioCount(), 1);
}

TEST(ZovMediaQueue, ListsKeepPushOrderAndCounts) {
  CZovMediaQueue q;
  for (int i = 0; i < 5; ++i) {
    q.Push(Item(kZovItemVideo, i * 33));
    q.Push(Item(kZovItemAudio, i * 21));
  }
  EXPECT_EQ(q.VideoCount(), 5);
  EXPECT_EQ(q.AudioCount(), 5);
  EXPECT_EQ(q.PeekVideo()->timeMs, 0);
  EXPECT_EQ(q.VideoCount(), 5) << "peek removed the item";
  for (int i = 0; i < 5; ++i) {
    ZovMediaItemPtr v = q.PopVideo();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->timeMs, i * 33);
    EXPECT_EQ(v->sequence, i * 2);
  }
  EXPECT_EQ(q.PopVideo(), nullptr);
  EXPECT_EQ(q.VideoCount(), 0);
  EXPECT_EQ(q.PopVideo(), nullptr);
  EXPECT_EQ(q.VideoCount(), 0);
  EXPECT_EQ(q.AudioCount(), 5);
  // Appending after the list ran empty starts a new list.
  q.Push(Item(kZovItemVideo, 999));
  ZovMediaItemPtr v = q.PopVideo();
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->timeMs, 999);
}

TEST(ZovMediaQueue, OtherTypesAreNeitherQueuedNorReleased) {
  CZovMediaQueue q;
  ZovMediaItemPtr other = q.Push(LoadedItem(kZovItemUnclassified));
  EXPECT_EQ(q.TotalCount(), 0);
  ASSERT_NE(other, nullptr);  // handed back: the caller owns it
  EXPECT_NE(other->packet, nullptr);
  EXPECT_EQ(other->sequence, 0);
}

TEST(ZovMediaQueue, AcceptingDropsAtEightyItems) {
  CZovMediaQueue q;
  EXPECT_EQ(q.accepting, 1);
  q.Push(Item(kZovItemVideo));
  for (int i = 1; i < 79; ++i) q.Push(Item(i % 2 ? kZovItemAudio : kZovItemVideo));
  EXPECT_EQ(q.TotalCount(), 79);
  EXPECT_EQ(q.accepting, 1);
  q.Push(Item(kZovItemAudio));
  EXPECT_EQ(q.TotalCount(), 80);
  EXPECT_EQ(q.accepting, 0);
  q.PopAudio();
  EXPECT_EQ(q.accepting, 0) << "accepting only changes on push or SetAccepting";
  q.Push(Item(kZovItemVideo));
  EXPECT_EQ(q.accepting, 0);
  q.PopVideo();
  q.PopVideo();
  q.Push(Item(kZovItemVideo));
  EXPECT_EQ(q.TotalCount(), 79);
  EXPECT_EQ(q.accepting, 1);
}

TEST(ZovMediaQueue, NeedsDataBelowThirtyUntilDraining) {
  CZovMediaQueue q;
  EXPECT_TRUE(q.NeedsData()) << "an empty new queue makes the scheduler wait";
  for (int i = 0; i < 29; ++i) q.Push(Item(kZovItemVideo));
  EXPECT_TRUE(q.NeedsData());
  q.Push(Item(kZovItemVideo));
  EXPECT_FALSE(q.NeedsData());
  for (int i = 0; i < 28; ++i) q.PopVideo();
  EXPECT_TRUE(q.NeedsData());
  // The player saw the end: the last two items are played out.
  q.draining = 1;
  EXPECT_FALSE(q.NeedsData());
  // Any push clears draining.
  q.Push(Item(kZovItemVideo));
  EXPECT_EQ(q.draining, 0);
  EXPECT_TRUE(q.NeedsData());
  q.SetAccepting(0);
  EXPECT_FALSE(q.NeedsData());
  q.SetAccepting(1);
  EXPECT_TRUE(q.NeedsData());
}

// What the read-ahead decision sees: bytes of frames and packets, the media
// time from the first picture to the last, and the filled mark that ends the
// scheduler's wait until the pictures run out.
TEST(ZovMediaQueue, LoadCountsBytesAndSpanAndFilledEndsTheWait) {
  CZovMediaQueue q;
  const int64_t itemBytes = ZovItemBytes(*LoadedItem(kZovItemVideo));
  EXPECT_GE(itemBytes, 16 * 16 + 64) << "a 16x16 grey frame and a 64-byte packet";
  for (int t : {0, 33, 66, 100}) {
    ZovMediaItemPtr item = LoadedItem(kZovItemVideo);
    item->timeMs = t;
    q.Push(std::move(item));
  }
  q.Push(LoadedItem(kZovItemAudio));
  ZovListLoad video = q.VideoLoad();
  EXPECT_EQ(video.count, 4);
  EXPECT_EQ(video.bytes, 4 * itemBytes);
  EXPECT_EQ(video.spanMs, 100);
  EXPECT_EQ(q.AudioLoad().bytes, itemBytes) << "sound is counted in its own list";
  EXPECT_EQ(q.AudioLoad().spanMs, 0) << "one item spans no time";

  EXPECT_TRUE(q.NeedsData());
  q.SetFilled();
  EXPECT_FALSE(q.NeedsData()) << "a full read-ahead of five items is enough";
  q.PopVideo();
  video = q.VideoLoad();
  EXPECT_EQ(video.bytes, 3 * itemBytes);
  EXPECT_EQ(video.spanMs, 67);
  EXPECT_FALSE(q.NeedsData()) << "taking pictures does not make the scheduler wait";
  q.PopVideo();
  q.PopVideo();
  q.PopVideo();
  EXPECT_EQ(q.VideoLoad().bytes, 0);
  EXPECT_TRUE(q.NeedsData()) << "the pictures ran out: wait for a refill";
  q.SetFilled();
  q.Flush();
  EXPECT_TRUE(q.NeedsData()) << "a flush waits for a new read-ahead";
  EXPECT_EQ(q.AudioLoad().bytes, 0);

  // At the end of the recording the last picture going is no refill.
  q.Push(LoadedItem(kZovItemVideo));
  q.SetFilled();
  q.endState = kZovQueueAtEnd;
  q.PopVideo();
  EXPECT_EQ(q.filled, 1);

  // Times that step back (damage) count as no span, not a negative one.
  q.Flush();
  for (int t : {500, 100}) q.Push(Item(kZovItemVideo, t));
  EXPECT_EQ(q.VideoLoad().spanMs, 0);
}

TEST(ZovMediaQueue, CloneFrontVideoFrameIsIndependentOfTheQueue) {
  CZovMediaQueue q;
  EXPECT_EQ(q.CloneFrontVideoFrame(), nullptr);
  q.Push(LoadedItem(kZovItemVideo));
  AVFrameUPtr copy = q.CloneFrontVideoFrame();
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->width, 16);
  q.Flush();  // the queue's frame is gone; the copy stays usable
  copy->data[0][0] = 7;
  EXPECT_EQ(copy->data[0][0], 7);
}

TEST(ZovMediaQueue, ProducerAndConsumerThreadsKeepOrder) {
  CZovMediaQueue q;
  constexpr int kItems = 20000;
  std::thread producer([&] {
    for (int i = 0; i < kItems; ++i) q.Push(Item(kZovItemVideo, i));
  });
  int expected = 0;
  bool ordered = true;
  while (expected < kItems) {
    ZovMediaItemPtr v = q.PopVideo();
    if (!v) {
      std::this_thread::yield();
      continue;
    }
    if (v->timeMs != expected || v->sequence != expected) ordered = false;
    ++expected;
  }
  producer.join();
  EXPECT_TRUE(ordered);
  EXPECT_EQ(q.VideoCount(), 0);
}

}  // namespace
