// The message queue of one thread.
//
// Each thread has one queue, made on first use. Other threads add to it: messages sent to one
// of the thread's windows (the sender blocks until the owner has processed them), posted
// messages, windows that need painting, and the quit request. The owner takes them out in the
// order sent, posted, paint, quit (see WindowSystem::get_message).
//
// When the thread ends, its queue is closed: messages still waiting for an answer get 0, and
// later sends and posts fail at once.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>

#include "platform/messages.hpp"
#include "platform/thread_id.hpp"

namespace platform {

class WindowSystem;
class ThreadQueue;

// Signals and frees the event a kMsgSync marker carries (dispatched, or dropped because its
// window or thread is gone: either way everything posted before it has been dealt with).
void complete_sync(const Message& marker);

// A message sent to another thread's window, waiting for its answer.
struct SentMessage {
  WindowSystem* system = nullptr;
  Message message;
  std::shared_ptr<ThreadQueue> sender;  // whose lock guards `done` and `result`
  int64_t result = 0;
  bool done = false;
};

class ThreadQueue {
 public:
  explicit ThreadQueue(ThreadId owner) : owner_(owner) {}
  ~ThreadQueue();

  // The calling thread's queue.
  static std::shared_ptr<ThreadQueue> current();

  ThreadId owner() const { return owner_; }

  // From any thread; false when the owner thread has ended.
  bool post(const Message& message);
  // Posts ahead of everything already posted (the character of a key being handled).
  bool post_next(const Message& message);
  bool add_sent(std::shared_ptr<SentMessage> sent);
  void add_paint(Hwnd window);
  void post_quit(int32_t code);
  void wake();  // makes a waiting owner look again (after a window state change)

  // Stores the answer of a sent message and wakes its sender.
  static void complete(SentMessage& sent, int64_t result);

  // Owner side. `take_*` return false when there is nothing of that kind.
  std::shared_ptr<SentMessage> take_sent();
  bool take_posted(Message& out);
  bool take_paint(Hwnd& out);
  bool has_paint() const;
  bool has_sent() const;
  bool take_quit(int32_t& code);
  // Waits until anything arrives.
  void wait_work();
  // A sender's wait: until `sent` (sent by this thread) is answered, or a message is sent to
  // this thread meanwhile (which the sender must serve, so that two threads sending to each
  // other cannot deadlock). true when answered.
  bool wait_answer(const SentMessage& sent);
  // Ends the queue: answers every waiting sent message with 0, refuses later work.
  void close();

 private:
  bool has_work_locked() const;

  const ThreadId owner_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<SentMessage>> sent_;
  std::deque<Message> posted_;
  std::set<Hwnd> paint_;  // windows that may need painting (checked when taken)
  bool quit_ = false;
  int32_t quit_code_ = 0;
  bool closed_ = false;
};

}  // namespace platform
