#include "toolkit/gk_callbacks.hpp"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>

#include "platform/thread.hpp"
#include "toolkit/gk_wndproc.hpp"
#include "toolkit_fixture.hpp"

namespace {

using platform::Event;
using toolkit_test::HeadlessToolkit;

// Bound of every wait in these tests: long enough never to fire on a healthy run.
constexpr int32_t kWaitMs = 5000;

class GkCallbacks : public HeadlessToolkit {
 protected:
  // Runs `body` on a thread and tells whether it ended within the bound. A body that hangs is
  // released by waking the current window's idle event, so the test can fail instead of hang.
  bool ends_in_time(std::function<void()> body) {
    auto t = platform::Thread::create(
        [body] {
          body();
          return 0u;
        },
        false);
    const bool ended = t->ended().wait(kWaitMs);
    if (!ended) gk::stopidle();
    if (t->ended().wait(kWaitMs)) t->join();
    return ended;
  }
  // Tells whether a waiting thread ended within the bound. One that did not is woken through
  // `wake` so that it can still finish (it is joined only once it has ended).
  bool ends_or_is_released(platform::Thread& t, Event& wake) {
    const bool ended = t.ended().wait(kWaitMs);
    if (!ended) wake.set();
    if (t.ended().wait(kWaitMs)) t.join();
    return ended;
  }
  // Adds a button entry with `callback` to window `index` and returns its (made-up) handle.
  platform::Hwnd add_button(int32_t index, gk::Callback callback) {
    auto rec = record(index);
    EXPECT_TRUE(rec->control_table_lock.lock(kWaitMs));
    const platform::Hwnd control = 0x7000 + rec->buttons.count;
    rec->buttons.handles.push_back(control);
    rec->buttons.callbacks.push_back(std::move(callback));
    ++rec->buttons.count;
    rec->control_table_lock.unlock();
    return control;
  }
  void press(int32_t index, platform::Hwnd control) {
    system.post_message(handle(index), platform::kMsgCommand, 0, static_cast<int64_t>(control));
  }
};

TEST_F(GkCallbacks, StopIdleTwiceWakesLoopOnce) {
  ASSERT_EQ(gk::initwindow(40, 20, "idle", 0, 0, 0, 0), 0);
  EXPECT_NE(gk::stopidle(), 0);
  EXPECT_NE(gk::stopidle(), 0);
  EXPECT_TRUE(ends_in_time([] { gk::loop(); }));  // the wake-up is pending
  EXPECT_FALSE(record(0)->idle_event.is_set());   // a second loop would block
}

TEST_F(GkCallbacks, EveryIdleWaiterWakesWhenTheWindowCloses) {
  ASSERT_EQ(gk::initwindow(40, 20, "idle", 0, 0, 0, 0), 0);
  auto rec = record(0);
  constexpr int32_t kWaiters = 3;
  Event all_started;
  std::atomic<int32_t> started{0};
  std::vector<std::shared_ptr<platform::Thread>> waiters;
  for (int32_t i = 0; i < kWaiters; ++i)
    waiters.push_back(platform::Thread::create(
        [&] {
          if (++started == kWaiters) all_started.set();
          gk::loop();
          return 0u;
        },
        false));
  ASSERT_TRUE(all_started.wait(kWaitMs));
  // Closed through its close box, the window stays current: a waiter that comes late finds
  // it gone and returns at once.
  user.press_close_box(handle(0));
  for (int32_t i = 0; i < kWaiters; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(ends_or_is_released(*waiters[i], rec->idle_event));
  }
}

TEST_F(GkCallbacks, StartIdleTimesOutOrConsumesAPendingStop) {
  ASSERT_EQ(gk::initwindow(40, 20, "idle", 0, 0, 0, 0), 0);
  using Clock = std::chrono::steady_clock;
  auto t0 = Clock::now();
  gk::startidle(10);
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0);
  EXPECT_GE(waited.count(), 9);
  EXPECT_LT(waited.count(), kWaitMs);

  gk::stopidle();
  t0 = Clock::now();
  gk::startidle(kWaitMs);  // returns at once and consumes the stop
  EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(kWaitMs / 2));
  EXPECT_FALSE(record(0)->idle_event.is_set());
}

TEST_F(GkCallbacks, CallbackRunsOnItsOwnThreadAndKnowsItsWindow) {
  ASSERT_EQ(gk::initwindow(40, 20, "zero", 0, 0, 0, 0), 0);
  ASSERT_EQ(gk::initwindow(40, 20, "one", 0, 0, 0, 0), 1);
  std::atomic<platform::ThreadId> ran_on{0};
  std::atomic<int32_t> signalling{-2};
  std::atomic<platform::Hwnd> origin{0};
  Event done;
  const platform::Hwnd button = add_button(0, [&] {
    ran_on = platform::current_thread_id();
    signalling = gk::getsignallingwindow();
    origin = gk::current_callback() ? gk::current_callback()->control : 0;
    done.set();
  });
  EXPECT_EQ(gk::getcurrentwindow(), 1);  // another window is current
  press(0, button);
  ASSERT_TRUE(done.wait(kWaitMs));
  EXPECT_NE(ran_on, platform::current_thread_id());
  EXPECT_NE(ran_on, record(0)->window_thread_id.load());
  EXPECT_EQ(signalling, 0);
  EXPECT_EQ(origin, button);
  EXPECT_EQ(gk::getsignallingwindow(), 0);  // the creating thread is listed with window 0 first
  EXPECT_EQ(gk::current_callback(), nullptr);
}

TEST_F(GkCallbacks, WindowPaintsWhileACallbackRuns) {
  ASSERT_EQ(gk::initwindow(40, 20, "busy", 0, 0, 0, 0), 0);
  Event started, release;
  struct Release {
    Event& e;
    ~Release() {
      e.set();
      gk::join_callback_threads();  // the callback uses this test's events
    }
  } releaser{release};
  const platform::Hwnd button = add_button(0, [&] {
    started.set();
    release.wait(kWaitMs);
  });
  press(0, button);
  ASSERT_TRUE(started.wait(kWaitMs));
  auto rec = record(0);
  {
    std::lock_guard<platform::CriticalSection> g(rec->dc_lock);
    rec->pages[0].at(3, 4) = 0xABCDEF;
  }
  system.invalidate(handle(0), nullptr);
  ASSERT_TRUE(user.settle(handle(0)));
  EXPECT_EQ(user.shown(handle(0)).at(3, 4), 0xABCDEFu);
}

TEST_F(GkCallbacks, OverlappingCallbacksEachSeeTheirOwnControl) {
  ASSERT_EQ(gk::initwindow(40, 20, "two", 0, 0, 0, 0), 0);
  std::atomic<int32_t> arrived{0};
  Event all_in;
  std::atomic<platform::Hwnd> seen_a{0}, seen_b{0};
  auto body = [&](std::atomic<platform::Hwnd>& seen) {
    return [&] {
      if (++arrived == 2) all_in.set();
      all_in.wait(kWaitMs);  // both callbacks are running now
      all_in.set();          // let the other one through too
      seen = gk::current_callback()->control;
    };
  };
  const platform::Hwnd a = add_button(0, body(seen_a));
  const platform::Hwnd b = add_button(0, body(seen_b));
  press(0, a);
  press(0, b);
  ASSERT_TRUE(user.settle(handle(0)));
  gk::join_callback_threads();
  EXPECT_EQ(seen_a, a);
  EXPECT_EQ(seen_b, b);
}

TEST_F(GkCallbacks, ButtonPressedTwiceRunsTwoThreads) {
  ASSERT_EQ(gk::initwindow(40, 20, "twice", 0, 0, 0, 0), 0);
  std::mutex m;
  std::vector<platform::ThreadId> threads;
  const platform::Hwnd button = add_button(0, [&] {
    std::lock_guard<std::mutex> g(m);
    threads.push_back(platform::current_thread_id());
  });
  press(0, button);
  press(0, button);
  ASSERT_TRUE(user.settle(handle(0)));
  gk::join_callback_threads();
  ASSERT_EQ(threads.size(), 2u);
  EXPECT_NE(threads[0], threads[1]);
  // Creator, window thread, two callback threads.
  std::lock_guard<std::mutex> g(record(0)->state_lock);
  EXPECT_EQ(record(0)->thread_list.size(), 4u);
}

TEST_F(GkCallbacks, MenuCommandRunsItsHandler) {
  ASSERT_EQ(gk::initwindow(40, 20, "menu", 0, 0, 0, 0), 0);
  auto rec = record(0);
  std::atomic<int32_t> item{-5};
  Event done;
  {
    std::lock_guard<std::mutex> g(rec->state_lock);
    rec->menu_handlers = {nullptr, [&] {
                            item = gk::current_callback()->menu_item;
                            done.set();
                          }};
    rec->menu_handler_count = 2;
  }
  system.post_message(handle(0), platform::kMsgCommand, 7, 0);  // beyond the handlers: nothing
  system.post_message(handle(0), platform::kMsgCommand, 1, 0);
  ASSERT_TRUE(done.wait(kWaitMs));
  EXPECT_EQ(item, 1);
  gk::join_callback_threads();
  ASSERT_TRUE(user.settle(handle(0)));
  EXPECT_EQ(system.send_message(handle(0), gk::kMsgGetMenuHandlerId), -1);
}

TEST_F(GkCallbacks, PruningDropsEndedThreadsPastTheThreshold) {
  ASSERT_EQ(gk::initwindow(40, 20, "prune", 0, 0, 0, 0), 0);
  auto rec = record(0);
  const platform::Hwnd button = add_button(0, [] {});
  auto list = [&] {
    std::lock_guard<std::mutex> g(rec->state_lock);
    return rec->thread_list;
  };
  auto press_and_wait = [&] {
    press(0, button);
    ASSERT_TRUE(user.settle(handle(0)));
    gk::join_callback_threads();
  };
  for (int32_t i = 0; i < 18; ++i) press_and_wait();
  EXPECT_EQ(list().size(), 20u);  // up to 20 ids nothing is pruned
  size_t largest = 0;
  for (int32_t i = 0; i < 40; ++i) {
    press_and_wait();
    largest = std::max(largest, list().size());
  }
  EXPECT_LE(largest, 21u);  // the ended threads are dropped once more than 10 have ended
  const auto ids = list();
  ASSERT_GE(ids.size(), 2u);
  EXPECT_EQ(ids[0], platform::current_thread_id());  // the creator and the window thread stay
  EXPECT_EQ(ids[1], rec->window_thread_id.load());
}

TEST_F(GkCallbacks, MutexesLockWithTimeoutAndCheckTheOwner) {
  EXPECT_EQ(gk::createmutex(), 0);
  EXPECT_EQ(gk::createmutex(), 1);
  EXPECT_EQ(gk::lockmutex(7, 0), 0);  // unknown ids
  EXPECT_EQ(gk::lockmutex(-1, 0), 0);
  gk::unlockmutex(7);

  ASSERT_EQ(gk::lockmutex(1, -1), 1);
  struct Results {
    std::atomic<int32_t> now{-1}, later{-1};
    Event tried;
  };
  auto r = std::make_shared<Results>();  // shared: outlives the test if the thread hangs
  auto other = platform::Thread::create(
      [r] {
        r->now = gk::lockmutex(1, 0);
        gk::unlockmutex(1);  // not the holder: nothing happens
        r->tried.set();
        r->later = gk::lockmutex(1, -1);
        gk::unlockmutex(1);
        return 0u;
      },
      false);
  ASSERT_TRUE(r->tried.wait(kWaitMs));
  EXPECT_EQ(r->now, 0);
  EXPECT_FALSE(other->ended().wait(20));  // still waiting for the mutex
  gk::unlockmutex(1);                     // the holder can still release it
  ASSERT_TRUE(other->ended().wait(kWaitMs));
  other->join();
  EXPECT_EQ(r->later, 1);
  EXPECT_EQ(gk::lockmutex(1, 0), 1);
  gk::unlockmutex(1);
}

TEST_F(GkCallbacks, CloseRoadWithSystemCloseCallbacks) {
  ASSERT_EQ(gk::initwindow(40, 20, "current", 0, 0, 0, 0), 0);
  ASSERT_EQ(gk::initwindow(40, 20, "closing", 0, 0, 0, 0), 1);
  std::atomic<int32_t> answer{0}, asked{0}, closed{0};
  gk::setwindowsystemclosecallback([&] {
    ++asked;
    return answer.load();
  });
  gk::setwindowclosecallback([&] { ++closed; });
  auto closing = record(1);
  gk::setcurrentwindow(0);

  user.press_close_box(handle(1));  // refused
  ASSERT_TRUE(user.settle(handle(1)));
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(closed, 0);
  EXPECT_TRUE(system.is_window(handle(1)));

  answer = 1;
  user.press_close_box(handle(1));
  ASSERT_TRUE(user.settle(handle(1)));
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(closed, 1);
  EXPECT_FALSE(system.is_window(closing->hwnd));
  EXPECT_TRUE(closing->idle_event.is_set());
  EXPECT_FALSE(record(0)->idle_event.is_set());  // the current window's event is left alone
  EXPECT_EQ(gk::getcurrentwindow(), 0);
}

TEST_F(GkCallbacks, KeysReachTheKeyBuffer) {
  ASSERT_EQ(gk::initwindow(40, 20, "keys", 0, 0, 0, 0), 0);
  auto rec = record(0);
  user.press_key(handle(0), platform::kVkUp);
  user.type_text(handle(0), "\xC3\xA9");  // e acute
  user.press_key(handle(0), platform::kVkF10);
  ASSERT_TRUE(user.settle(handle(0)));
  const int32_t expected[] = {0, 72, 0xE9, 0, 68};
  for (int32_t code : expected) EXPECT_EQ(gk::take_key(*rec, false), code);
  EXPECT_EQ(static_cast<int8_t>(0xE9), -23);
  EXPECT_EQ(gk::take_key(*rec, false), -1);
}

TEST_F(GkCallbacks, KeyBufferKeepsExtendedKeysWhole) {
  ASSERT_EQ(gk::initwindow(40, 20, "full", 0, 0, 0, 0), 0);
  auto rec = record(0);
  for (int32_t i = 0; i < 510; ++i) gk::cls_OnChar(*rec, 'x');
  gk::queue_extended_key(*rec, platform::kVkUp);  // needs two places, one is left
  EXPECT_EQ(rec->keys.count(), 510);
  gk::cls_OnChar(*rec, 'y');
  gk::cls_OnChar(*rec, 'z');  // full: dropped
  EXPECT_EQ(rec->keys.count(), 511);
}

TEST_F(GkCallbacks, WaitingForAKeyEndsWhenTheWindowCloses) {
  ASSERT_EQ(gk::initwindow(40, 20, "gone", 0, 0, 0, 0), 0);
  auto rec = record(0);
  auto got = std::make_shared<std::atomic<int32_t>>(-5);
  auto waiter = platform::Thread::create(
      [rec, got] {
        *got = gk::take_key(*rec, true);
        return 0u;
      },
      false);
  gk::closewindow(0);
  ASSERT_TRUE(waiter->ended().wait(kWaitMs));
  waiter->join();
  EXPECT_EQ(*got, 0);
}

TEST_F(GkCallbacks, EveryKeyWaiterWakesWhenTheWindowCloses) {
  ASSERT_EQ(gk::initwindow(40, 20, "gone", 0, 0, 0, 0), 0);
  auto rec = record(0);
  constexpr int32_t kWaiters = 3;
  auto got = std::make_shared<std::array<std::atomic<int32_t>, kWaiters>>();
  std::vector<std::shared_ptr<platform::Thread>> waiters;
  for (int32_t i = 0; i < kWaiters; ++i) {
    (*got)[i] = -5;
    waiters.push_back(platform::Thread::create(
        [rec, got, i] {
          (*got)[i] = gk::take_key(*rec, true);
          return 0u;
        },
        false));
  }
  gk::closewindow(0);
  for (int32_t i = 0; i < kWaiters; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(ends_or_is_released(*waiters[i], rec->key_event));
    EXPECT_EQ((*got)[i], 0);
  }
}

}  // namespace

namespace {

TEST_F(GkCallbacks, EnterInATextBoxRunsItsCallback) {
  ASSERT_EQ(gk::initwindow(40, 20, "enter", 0, 0, 0, 0), 0);
  auto rec = record(0);
  Event done;
  std::atomic<platform::Hwnd> origin{0};
  const platform::Hwnd box = 0x9000;
  ASSERT_TRUE(rec->control_table_lock.lock(kWaitMs));
  rec->text_boxes.handles.push_back(box);
  rec->text_boxes.callbacks.push_back([&] {
    origin = gk::current_callback()->control;
    done.set();
  });
  rec->text_boxes.count = 1;
  rec->control_table_lock.unlock();
  system.post_message(handle(0), gk::kMsgTextBoxEnter, 0, static_cast<int64_t>(box));
  ASSERT_TRUE(done.wait(kWaitMs));
  EXPECT_EQ(origin, box);
  gk::join_callback_threads();
}

}  // namespace
