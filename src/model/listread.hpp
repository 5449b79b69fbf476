// Free-format (list-directed) reading of numbers from text records, the way the data-file
// readers take their values:
//   - values are separated by blanks (TAB and CR count as blanks), by a comma with optional
//     blanks around it, or by the end of a record;
//   - r*c stands for r copies of c;
//   - every read starts on a fresh record and ignores what is left of its last record.
// A value that the text leaves unset is refused as Short, so no caller ever works with a value
// nobody wrote: a null (two commas in a row, or a comma first in a read), a bare repeat r*, or a
// slash before the last value.
// A number has the syntax of stringlib::parse_real (reals) or an optional sign and digits
// within 32 bits (integers); anything else, "Inf" and "NaN" included, is a bad value.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "numerics/farray.hpp"

namespace listread {

enum class Result {
  Ok,        // every value read
  BadValue,  // a value that is no number of the wanted kind
  Short,     // a value left unset (null, bare repeat, slash), or, in a record-bound read, the
             // record ended before all values
  End,       // no more records before all values were read
};

// Hands out the records one by one; false when there are none left.
using NextRecord = std::function<bool(std::string& record)>;

class Reader {
 public:
  explicit Reader(NextRecord next) : next_(std::move(next)) {}

  // Reads n reals (or integers) into out(1..n). With record_bound the values must all stand on
  // one record (blank records before it are passed over); otherwise a read continues across
  // records.
  Result read_reals(VecView<double> out, int32_t n, bool record_bound);
  Result read_ints(VecView<int32_t> out, int32_t n, bool record_bound);
  // Reads n values as the texts that write them (c of a value written r*c) into out[0..n-1],
  // whatever they hold.
  Result read_texts(std::vector<std::string>& out, int32_t n, bool record_bound);
  // Passes over blank records and consumes the next record (a read of one text item).
  Result skip_record();

  // Number of records handed out so far: the line number of the current record.
  int32_t record_number() const { return records_; }

  // After a read that failed with BadValue or Short: the text that failed it (the bad value, or
  // the ",", "/" or bare "r*" that left a value unset); empty when the text simply ran out.
  const std::string& problem_token() const { return problem_; }

  // After a read: whether the current record holds more values before any "!" or "/" (what is
  // left after the last value read, or copies of a repeat beyond those the read took).
  bool more_in_record() const;

 private:
  using Assign = std::function<bool(int32_t index, std::string_view token)>;
  Result read_items(int32_t n, const Assign& assign, bool record_bound);
  bool fetch();
  bool fetch_nonblank();
  void skip_blanks();

  NextRecord next_;
  std::string record_;
  size_t pos_ = 0;
  int32_t records_ = 0;
  std::string problem_;
  bool surplus_ = false;  // the last repeat held more copies than the read took
};

// The number of values a record holds before any "!" or "/", r*c counting as r: its fields
// separated by blanks, TABs or commas.
int32_t count_values(std::string_view record);

// Reads n reals that all stand on the one record given.
Result read_record_reals(const std::string& record, VecView<double> out, int32_t n);

}  // namespace listread
