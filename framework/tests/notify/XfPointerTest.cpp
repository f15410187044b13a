#include "framework/notify/XfPointer.h"

#include <cstdint>

#include <gtest/gtest.h>

#include "framework/notify/XfData.h"

namespace {

struct Tracked {
  explicit Tracked(bool* destroyed) : destroyed(destroyed) {}
  ~Tracked() { *destroyed = true; }
  bool* destroyed;
};

TEST(XfPointer, BorrowedPointerIsOnlyCarried) {
  bool destroyed = false;
  Tracked tracked(&destroyed);
  {
    const XpSharedPtr<XfPointer> pointer = XfPointer::Borrow(&tracked);
    ASSERT_TRUE(pointer);
    EXPECT_FALSE(pointer->Owns());
    EXPECT_EQ(pointer->Get(), &tracked);
    EXPECT_EQ(pointer->As<Tracked>(), &tracked);
  }
  EXPECT_FALSE(destroyed);
}

TEST(XfPointer, OwnedPointerIsDeletedWithIt) {
  bool destroyed = false;
  {
    const XpSharedPtr<XfObject> object = XfPointer::Own(new Tracked(&destroyed));
    EXPECT_FALSE(destroyed);
  }
  EXPECT_TRUE(destroyed);
}

TEST(XfPointer, TypeIsTheOneItWasMadeWith) {
  int32_t number = 5;
  const XpSharedPtr<XfPointer> pointer = XfPointer::Borrow(&number);
  EXPECT_EQ(pointer->GetType(), XfPointer::TypeOf<int32_t>());
  EXPECT_NE(pointer->GetType(), XfPointer::TypeOf<uint32_t>());
  EXPECT_EQ(pointer->As<uint32_t>(), nullptr);
  EXPECT_EQ(pointer->As<const int32_t>(), &number);
  EXPECT_EQ(XfPointer::Borrow(static_cast<const int32_t*>(&number))->As<int32_t>(), &number);
}

TEST(XfData, HoldsOneValue) {
  XfData<int32_t> data(-7);
  EXPECT_EQ(data.Get(), -7);
  data.Set(INT32_MIN);
  EXPECT_EQ(data.Get(), INT32_MIN);
  EXPECT_EQ(XfData<int32_t>().Get(), 0);
}

}  // namespace
