#include "framework/transaction/XfTransactionManager.h"

#include <gtest/gtest.h>

#include "framework/tests/transaction/TransactionTestSupport.h"

namespace {

using framework_test::NewItem;

constexpr uint32_t kCompletionCode = 78;
constexpr uint32_t kUnknownId = 99;

using XfTransactionManager = framework_test::TransactionTest;

TEST_F(XfTransactionManager, BeginNumbersTransactionsAndFindLooksThemUp) {
  ::XfTransactionManager manager;
  const XpSharedPtr<XfTransactionObject> object = NewItem(false, false);
  const XpSharedPtr<XfTransaction> first = manager.Begin(object);
  const XpSharedPtr<XfTransaction> second = manager.Begin(NewItem(false, false));
  ASSERT_TRUE(first);
  ASSERT_TRUE(second);

  EXPECT_EQ(first->GetId(), 1u);
  EXPECT_EQ(second->GetId(), 2u);
  EXPECT_EQ(manager.NextId(), 3u);
  EXPECT_EQ(first->GetManager(), &manager);
  EXPECT_TRUE(first->GetObject() == object);
  EXPECT_EQ(manager.Find(2).Get(), second.Get());
  EXPECT_TRUE(manager.Find(kUnknownId).IsNull());
}

TEST_F(XfTransactionManager, RemoveTakesByPointerAndIgnoresAbsentOnes) {
  ::XfTransactionManager manager;
  const XpSharedPtr<XfTransaction> first = manager.Begin(NewItem(false, false));
  const XpSharedPtr<XfTransaction> second = manager.Begin(NewItem(false, false));
  const XfTransaction outsider(nullptr, NewItem(false, false), first->GetId());

  EXPECT_EQ(manager.Remove(&outsider), kXpOk);
  EXPECT_EQ(manager.GetCount(), 2u);
  EXPECT_EQ(manager.Remove(first), kXpOk);
  EXPECT_TRUE(manager.Find(first->GetId()).IsNull());
  EXPECT_EQ(manager.Remove(second.Get()), kXpOk);
  EXPECT_EQ(manager.Remove(second), kXpOk);
  EXPECT_EQ(manager.GetCount(), 0u);
}

TEST_F(XfTransactionManager, SweepRemovesOnlyCompletedTransactions) {
  ::XfTransactionManager manager;
  const XpSharedPtr<XfTransaction> failed = manager.Begin(NewItem(false, false));
  EXPECT_EQ(failed->AddItem(NewItem(true, true)), kXpOk);
  EXPECT_EQ(failed->AddItem(NewItem(false, true)), kXpOk);
  failed->SetCompletionCode(kCompletionCode);
  const XpSharedPtr<XfTransaction> running = manager.Begin(NewItem(false, false));
  EXPECT_EQ(running->AddItem(NewItem(false, false)), kXpOk);
  running->SetCompletionCode(kCompletionCode);
  const XpSharedPtr<XfTransaction> empty = manager.Begin(NewItem(false, false));

  manager.Sweep();
  EXPECT_TRUE(manager.Find(failed->GetId()).IsNull());
  EXPECT_TRUE(manager.Find(empty->GetId()).IsNull());
  EXPECT_EQ(manager.Find(running->GetId()).Get(), running.Get());
  EXPECT_EQ(PostedWithCode(kCompletionCode).size(), 1u);
}

TEST_F(XfTransactionManager, TheApplicationKeepsOne) {
  XfApplication* application = XfGetApplication();
  ASSERT_NE(application, nullptr);
  ::XfTransactionManager& manager = application->GetTransactionManager();
  const XpSharedPtr<XfTransaction> transaction = manager.Begin(NewItem(false, false));
  ASSERT_TRUE(transaction);
  EXPECT_EQ(transaction->GetManager(), &manager);
  EXPECT_EQ(manager.Find(transaction->GetId()).Get(), transaction.Get());
  EXPECT_EQ(application->GetPriorityThreadGroupManager().GetGroupCount(), 0u);
}

}  // namespace
