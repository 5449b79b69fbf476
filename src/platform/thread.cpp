#include "platform/thread.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <unordered_set>

#include "numerics/thread_held.hpp"

namespace platform {
namespace {

std::atomic<ThreadId> next_id{1};

// Ids of the threads that exist and have not ended. Never destroyed: threads end while the
// program's exit handlers run, and each one unregisters itself then.
std::mutex& live_lock() {
  static auto* m = new std::mutex;
  return *m;
}
std::unordered_set<ThreadId>& live_ids() {
  static auto* ids = new std::unordered_set<ThreadId>;
  return *ids;
}

void mark_live(ThreadId id, bool live) {
  std::lock_guard<std::mutex> g(live_lock());
  if (live)
    live_ids().insert(id);
  else
    live_ids().erase(id);
}

// The calling thread's id (a plain value, read on every call), unregistered when the thread
// ends by a Registered held by thread_held, which a thread started short of memory fails to
// make as any allocation fails.
thread_local ThreadId identity = 0;

struct Registered {
  ThreadId id = 0;
  ~Registered() {
    if (id != 0) mark_live(id, false);
  }
};

void set_identity(ThreadId id) {
  thread_held::mine<Registered>().id = id;
  identity = id;
}

}  // namespace

ThreadId current_thread_id() {
  if (identity == 0) {
    set_identity(next_id.fetch_add(1));
    mark_live(identity, true);
  }
  return identity;
}

bool thread_running(ThreadId id) {
  if (id == 0) return false;
  std::lock_guard<std::mutex> g(live_lock());
  return live_ids().count(id) != 0;
}

std::shared_ptr<Thread> Thread::create(Body body, bool suspended) {
  std::shared_ptr<Thread> t(new Thread());
  t->state_ = std::make_shared<State>();
  t->state_->id = next_id.fetch_add(1);
  mark_live(t->state_->id, true);
  if (!suspended) t->state_->gate.set();
  try {
    t->thread_ = std::thread([state = t->state_, body = std::move(body)] {
      set_identity(state->id);
      state->gate.wait(kInfinite);
      state->exit_code = body();
      state->ended.set();
    });
  } catch (const std::system_error&) {
    mark_live(t->state_->id, false);
    return nullptr;
  }
  return t;
}

Thread::~Thread() {
  if (thread_.joinable()) thread_.detach();
}

void Thread::join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void sleep_ms(int32_t ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace platform
