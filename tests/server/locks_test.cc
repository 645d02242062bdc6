#include "server/exec/locks.h"

#include <gtest/gtest.h>

namespace server {
namespace {

TEST(LockTable, ModesGoTogetherAsSqlServersDo) {
  struct Case {
    LockMode held, wanted;
    bool granted;
  };
  const Case cases[] = {
      {LockMode::kShared, LockMode::kShared, true},
      {LockMode::kShared, LockMode::kUpdate, true},
      {LockMode::kUpdate, LockMode::kShared, true},
      {LockMode::kUpdate, LockMode::kUpdate, false},
      {LockMode::kShared, LockMode::kExclusive, false},
      {LockMode::kExclusive, LockMode::kShared, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.held) * 10 + static_cast<int>(c.wanted));
    LockTable locks;
    ASSERT_TRUE(locks.TryLock(1, "t", c.held, kTransactionLock));
    EXPECT_EQ(locks.TryLock(2, "t", c.wanted, kTransactionLock), c.granted);
  }
  // A session's own locks never stand in its way.
  LockTable own;
  ASSERT_TRUE(own.TryLock(1, "t", LockMode::kExclusive, kTransactionLock));
  EXPECT_TRUE(own.TryLock(1, "t", LockMode::kUpdate, kTransactionLock));
  EXPECT_TRUE(own.TryLock(1, "t", LockMode::kShared, kTransactionLock));
}

TEST(LockTable, StatementLocksGoWithTheirStatementAndTransactionLocksStay) {
  LockTable locks;
  int outer = locks.EnterStatement(1);
  ASSERT_TRUE(locks.TryLock(1, "read", LockMode::kShared, outer));
  int inner = locks.EnterStatement(1);
  ASSERT_TRUE(locks.TryLock(1, "inner", LockMode::kShared, inner));
  ASSERT_TRUE(locks.TryLock(1, "changed", LockMode::kExclusive, kTransactionLock));
  // Taken again for longer, a statement lock becomes a transaction lock.
  ASSERT_TRUE(locks.TryLock(1, "held", LockMode::kShared, inner));
  ASSERT_TRUE(locks.TryLock(1, "held", LockMode::kShared, kTransactionLock));
  locks.LeaveStatement(1, inner);
  EXPECT_FALSE(locks.Holds(1, "inner"));
  EXPECT_TRUE(locks.Holds(1, "read"));
  locks.LeaveStatement(1, outer);
  EXPECT_FALSE(locks.Holds(1, "read"));
  EXPECT_EQ(locks.Level(1), 0);
  EXPECT_TRUE(locks.Holds(1, "changed"));
  EXPECT_TRUE(locks.Holds(1, "held"));
  locks.ReleaseTransaction(1);
  EXPECT_TRUE(locks.TryLock(2, "changed", LockMode::kExclusive, kTransactionLock));
  EXPECT_TRUE(locks.TryLock(2, "held", LockMode::kExclusive, kTransactionLock));
}

TEST(LockTable, FindsCyclesOfWaitsAndOnlyThose) {
  LockTable locks;
  for (int session : {1, 2, 3}) {
    ASSERT_TRUE(locks.TryLock(session, "r" + std::to_string(session), LockMode::kExclusive,
                              kTransactionLock));
  }
  // 1 waits for 2, 2 for 3: a chain, no cycle.
  locks.Wait(1, "r2", LockMode::kShared);
  locks.Wait(2, "r3", LockMode::kShared);
  EXPECT_TRUE(locks.FindCycle(1).empty());
  EXPECT_TRUE(locks.FindCycle(2).empty());
  // 3 waits for 1: every one of them is in it.
  locks.Wait(3, "r1", LockMode::kShared);
  EXPECT_EQ(locks.FindCycle(3), (std::vector<int>{3, 1, 2}));
  // Once one of them gives up, the others only wait.
  locks.Forget(2);
  EXPECT_TRUE(locks.FindCycle(3).empty());
  EXPECT_TRUE(locks.FindCycle(1).empty());
  EXPECT_TRUE(locks.TryLock(1, "r2", LockMode::kShared, kTransactionLock));
}

// sysprocesses.blocked: the first session still in the way of a wait.
TEST(LockTable, TellsWhoseLockAWaitIsHeldUpBy) {
  LockTable locks;
  ASSERT_TRUE(locks.TryLock(1, "r", LockMode::kShared, kTransactionLock));
  ASSERT_TRUE(locks.TryLock(2, "r", LockMode::kShared, kTransactionLock));
  EXPECT_EQ(locks.BlockedBy(3), 0);
  locks.Wait(3, "r", LockMode::kExclusive);
  EXPECT_EQ(locks.BlockedBy(3), 1);
  EXPECT_EQ(locks.BlockedBy(1), 0);
  locks.Forget(1);
  EXPECT_EQ(locks.BlockedBy(3), 2);
  locks.Forget(2);
  EXPECT_EQ(locks.BlockedBy(3), 0);
  ASSERT_TRUE(locks.TryLock(4, "r", LockMode::kShared, kTransactionLock));
  EXPECT_EQ(locks.BlockedBy(3), 4);
  locks.StopWaiting(3);
  EXPECT_EQ(locks.BlockedBy(3), 0);
}

// What sp_lock shows: each session's locks, then its wait, once each.
TEST(LockTable, ListsLocksHeldAndWaitedFor) {
  LockTable locks;
  ASSERT_TRUE(locks.TryLock(2, "b", LockMode::kExclusive, kTransactionLock));
  ASSERT_TRUE(locks.TryLock(2, "a", LockMode::kShared, kTransactionLock));
  ASSERT_TRUE(locks.TryLock(1, "a", LockMode::kShared, kTransactionLock));
  locks.Wait(1, "b", LockMode::kUpdate);
  locks.Wait(3, "a", LockMode::kExclusive);
  std::string listed;
  for (const LockTable::Listed& lock : locks.List()) {
    listed += std::to_string(lock.session) + " " + lock.resource + " " +
              std::to_string(static_cast<int>(lock.mode)) + (lock.waiting ? " wait" : "") + "\n";
  }
  EXPECT_EQ(listed, "1 a 0\n1 b 1 wait\n2 a 0\n2 b 2\n3 a 2 wait\n");
  locks.Forget(2);
  locks.StopWaiting(3);
  ASSERT_EQ(locks.List().size(), 2u);
}

}  // namespace
}  // namespace server
