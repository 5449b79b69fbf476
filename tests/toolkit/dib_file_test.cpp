#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/image/bmp.hpp"
#include "support/temp_dir.hpp"
#include "toolkit/dib.hpp"
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
  EXPECT_EQ(boxes[0].text, "File not found");
}

}  // namespace
}  // namespace gk
