// editfmt: formatted output with Fortran edit descriptors.
//
// Every number the program shows in a report or message is laid out here, exactly as a
// Fortran formatted WRITE with the same format lays it out (the layouts below were checked
// against gfortran). A format is a parenthesised list, blanks and letter case ignored:
//
//   Iw  Iw.m        integer, at least m digits (Iw.0 writes blanks for 0); I0 = minimal width
//   Fw.d            fixed point; F0.d = minimal width
//   Ew.d  Ew.dEe    0.ddd exponent form; the exponent takes 2 digits (3 beyond +-99, the E
//                   then dropped: 0.150+101) or exactly e digits when Ee is given
//   Dw.d            the E form with the letter D (0.150D+01)
//   ESw.d ESw.dEe   scientific form d.ddd
//   Gw.d  Gw.dEe    F form when the value rounded to d significant digits lies in
//                   [0.1, 10**d) (or is zero), followed by 4 blanks (e+2 with Ee);
//                   E form otherwise (the bounds computed in double precision, as
//                   gfortran does). Integers take Iw, texts Aw.
//   kP              scale factor for the F, E and G descriptors that follow, kept until the
//                   end of the format (also across reversion)
//   A  Aw           text; right-justified when shorter than w, its leftmost w characters
//                   when longer
//   nX              skip n columns (blanks are written only when something follows)
//   '...' "..."     literal text (a doubled quote stands for one)
//   /  r/           end the record (r times)
//   $               do not end the last record: the next write continues it (RecordWriter)
//   r(...)  rD      repeat counts on groups and descriptors
//
// Output stops at the first data descriptor met with no value left, or at the final
// parenthesis when no value is left. When values remain there, the record ends and output
// goes on from the group closed by the last parenthesis before the final one (with its repeat
// count), or from the start when the format has no group.
//
// Numbers are rounded exactly (to nearest, ties to even, on the exact binary value). A field
// too narrow for its value is filled with asterisks; the optional 0 before the decimal point
// (0.50, 0.123E+02) is left out when the field has no room for it. A negative value, minus
// zero included, keeps its sign even when it rounds to zero (-0.00). NaN is written "NaN",
// infinities "Infinity"/"-Infinity", or "Inf"/"-Inf" in narrower fields, right-justified.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace editfmt {

// One output item. An int32_t converts to the integer alternative, a float to the real one.
using Value = std::variant<int64_t, double, std::string>;

// Result of one formatted write.
struct Output {
  std::string text;         // the records joined by '\n', no newline after the last one
  bool no_advance = false;  // a `$` was met: the last record is left open
  size_t column = 0;        // where the next character of the last record would go: past
                            // its end when X skips are still pending (they become blanks
                            // only when something follows on the record)
  std::string error;        // empty on success; otherwise what is wrong (bad format, a value
                            // of the wrong kind for its descriptor) and `text` holds the
                            // output written before the fault
  bool ok() const { return error.empty(); }
};

// Writes `values` with the format `fmt`, e.g. "(1X,10(ES10.3,3X))".
Output write(std::string_view fmt, std::span<const Value> values);
Output write(std::string_view fmt, std::initializer_list<Value> values);

// The text of write(fmt, values); on a fault, the text written before it.
std::string format(std::string_view fmt, std::span<const Value> values);
std::string format(std::string_view fmt, std::initializer_list<Value> values);

// One value with one descriptor given without parentheses, e.g. format_int("I4", 7) or
// format_real("G16.8", x); the same as format("(" + descriptor + ")", {value}).
std::string format_int(std::string_view descriptor, int64_t value);
std::string format_real(std::string_view descriptor, double value);

// Receives one finished record (line) of formatted output.
using RecordSink = std::function<void(std::string_view record)>;

// Formatted writes to one sequential file, statement by statement. A write whose format met
// `$` leaves its record open and the next write continues it at the column where it stopped
// (pending X skips included); a continuing format that starts with `/` therefore first ends
// the open record.
class RecordWriter {
 public:
  explicit RecordWriter(RecordSink sink) : sink_(std::move(sink)) {}
  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;

  // One write statement; returns its Output's error (empty on success). On a fault the text
  // written before it is kept, as write() keeps it.
  std::string write(std::string_view fmt, std::span<const Value> values);
  std::string write(std::string_view fmt, std::initializer_list<Value> values);
  // A record laid out elsewhere (e.g. by nrutil::vecprn): it continues an open record and ends
  // it.
  void record(std::string_view text);
  // Ends a record left open by the last write (what closing the file does).
  void finish();
  bool open() const { return open_; }

 private:
  RecordSink sink_;
  std::string record_;  // the open record
  size_t column_ = 0;   // its next column (past its end while X skips are pending)
  bool open_ = false;
};

}  // namespace editfmt
