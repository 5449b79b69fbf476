#include "toolkit/gk_callbacks.hpp"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "platform/thread.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/gk_wndproc.hpp"

namespace gk {
namespace {

constexpr int32_t kCallbackLockWaitMs = 1000;

thread_local const CallbackOrigin* running_origin = nullptr;

// Callback threads not yet known to have ended (so a clean end can wait for them).
std::mutex callback_threads_lock;
std::vector<std::shared_ptr<platform::Thread>> callback_threads;

// Callback threads of each control still running its callback, so that removing a control
// can wait for them.
std::mutex control_runs_lock;
std::condition_variable control_runs_done;
std::unordered_map<Hwnd, int32_t> control_runs;
// Callbacks waiting in wait_control_callbacks: a callback of the key control waits for the
// callbacks of the value control (guarded by control_runs_lock).
std::unordered_multimap<Hwnd, Hwnd> control_waits;

// Whether a callback of `from` waits, directly or through others, for the callbacks of `to`.
bool waits_for(Hwnd from, Hwnd to) {
  std::vector<Hwnd> todo{from};
  std::unordered_set<Hwnd> seen;
  while (!todo.empty()) {
    const Hwnd c = todo.back();
    todo.pop_back();
    if (c == to) return true;
    if (!seen.insert(c).second) continue;
    const auto [first, last] = control_waits.equal_range(c);
    for (auto it = first; it != last; ++it) todo.push_back(it->second);
  }
  return false;
}

void control_run_begins(Hwnd control) {
  if (control == 0) return;
  std::lock_guard<std::mutex> g(control_runs_lock);
  ++control_runs[control];
}

void control_run_ends(Hwnd control) {
  if (control == 0) return;
  {
    std::lock_guard<std::mutex> g(control_runs_lock);
    auto it = control_runs.find(control);
    if (it != control_runs.end() && --it->second <= 0) control_runs.erase(it);
  }
  control_runs_done.notify_all();
}

// The mutex table: ids are positions; entries never move (deque of pointers).
std::mutex master_mutex;
std::deque<std::unique_ptr<platform::OwnedMutex>> mutex_table;

void keep_thread(std::shared_ptr<platform::Thread> t) {
  std::lock_guard<std::mutex> g(callback_threads_lock);
  std::erase_if(callback_threads, [](const auto& c) { return c->has_ended(); });
  callback_threads.push_back(std::move(t));
}

// Starts `body` on a new thread registered with the window before it runs; the thread tells
// the window when the body has returned.
void start_thread(const WindowRef& record, std::function<void()> body, CallbackOrigin origin) {
  platform::WindowSystem* system = window_system;
  // Counted before the thread exists, so a removal that follows the firing waits for it.
  control_run_begins(origin.control);
  auto thread = platform::Thread::create(
      [record, body = std::move(body), origin, system]() -> uint32_t {
        running_origin = &origin;
        body();
        running_origin = nullptr;
        control_run_ends(origin.control);
        system->post_message(record->hwnd, kMsgCallbackDone, 0, 0);
        return 0;
      },
      true);
  if (!thread) {  // no thread could be had: nothing runs
    control_run_ends(origin.control);
    return;
  }
  WndRegisterThread(thread->id(), *record);
  // Kept before it runs, so that joining the callback threads cannot miss it.
  keep_thread(thread);
  thread->resume();
}

platform::OwnedMutex* find_mutex(int32_t id) {
  std::lock_guard<std::mutex> g(master_mutex);
  if (id < 0 || id >= static_cast<int32_t>(mutex_table.size())) return nullptr;
  return mutex_table[id].get();
}

}  // namespace

const CallbackOrigin* current_callback() { return running_origin; }

// Waits on the idle event of `rec`. A window that goes away wakes every thread waiting on it,
// not just one: the wake-up is passed on.
void wait_idle(WindowData& rec, int32_t timeout) {
  if (rec.idle_event.wait(timeout) && !rec.alive) rec.idle_event.set();
}

void loop() {
  auto rec = GK__GetWindowDataPtr(0);
  if (rec) wait_idle(*rec, platform::kInfinite);
}

void startidle(int32_t timeout) {
  auto rec = GK__GetWindowDataPtr(0);
  if (rec) wait_idle(*rec, timeout < 0 ? platform::kInfinite : timeout);
}

int32_t stopidle() {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec) return 0;
  rec->idle_event.set();
  return 1;
}

int32_t getsignallingwindow() {
  const ThreadId me = platform::current_thread_id();
  std::vector<Hwnd> handles;
  {
    std::lock_guard<std::mutex> g(table_lock);
    handles = GK__WindowTable;
  }
  for (size_t i = 0; i < handles.size(); ++i) {
    if (handles[i] == 0) continue;
    auto rec = std::static_pointer_cast<WindowData>(window_system->user_data(handles[i]));
    if (!rec) continue;
    std::lock_guard<std::mutex> g(rec->state_lock);
    if (std::find(rec->thread_list.begin(), rec->thread_list.end(), me) != rec->thread_list.end())
      return static_cast<int32_t>(i);
  }
  return -1;
}

void WndRegisterThread(ThreadId thread_id, WindowData& record) {
  std::lock_guard<std::mutex> g(record.state_lock);
  record.thread_list.push_back(thread_id);
}

void WndRegisterCurrentThread(WindowData& record) {
  WndRegisterThread(platform::current_thread_id(), record);
}

void WndDeRegisterThread(ThreadId thread_id, WindowData& record) {
  std::lock_guard<std::mutex> g(record.state_lock);
  auto it = std::find(record.thread_list.begin(), record.thread_list.end(), thread_id);
  if (it != record.thread_list.end()) *it = 0;
}

void WndCleanThreads(WindowData& record) {
  std::lock_guard<std::mutex> g(record.state_lock);
  auto& list = record.thread_list;
  if (list.size() == 2) return;
  std::vector<ThreadId> running;
  for (ThreadId id : list)
    if (platform::thread_running(id)) running.push_back(id);
  const size_t ended = list.size() - running.size();
  if (ended > static_cast<size_t>(kPruneEnded)) list = std::move(running);
}

int32_t cls_OnCommandSimpleGeneric(const WindowRef& record,
                                   Hwnd control,
                                   ControlTable WindowData::*table) {
  // Steps 1-3: find the control and record it as the running one.
  if (!record->control_table_lock.lock(kCallbackLockWaitMs)) return 0;  // the command is dropped
  const ControlTable& t = (*record).*table;
  const auto it = std::find(t.handles.begin(), t.handles.end(), control);
  if (control == 0 || it == t.handles.end()) {
    record->control_table_lock.unlock();
    return 0;
  }
  const size_t slot = static_cast<size_t>(it - t.handles.begin());
  Callback callback = slot < t.callbacks.size() ? t.callbacks[slot] : Callback();
  record->running_control = control;
  record->control_table_lock.unlock();
  // Step 4.
  if (callback) start_callback(record, std::move(callback), CallbackOrigin{control, -1});
  return 1;
}

void start_callback(const WindowRef& record, Callback callback, CallbackOrigin origin) {
  start_thread(record, std::move(callback), origin);
}

void start_scroll_callback(const WindowRef& record,
                           ScrollCallback by_value,
                           ScrollCallbackRef by_reference,
                           int32_t position,
                           Hwnd control) {
  start_thread(
      record,
      [by_value = std::move(by_value), by_reference = std::move(by_reference), position]() mutable {
        if (by_value) by_value(position);
        if (by_reference) by_reference(&position);
      },
      CallbackOrigin{control, -1});
}

void wait_control_callbacks(Hwnd control) {
  const CallbackOrigin* me = current_callback();
  if (control == 0 || (me && me->control == control)) return;  // it would wait for itself
  const auto ended = [&] { return control_runs.count(control) == 0; };
  std::unique_lock<std::mutex> g(control_runs_lock);
  if (!me || me->control == 0) {
    control_runs_done.wait(g, ended);
    return;
  }
  // Two callbacks removing each other's controls would wait for each other for ever: the
  // second to ask does not wait (the first waits for it to end).
  if (waits_for(control, me->control)) return;
  const auto edge = control_waits.emplace(me->control, control);
  control_runs_done.wait(g, ended);
  control_waits.erase(edge);
}

void join_callback_threads() {
  std::vector<std::shared_ptr<platform::Thread>> threads;
  {
    std::lock_guard<std::mutex> g(callback_threads_lock);
    threads.swap(callback_threads);
  }
  // Without a time limit: a callback thread left running would go on using the window
  // system, which the caller is about to detach or destroy.
  for (auto& t : threads) t->join();
}

int32_t createmutex() {
  std::lock_guard<std::mutex> g(master_mutex);
  mutex_table.push_back(std::make_unique<platform::OwnedMutex>());
  return static_cast<int32_t>(mutex_table.size()) - 1;
}

int32_t lockmutex(int32_t id, int32_t timeout) {
  platform::OwnedMutex* m = find_mutex(id);
  if (!m) return 0;  // not an id createmutex gave
  return m->lock(timeout < 0 ? platform::kInfinite : timeout) ? 1 : 0;
}

void unlockmutex(int32_t id) {
  platform::OwnedMutex* m = find_mutex(id);
  if (m) m->unlock();  // a thread that does not hold it changes nothing
}

void reset_mutexes() {
  std::lock_guard<std::mutex> g(master_mutex);
  mutex_table.clear();
}

void delay(int32_t ms) { platform::sleep_ms(ms); }

}  // namespace gk
