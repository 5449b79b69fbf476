#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/image/bmp.hpp"
#include "temp_path.hpp"
#include "toolkit/dib.hpp"
#include "toolkit_fixture.hpp"

namespace gk {
namespace {

using toolkit_test::temp_path;

class DibFile : public toolkit_test::HeadlessToolkit {};

TEST_F(DibFile, LoadReadsAFileAndReportsAMissingOne) {
  const auto path = temp_path("varqen_loaddib.bmp").string();
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
