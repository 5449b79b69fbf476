// Not a benchmark: reads one picture file and draws it the way the toolkit does, so that one
// file's time and peak memory can be measured from outside (/usr/bin/time -v):
//   picture_render FILE              at its own size onto a new page, as loadimage draws it
//   picture_render FILE WIDTH HEIGHT scaled onto a page of that size, as readimagefile does
// Prints the picture's size and the seconds the read and the drawing took, or why the file
// gives no picture.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/gfx/device_context.hpp"
#include "platform/image/picture.hpp"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: %s FILE [WIDTH HEIGHT]\n", argv[0]);
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  std::string why;
  const auto picture = platform::load_picture(argv[1], &why);
  if (!picture) {
    std::printf("refused: %s\n", why.c_str());
    return 1;
  }
  const bool own_size = argc == 2;
  platform::Page page(own_size ? picture->width() : std::atoi(argv[2]),
                      own_size ? picture->height() : std::atoi(argv[3]));
  platform::DeviceContext dc(page);
  picture->render(dc, {0, 0, page.width(), page.height()});
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("%d x %d drawn at %d x %d in %.3f s\n",
              picture->width(),
              picture->height(),
              page.width(),
              page.height(),
              took.count());
  return 0;
}
