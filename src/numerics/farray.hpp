// 1-based arrays and column-major matrices.
//
// The numerical modules count from 1 and store matrices by columns with an explicit leading
// dimension. These helpers keep that index arithmetic as written instead of translating it to
// 0-based by hand:
//   FArray<T, N>       fixed array, a(1)..a(N)
//   FVector<T>         heap array sized at run time, v(1)..v(n) (work arrays of one call)
//   FMatrix<T, R, C>   fixed column-major matrix, m(i, j), i = 1..R, j = 1..C
//   FMatrixD<T>        heap column-major matrix sized at run time
//   VecView<T>         a 1-based view of n elements with a stride (a row or column section)
//   MatView<T>         a column-major view (pointer, rows, cols, leading dimension)
// Every access is bounds-checked when VARQEN_BOUNDS_CHECK is defined (debug, sanitizer and fuzz
// builds); an out-of-range index is a programming error and aborts with the index and extent.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <type_traits>
#include <vector>

namespace farray {

[[noreturn]] inline void index_fault(const char* what, long index, long extent) {
  std::fprintf(stderr, "farray: %s index %ld outside 1..%ld\n", what, index, extent);
  std::abort();
}

#ifdef VARQEN_BOUNDS_CHECK
inline void check(const char* what, long index, long extent) {
  if (index < 1 || index > extent) index_fault(what, index, extent);
}
#else
inline void check(const char*, long, long) {}
#endif

}  // namespace farray

// A 1-based view of n elements spaced `stride` apart.
template <typename T>
class VecView {
 public:
  VecView() = default;
  VecView(T* first, long n, long stride = 1) : p_(first), n_(n), stride_(stride) {}
  // A read-only view of a writable one.
  template <typename U, typename = std::enable_if_t<std::is_same_v<const U, T>>>
  VecView(const VecView<U>& v) : p_(v.data()), n_(v.size()), stride_(v.stride()) {}
  T& operator()(long i) const {
    farray::check("vector", i, n_);
    return p_[(i - 1) * stride_];
  }
  long size() const { return n_; }
  long stride() const { return stride_; }
  T* data() const { return p_; }

 private:
  T* p_ = nullptr;
  long n_ = 0;
  long stride_ = 1;
};

// A column-major matrix view: element (i, j) is at p[(i-1) + (j-1)*ld].
template <typename T>
class MatView {
 public:
  MatView() = default;
  MatView(T* p, long rows, long cols, long ld) : p_(p), rows_(rows), cols_(cols), ld_(ld) {}
  // A read-only view of a writable one.
  template <typename U, typename = std::enable_if_t<std::is_same_v<const U, T>>>
  MatView(const MatView<U>& a) : p_(a.data()), rows_(a.rows()), cols_(a.cols()), ld_(a.ld()) {}
  T& operator()(long i, long j) const {
    farray::check("row", i, rows_);
    farray::check("column", j, cols_);
    return p_[(i - 1) + (j - 1) * ld_];
  }
  long rows() const { return rows_; }
  long cols() const { return cols_; }
  long ld() const { return ld_; }
  T* data() const { return p_; }
  // Column j as a contiguous vector.
  VecView<T> col(long j) const {
    farray::check("column", j, cols_);
    return VecView<T>(p_ + (j - 1) * ld_, rows_, 1);
  }
  // Row i as a strided vector.
  VecView<T> row(long i) const {
    farray::check("row", i, rows_);
    return VecView<T>(p_ + (i - 1), cols_, ld_);
  }
  // The leading rows x cols block (same leading dimension).
  MatView<T> block(long rows, long cols) const {
    if (rows > rows_ || cols > cols_) farray::index_fault("block", rows > rows_ ? rows : cols, 0);
    return MatView<T>(p_, rows, cols, ld_);
  }

 private:
  T* p_ = nullptr;
  long rows_ = 0;
  long cols_ = 0;
  long ld_ = 0;
};

// Fixed-size 1-based array; value-initialised (zeros for numbers) unless filled.
template <typename T, long N>
class FArray {
 public:
  FArray() : a_{} {}
  T& operator()(long i) {
    farray::check("array", i, N);
    return a_[i - 1];
  }
  const T& operator()(long i) const {
    farray::check("array", i, N);
    return a_[i - 1];
  }
  static constexpr long size() { return N; }
  T* data() { return a_.data(); }
  const T* data() const { return a_.data(); }
  void fill(const T& v) { a_.fill(v); }
  VecView<T> view(long n = N) {
    if (n > N) farray::index_fault("view", n, N);
    return VecView<T>(a_.data(), n, 1);
  }
  auto begin() { return a_.begin(); }
  auto end() { return a_.end(); }
  auto begin() const { return a_.begin(); }
  auto end() const { return a_.end(); }

 private:
  std::array<T, N> a_;
};

// 1-based array sized at run time (work arrays allocated per call).
template <typename T>
class FVector {
 public:
  FVector() = default;
  explicit FVector(long n, const T& v = T()) : a_(n > 0 ? n : 0, v) {}
  T& operator()(long i) {
    farray::check("vector", i, static_cast<long>(a_.size()));
    return a_[i - 1];
  }
  const T& operator()(long i) const {
    farray::check("vector", i, static_cast<long>(a_.size()));
    return a_[i - 1];
  }
  long size() const { return static_cast<long>(a_.size()); }
  void resize(long n, const T& v = T()) { a_.assign(n > 0 ? n : 0, v); }
  void fill(const T& v) { std::fill(a_.begin(), a_.end(), v); }
  T* data() { return a_.data(); }
  const T* data() const { return a_.data(); }
  VecView<T> view() { return VecView<T>(a_.data(), size(), 1); }

 private:
  std::vector<T> a_;
};

// Fixed-size column-major matrix with leading dimension R.
template <typename T, long R, long C>
class FMatrix {
 public:
  FMatrix() : a_{} {}
  T& operator()(long i, long j) {
    farray::check("row", i, R);
    farray::check("column", j, C);
    return a_[(i - 1) + (j - 1) * R];
  }
  const T& operator()(long i, long j) const {
    farray::check("row", i, R);
    farray::check("column", j, C);
    return a_[(i - 1) + (j - 1) * R];
  }
  static constexpr long rows() { return R; }
  static constexpr long cols() { return C; }
  static constexpr long ld() { return R; }
  T* data() { return a_.data(); }
  const T* data() const { return a_.data(); }
  void fill(const T& v) { a_.fill(v); }
  MatView<T> view() { return MatView<T>(a_.data(), R, C, R); }
  MatView<T> view(long rows, long cols) { return view().block(rows, cols); }

 private:
  std::array<T, R * C> a_;
};

// Column-major matrix sized at run time; leading dimension = rows.
template <typename T>
class FMatrixD {
 public:
  FMatrixD() = default;
  FMatrixD(long rows, long cols, const T& v = T())
      : rows_(rows > 0 ? rows : 0), cols_(cols > 0 ? cols : 0), a_(rows_ * cols_, v) {}
  T& operator()(long i, long j) {
    farray::check("row", i, rows_);
    farray::check("column", j, cols_);
    return a_[(i - 1) + (j - 1) * rows_];
  }
  const T& operator()(long i, long j) const {
    farray::check("row", i, rows_);
    farray::check("column", j, cols_);
    return a_[(i - 1) + (j - 1) * rows_];
  }
  long rows() const { return rows_; }
  long cols() const { return cols_; }
  long ld() const { return rows_; }
  T* data() { return a_.data(); }
  const T* data() const { return a_.data(); }
  void fill(const T& v) { std::fill(a_.begin(), a_.end(), v); }
  MatView<T> view() { return MatView<T>(a_.data(), rows_, cols_, rows_); }

 private:
  long rows_ = 0;
  long cols_ = 0;
  std::vector<T> a_;
};
