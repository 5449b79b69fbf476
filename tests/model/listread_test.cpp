#include "model/listread.hpp"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

// A reader over the given records.
listread::Reader reader_of(const std::vector<std::string>& records) {
  return listread::Reader([records, k = size_t{0}](std::string& r) mutable {
    if (k >= records.size()) return false;
    r = records[k++];
    return true;
  });
}

// Three reals read across records; -1 marks a value not written. Separators and repeats behave
// as in a Fortran list-directed READ, but a value the text leaves unset (a null, a bare repeat,
// a slash) is refused as Short instead of keeping whatever the array held.
TEST(Listread, SeparatorsNullsAndRepeatsAcrossRecords) {
  using listread::Result;
  struct Case {
    std::vector<std::string> records;
    Result result;
    std::array<double, 3> values;
  } const cases[] = {
      {{"1 ,, 3"}, Result::Short, {1, -1, -1}},
      {{"1,", ",3"}, Result::Short, {1, -1, -1}},  // a comma after a comma, across a record end
      {{"1", ",", "3"}, Result::End, {1, 3, -1}},  // a record end then a comma: one separator
      {{"1 2", "/"}, Result::Short, {1, 2, -1}},
      {{", ,"}, Result::Short, {-1, -1, -1}},
      {{"3*"}, Result::Short, {-1, -1, -1}},
      {{"2*  ,5"}, Result::Short, {-1, -1, -1}},
      {{"1 2,", "3"}, Result::Ok, {1, 2, 3}},
      {{",", "2 3"}, Result::Short, {-1, -1, -1}},
      {{"1 2 3,4"}, Result::Ok, {1, 2, 3}},
      {{"1 2 3 /"}, Result::Ok, {1, 2, 3}},  // a slash after the last value is not read
      {{" , 2 3"}, Result::Short, {-1, -1, -1}},
      {{"1,2", ","}, Result::End, {1, 2, -1}},
      {{"2*4", "5"}, Result::Ok, {4, 4, 5}},
      {{"", "\t", "1\t2\r", "3"}, Result::Ok, {1, 2, 3}},
      {{"1 2x 3"}, Result::BadValue, {1, -1, -1}},
      {{"0*1 2 3"}, Result::BadValue, {-1, -1, -1}},
  };
  for (const auto& c : cases) {
    std::string name;
    for (const auto& r : c.records) name += "[" + r + "]";
    SCOPED_TRACE(name);
    listread::Reader reader = reader_of(c.records);
    FArray<double, 3> a;
    a.fill(-1.0);
    EXPECT_EQ(reader.read_reals(a.view(), 3, false), c.result);
    for (int32_t i = 1; i <= 3; ++i) EXPECT_EQ(a(i), c.values[i - 1]) << i;
  }
}

TEST(Listread, RecordBoundReadStopsAtTheRecordEnd) {
  listread::Reader reader = reader_of({"", "1 2", "3 4 5", "6 7 8 ! note"});
  FArray<double, 3> a;
  a.fill(-1.0);
  EXPECT_EQ(reader.read_reals(a.view(), 3, true), listread::Result::Short);
  EXPECT_EQ(reader.record_number(), 2);  // the blank record was passed over
  EXPECT_EQ(reader.read_reals(a.view(), 3, true), listread::Result::Ok);
  EXPECT_EQ(a(3), 5.0);
  EXPECT_EQ(reader.read_reals(a.view(), 3, true), listread::Result::Ok);  // rest ignored
  EXPECT_EQ(a(1), 6.0);
  EXPECT_EQ(reader.read_reals(a.view(), 1, true), listread::Result::End);
}

TEST(Listread, IntegersWithin32Bits) {
  struct Case {
    const char* record;
    listread::Result result;
    int32_t value;
  } const cases[] = {
      {"+5", listread::Result::Ok, 5},
      {"-2147483648", listread::Result::Ok, -2147483647 - 1},
      {"2147483647", listread::Result::Ok, 2147483647},
      {"2147483648", listread::Result::BadValue, -1},
      {"1.0", listread::Result::BadValue, -1},
      {"1e2", listread::Result::BadValue, -1},
      {"-", listread::Result::BadValue, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.record);
    listread::Reader reader = reader_of({c.record});
    FArray<int32_t, 1> v;
    v.fill(-1);
    EXPECT_EQ(reader.read_ints(v.view(), 1, false), c.result);
    EXPECT_EQ(v(1), c.value);
  }
}

}  // namespace
