// Random formula text through the syntax check (with its error report), the compiler, the
// evaluator and the model front end (normalisation, numbering checks, fnparse2): nothing may
// crash, hang, read out of bounds or leave the stack unbalanced, and evalf_rows must give each
// row the bits of evalf at every vector level.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <span>
#include <streambuf>
#include <string>
#include <vector>

#include "model/fparser.hpp"
#include "model/model_front.hpp"
#include "model/simd.hpp"
#include "numerics/sysclock.hpp"

namespace {

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static NullBuffer null_buffer;
  static std::ostream null_stream(&null_buffer);
  static const std::vector<std::string> names = {"P1", "P2", "P3", "X1", "X2"};
  fparser::console = &null_stream;

  std::string text(reinterpret_cast<const char*>(data), size);
  std::string marked = text;
  std::string marker;
  int32_t code = 0;
  const int32_t status = fparser::checkf(marked, names, 1, code, &marker);
  if ((status == 0) != (code == 0)) __builtin_trap();

  fparser::initf(1);
  int32_t ierr = -1;
  fparser::parsef(1, text, names, &ierr, 0);
  // The compiler accepts exactly what the check accepts.
  if (ierr != status) __builtin_trap();
  if (ierr == 0) {
    const fparser::Tcomp& c = fparser::comp(1);
    if (c.bytecodesize < 1 || c.stacksize < 1) __builtin_trap();
    const double rows[][5] = {
        {1.5, -2.0, 0.0, 3.0, 1e-300}, {0.0, 0.0, 0.0, 0.0, 0.0}, {-1e308, 1e308, -0.5, 2.5, 7.0}};
    // The fused program gives exactly the values of the bytecode run code by code.
    std::vector<double> fused;
    for (const auto& row : rows)
      fused.push_back(fparser::evalf(1, std::span<const double>(row, 5)));
    // So does the evaluation of all rows at once: P1..P3 shared, X1 and X2 as columns taken
    // from the rows (the parameters of the first row).
    const double x1[3] = {rows[0][3], rows[1][3], rows[2][3]};
    const double x2[3] = {rows[0][4], rows[1][4], rows[2][4]};
    const double* cols[2] = {x1, x2};
    double batch[3];
    fparser::evalf_rows(1, std::span<const double>(rows[0], 3), cols, 3, batch);
    fparser::prepare_program(fparser::comp(1), false);
    auto same = [](double a, double b) {
      return std::memcmp(&a, &b, sizeof a) == 0 || (a != a && b != b);
    };
    for (size_t r = 0; r < 3; ++r) {
      const double plain = fparser::evalf(1, std::span<const double>(rows[r], 5));
      if (!same(plain, fused[r])) __builtin_trap();
      const double row[5] = {rows[0][0], rows[0][1], rows[0][2], x1[r], x2[r]};
      if (!same(batch[r], fparser::evalf(1, std::span<const double>(row, 5)))) __builtin_trap();
    }
    // At every vector level the processor has, rows evaluated together and alone agree.
    for (simd::Level level : {simd::Level::Sse2, simd::Level::Avx2, simd::Level::Avx512}) {
      if (!simd::set_level(level)) continue;
      fparser::evalf_rows(1, std::span<const double>(rows[0], 3), cols, 3, batch);
      for (size_t r = 0; r < 3; ++r) {
        const double row[5] = {rows[0][0], rows[0][1], rows[0][2], x1[r], x2[r]};
        if (!same(batch[r], fparser::evalf(1, std::span<const double>(row, 5)))) __builtin_trap();
      }
    }
    simd::set_level(simd::best_level());
  }
  fparser::endf();

  // The front end on the same text; its pauses return at once.
  sysclock::set_sleeper([](int32_t) {});
  std::string formula = text;
  int32_t npar = 0, nvar = 0, length = 0;
  std::string message;
  parse_func(npar, nvar, formula, length, ierr, message);
  if (ierr < 0 || ierr > 14 || formula.size() != 512) __builtin_trap();
  if (ierr == 0) {
    const double p[8] = {1.0, -2.0, 0.5, 3.0, 0.0, 1e10, -1e-10, 7.0};
    const double x[3] = {2.0, 0.0, -1.0};
    double result = kRecompile;
    const int32_t status = fnparse2(
        VecView<const double>(p, 8), VecView<const double>(x, 3), npar, nvar, 1, formula, result);
    // A formula the front end accepts compiles.
    if (status != 0) __builtin_trap();
  }
  fnparse2_reset();
  fparser::endf();
  return 0;
}
