// Message round trips of the window system: a send to a window on another thread (the
// caller blocks until the owner answered), a send on the owner's own thread (a direct call),
// and posts drained by the owner's loop.
#include <benchmark/benchmark.h>

#include <thread>

#include "platform/headless/headless_backend.hpp"
#include "platform/headless/headless_dialogs.hpp"
#include "platform/sync.hpp"
#include "platform/window_system.hpp"

namespace {

using namespace platform;

// A window on its own thread that answers kMsgUser with wparam + 1.
class Echo {
 public:
  explicit Echo(WindowSystem& system) : system_(system) {
    system_.register_class("echo", 0, [this](Hwnd h, uint32_t m, uint64_t w, int64_t l) -> int64_t {
      if (m == kMsgUser) return static_cast<int64_t>(w) + 1;
      if (m == kMsgDestroy) system_.post_quit_message(0);
      return system_.default_window_proc(h, m, w, l);
    });
    thread_ = std::thread([this] {
      CreateWindowParams p;
      p.class_name = "echo";
      p.frame = {0, 0, 10, 10};
      hwnd_ = system_.create_window(p);
      ready_.set();
      Message m;
      while (system_.get_message(m)) system_.dispatch_message(m);
      system_.destroy_window(hwnd_);
    });
    ready_.wait(kInfinite);
  }
  ~Echo() {
    system_.post_message(hwnd_, kMsgClose);
    thread_.join();
  }
  Hwnd hwnd() const { return hwnd_; }

 private:
  WindowSystem& system_;
  std::thread thread_;
  Event ready_;
  Hwnd hwnd_ = 0;
};

void BM_SendToAnotherThread(benchmark::State& state) {
  HeadlessBackend backend;
  HeadlessDialogs dialogs;
  WindowSystem system(backend, dialogs);
  Echo echo(system);
  uint64_t v = 0;
  for (auto _ : state) v = static_cast<uint64_t>(system.send_message(echo.hwnd(), kMsgUser, v));
  benchmark::DoNotOptimize(v);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SendToAnotherThread);

void BM_PostThenFlush(benchmark::State& state) {
  HeadlessBackend backend;
  HeadlessDialogs dialogs;
  WindowSystem system(backend, dialogs);
  Echo echo(system);
  const int64_t batch = state.range(0);
  for (auto _ : state) {
    for (int64_t i = 0; i < batch; ++i) system.post_message(echo.hwnd(), kMsgUser, 1);
    system.flush(echo.hwnd(), kInfinite);
  }
  state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_PostThenFlush)->Arg(1000);

}  // namespace

BENCHMARK_MAIN();
