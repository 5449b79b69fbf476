#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/image/bmp.hpp"
#include "support/temp_dir.hpp"
#include "toolkit/dib.hpp"
#include "toolkit/mouse.hpp"
#include "toolkit_fixture.hpp"

namespace gk {
namespace {

class DibFile : public toolkit_test::HeadlessToolkit {};

TEST_F(DibFile, LoadReadsAFileAndReportsAMissingOne) {
  const testsupport::TempDir dir;
  const auto path = dir.file("varqen_loaddib.bmp");
  platform::Page page(3, 2);
  page.fill(0x123456);
  ASSERT_TRUE(platform::write_bmp24(path, page));
  Dib dib = LoadDIB(path.c_str());
  ASSERT_NE(dib, nullptr);
  EXPECT_EQ(DIBWidth(*dib), 3);
  EXPECT_TRUE(dialogs.shown().empty());
  std::filesystem::remove(path);
  EXPECT_EQ(LoadDIB(path.c_str()), nullptr);
  const auto boxes = dialogs.shown();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, "Error");
  EXPECT_EQ(boxes[0].text, "Cannot read image " + path + ": No such file or directory");
}

// A headless display that remembers every cursor it was asked to show.
class CursorLog : public platform::HeadlessBackend {
 public:
  void set_cursor(platform::Hwnd window, platform::CursorShape shape) override {
    std::lock_guard lock(mutex_);
    shown_.push_back(shape);
    HeadlessBackend::set_cursor(window, shape);
  }
  std::vector<platform::CursorShape> take() {
    std::lock_guard lock(mutex_);
    return std::exchange(shown_, {});
  }

 private:
  std::mutex mutex_;
  std::vector<platform::CursorShape> shown_;
};

class DibCursor : public ::testing::Test {
 protected:
  void SetUp() override {
    reset();
    attach(&system);
  }
  void TearDown() override { reset(); }

  CursorLog backend;
  platform::HeadlessDialogs dialogs;
  platform::WindowSystem system{backend, dialogs};
};

TEST_F(DibCursor, LoadShowsTheWaitCursorWhileReading) {
  using platform::CursorShape;
  ASSERT_EQ(initwindow(40, 30, "dib", 0, 0, 0, 0), 0);
  setcursor(1);
  const testsupport::TempDir dir;
  const auto path = dir.file("varqen_loaddib.bmp");
  ASSERT_TRUE(platform::write_bmp24(path, platform::Page(3, 2)));
  for (const bool present : {true, false}) {
    SCOPED_TRACE(present ? "a bitmap file" : "a missing file");
    if (!present) std::filesystem::remove(path);
    backend.take();
    EXPECT_EQ(LoadDIB(path.c_str()) != nullptr, present);
    EXPECT_EQ(backend.take(), (std::vector{CursorShape::Wait, CursorShape::Cross}));
  }
  EXPECT_EQ(dialogs.shown().size(), 1u);
}

}  // namespace
}  // namespace gk
