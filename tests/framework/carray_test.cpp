#include <gtest/gtest.h>

#include "framework/carray.h"
#include "records/run_data.h"

namespace {

struct Small {
  int value;
};

TEST(CArrayTest, CapacitiesFollowTheGrowthRule) {
  CArray<Small, Small> array;
  std::vector<int> seen;
  int last = 0;
  for (int i = 0; i < 60; ++i) {
    array.Add(Small{i});
    if (array.GetCapacity() != last) {
      last = array.GetCapacity();
      seen.push_back(last);
    }
  }
  std::vector<int> expected = {1, 5, 9, 13, 17, 21, 25, 29, 33, 37, 41, 46, 51, 57, 64};
  EXPECT_EQ(expected, seen);
  for (int i = 0; i < 60; ++i) EXPECT_EQ(i, array[i].value);
}

TEST(CArrayTest, FullArraysGrowByAnEighthClampedTo4And1024) {
  struct Case {
    int count;
    int grown;
  } cases[] = {{5, 9}, {80, 90}, {10000, 11024}};
  for (const Case& c : cases) {
    CArray<Small, Small> array;
    array.SetSize(c.count);  // exactly c.count slots
    ASSERT_EQ(c.count, array.GetCapacity());
    array.Add(Small{1});
    EXPECT_EQ(c.grown, array.GetCapacity()) << "full array of " << c.count;
  }
}

TEST(CArrayTest, IndexOutsideTheCountIsAnInvalidArgument) {
  CArray<Small, Small> array;
  EXPECT_THROW(array.ElementAt(0), CInvalidArgException);
  array.Add(Small{7});
  EXPECT_THROW(array.ElementAt(-1), CInvalidArgException);
  EXPECT_THROW(array.ElementAt(1), CInvalidArgException);
  array.RemoveAll();
  EXPECT_EQ(0, array.GetSize());
  EXPECT_EQ(0, array.GetCapacity());
}

TEST(CArrayTest, NewSlotsAreZeroFilled) {
  CArray<_RunData, _RunData> array;
  _RunData item{};
  item.kind = 1;
  array.Add(item);
  array.SetSize(3);
  EXPECT_EQ(0, array[2].kind);
  EXPECT_EQ(0, array[2].name[0]);
}

}  // namespace
