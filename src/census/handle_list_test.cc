#include "census/handle_list.h"

#include <cstring>
#include <utility>

#include <gtest/gtest.h>

namespace {

// A record whose every field says which one it is.
HandleRecord MakeRecord(uint32_t n) {
  HandleRecord record = {};
  record.entry.kernelAddress = 0xFFFFF90000000000ull + n;
  record.entry.ownerWord = n * 4 + 1;
  record.entry.unique = static_cast<uint16_t>(n);
  record.entry.typeCode = static_cast<uint8_t>(n);
  record.entry.flags = static_cast<uint8_t>(n >> 8);
  record.entry.userAddress = 0x10000ull * n;
  record.handle = 0x10000ull * (n & 0xFFFF) + n;
  return record;
}

bool SameRecord(const HandleRecord& a, const HandleRecord& b) {
  return std::memcmp(&a, &b, sizeof(HandleRecord)) == 0;
}

bool IsZero(const HandleRecord& record) {
  static const HandleRecord kZero = {};
  return SameRecord(record, kZero);
}

TEST(HandleListTest, StartsEmpty) {
  HandleList list;
  EXPECT_EQ(nullptr, list.storage);
  EXPECT_EQ(0, list.size);
  EXPECT_EQ(0, list.capacity);
  EXPECT_EQ(list.begin(), list.end());
}

TEST(HandleListTest, GrowsByDoubling) {
  HandleList list;
  // Capacity after each append: 1, 2, 4, 4, 8, 8, 8, 8, 16...
  for (uint32_t n = 1; n <= 100; ++n) {
    ASSERT_TRUE(list.Append(MakeRecord(n)));
    int32_t expected = 1;
    while (expected < static_cast<int32_t>(n))
      expected *= 2;
    ASSERT_EQ(static_cast<int32_t>(n), list.size);
    ASSERT_EQ(expected, list.capacity) << "after " << n << " appends";
  }
  // Every record is kept in order.
  uint32_t n = 1;
  for (const HandleRecord& record : list)
    EXPECT_TRUE(SameRecord(MakeRecord(n++), record));
  EXPECT_EQ(101u, n);
}

TEST(HandleListTest, SpareCapacityIsZeroFilled) {
  HandleList list;
  for (uint32_t n = 1; n <= 5; ++n)
    ASSERT_TRUE(list.Append(MakeRecord(n)));
  ASSERT_EQ(8, list.capacity);
  for (int32_t i = list.size; i < list.capacity; ++i)
    EXPECT_TRUE(IsZero(list.storage[i])) << "slot " << i;
}

TEST(HandleListTest, CopyIsIndependent) {
  HandleList list;
  for (uint32_t n = 1; n <= 3; ++n)
    ASSERT_TRUE(list.Append(MakeRecord(n)));

  HandleList copy(list);
  ASSERT_EQ(3, copy.size);
  EXPECT_NE(list.storage, copy.storage);
  for (int32_t i = 0; i < 3; ++i)
    EXPECT_TRUE(SameRecord(list.storage[i], copy.storage[i]));

  // Appending to either leaves the other alone.
  ASSERT_TRUE(copy.Append(MakeRecord(4)));
  ASSERT_TRUE(list.Append(MakeRecord(40)));
  EXPECT_EQ(4, list.size);
  EXPECT_EQ(4, copy.size);
  EXPECT_TRUE(SameRecord(MakeRecord(40), list.storage[3]));
  EXPECT_TRUE(SameRecord(MakeRecord(4), copy.storage[3]));
}

TEST(HandleListTest, CopyAssignment) {
  HandleList source;
  for (uint32_t n = 1; n <= 3; ++n)
    ASSERT_TRUE(source.Append(MakeRecord(n)));

  HandleList target;
  for (uint32_t n = 10; n <= 17; ++n)
    ASSERT_TRUE(target.Append(MakeRecord(n)));
  target = source;
  ASSERT_EQ(3, target.size);
  EXPECT_NE(source.storage, target.storage);
  for (int32_t i = 0; i < 3; ++i)
    EXPECT_TRUE(SameRecord(source.storage[i], target.storage[i]));
  // The copy can grow on from its own capacity.
  ASSERT_TRUE(target.Append(MakeRecord(4)));
  EXPECT_EQ(4, target.size);
  EXPECT_TRUE(SameRecord(MakeRecord(4), target.storage[3]));
  EXPECT_EQ(3, source.size);

  // Self-assignment keeps the records; an empty source empties the target.
  HandleList& alias = target;
  target = alias;
  EXPECT_EQ(4, target.size);
  EXPECT_TRUE(SameRecord(MakeRecord(1), target.storage[0]));
  target = HandleList();
  EXPECT_EQ(0, target.size);
  ASSERT_TRUE(target.Append(MakeRecord(9)));
  EXPECT_TRUE(SameRecord(MakeRecord(9), target.storage[0]));
}

TEST(HandleListTest, MoveTakesTheStorage) {
  HandleList list;
  ASSERT_TRUE(list.Append(MakeRecord(1)));
  ASSERT_TRUE(list.Append(MakeRecord(2)));
  HandleRecord* storage = list.storage;

  HandleList moved(std::move(list));
  EXPECT_EQ(storage, moved.storage);
  EXPECT_EQ(2, moved.size);

  HandleList assigned;
  ASSERT_TRUE(assigned.Append(MakeRecord(7)));
  assigned = std::move(moved);
  EXPECT_EQ(storage, assigned.storage);
  EXPECT_EQ(2, assigned.size);
  EXPECT_TRUE(SameRecord(MakeRecord(2), assigned.storage[1]));
}

// A list at the limit, faked by setting its fields: the storage is never
// touched because growing fails first.
struct FakeFullList {
  FakeFullList(int32_t size, int32_t capacity) {
    list.storage = &slot;
    list.size = size;
    list.capacity = capacity;
  }
  ~FakeFullList() {
    // The list must not free storage it does not own.
    list.storage = nullptr;
    list.size = list.capacity = 0;
  }
  HandleRecord slot = {};
  HandleList list;
};

TEST(HandleListTest, CannotGrowPastTheLimit) {
  // Doubling 0x2000000 gives 0x4000000 records, one more than the largest
  // count whose byte size at 32 bytes a record fits a signed 32-bit int.
  const int32_t sizes[] = {0x2000000, 0x3000000, 0x40000000, 0x7FFFFFFF};
  for (int32_t size : sizes) {
    SCOPED_TRACE(size);
    FakeFullList full(size, size);
    HandleRecord* storage = full.list.storage;
    EXPECT_FALSE(full.list.Append(MakeRecord(1)));
    // A failed append leaves the list as it was.
    EXPECT_EQ(storage, full.list.storage);
    EXPECT_EQ(size, full.list.size);
    EXPECT_EQ(size, full.list.capacity);
    EXPECT_TRUE(IsZero(full.slot));
  }
}

}  // namespace
