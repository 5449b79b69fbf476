#include "platform/message_queue.hpp"

#include <memory>
#include <utility>

#include "numerics/thread_held.hpp"
#include "platform/sync.hpp"

namespace platform {
namespace {

// Set once the calling thread's queue is released (a plain flag, so it can still be read then).
thread_local bool holder_gone = false;

// The calling thread's queue, held by thread_held (not a thread-local object with a destructor,
// which a window thread started short of memory could not register), closed and released when
// the thread ends.
struct Holder {
  std::shared_ptr<ThreadQueue> queue;
  ~Holder() {
    if (queue) queue->close();
    queue.reset();
    holder_gone = true;
  }
};

void discard(const Message& m) {
  if (m.message == kMsgSync) complete_sync(m);
}

}  // namespace

void complete_sync(const Message& marker) {
  auto* event = reinterpret_cast<std::shared_ptr<Event>*>(marker.lparam);
  (*event)->set();
  delete event;
}

std::shared_ptr<ThreadQueue> ThreadQueue::current() {
  // A thread whose queue was released as it ended may still send: each such call gets a queue
  // of its own.
  if (holder_gone) return std::make_shared<ThreadQueue>(current_thread_id());
  Holder& held = thread_held::mine<Holder>();
  if (!held.queue) held.queue = std::make_shared<ThreadQueue>(current_thread_id());
  return held.queue;
}

ThreadQueue::~ThreadQueue() {
  for (const Message& m : posted_) discard(m);
}

bool ThreadQueue::post(const Message& message) {
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (closed_) return false;
    posted_.push_back(message);
  }
  changed_.notify_all();
  return true;
}

bool ThreadQueue::post_next(const Message& message) {
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (closed_) return false;
    posted_.push_front(message);
  }
  changed_.notify_all();
  return true;
}

bool ThreadQueue::add_sent(std::shared_ptr<SentMessage> sent) {
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (closed_) return false;
    sent_.push_back(std::move(sent));
  }
  changed_.notify_all();
  return true;
}

void ThreadQueue::add_paint(Hwnd window) {
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (closed_) return;
    paint_.insert(window);
  }
  changed_.notify_all();
}

void ThreadQueue::post_quit(int32_t code) {
  {
    std::lock_guard<std::mutex> g(mutex_);
    quit_ = true;
    quit_code_ = code;
  }
  changed_.notify_all();
}

void ThreadQueue::wake() {
  { std::lock_guard<std::mutex> g(mutex_); }
  changed_.notify_all();
}

void ThreadQueue::complete(SentMessage& sent, int64_t result) {
  ThreadQueue& q = *sent.sender;
  {
    std::lock_guard<std::mutex> g(q.mutex_);
    sent.result = result;
    sent.done = true;
  }
  q.changed_.notify_all();
}

std::shared_ptr<SentMessage> ThreadQueue::take_sent() {
  std::lock_guard<std::mutex> g(mutex_);
  if (sent_.empty()) return nullptr;
  auto s = std::move(sent_.front());
  sent_.pop_front();
  return s;
}

bool ThreadQueue::take_posted(Message& out) {
  std::lock_guard<std::mutex> g(mutex_);
  if (posted_.empty()) return false;
  out = posted_.front();
  posted_.pop_front();
  return true;
}

bool ThreadQueue::take_paint(Hwnd& out) {
  std::lock_guard<std::mutex> g(mutex_);
  if (paint_.empty()) return false;
  out = *paint_.begin();
  paint_.erase(paint_.begin());
  return true;
}

bool ThreadQueue::has_paint() const {
  std::lock_guard<std::mutex> g(mutex_);
  return !paint_.empty();
}

bool ThreadQueue::has_sent() const {
  std::lock_guard<std::mutex> g(mutex_);
  return !sent_.empty();
}

bool ThreadQueue::take_quit(int32_t& code) {
  std::lock_guard<std::mutex> g(mutex_);
  if (!quit_) return false;
  quit_ = false;
  code = quit_code_;
  return true;
}

bool ThreadQueue::has_work_locked() const {
  return !sent_.empty() || !posted_.empty() || !paint_.empty() || quit_;
}

void ThreadQueue::wait_work() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return has_work_locked(); });
}

bool ThreadQueue::wait_answer(const SentMessage& sent) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return sent.done || !sent_.empty(); });
  return sent.done;
}

void ThreadQueue::close() {
  std::deque<std::shared_ptr<SentMessage>> waiting;
  std::deque<Message> posted;
  {
    std::lock_guard<std::mutex> g(mutex_);
    closed_ = true;
    waiting.swap(sent_);
    posted.swap(posted_);
    paint_.clear();
  }
  for (auto& s : waiting) complete(*s, 0);  // nobody will answer them now
  for (const Message& m : posted) discard(m);
}

}  // namespace platform
