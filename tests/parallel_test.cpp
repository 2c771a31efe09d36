#include "parallel.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

// Whatever the team's size, every item is handed out exactly once, in
// contiguous ranges, and member numbers stay within the team.
TEST(ThreadTeam, HandsOutEveryItemOnce) {
  for (int nThreads : {1, 2, 3}) {
    ThreadTeam team(nThreads);
    for (size_t nItems : {0, 1, 2, 5, 1000}) {
      std::vector<int> nSeen(nItems, 0);
      std::vector<int> nMemberOf(nItems, -1);
      for (int nRound = 0; nRound < 3; ++nRound) {
        team.run(nItems, [&](size_t nBegin, size_t nEnd, int nMember) {
          ASSERT_LT(nMember, nThreads);
          for (size_t i = nBegin; i < nEnd; ++i) {
            ++nSeen[i];
            nMemberOf[i] = nMember;
          }
        });
      }
      for (size_t i = 0; i < nItems; ++i) {
        EXPECT_EQ(3, nSeen[i]) << nThreads << " " << nItems << " " << i;
        if (i > 0) {
          EXPECT_GE(nMemberOf[i], nMemberOf[i - 1]);
        }
      }
    }
  }
}

// Items taken in turn: every item once, each inTurn after all earlier ones
// (a shared counter stands for the random stream), its after on the member
// that ran its inTurn; a failure in either part reaches the caller without
// leaving a member waiting for a turn that never comes.
TEST(ThreadTeam, RunsInTurnInItemOrderAndPassesFailuresOn) {
  for (int nThreads : {1, 2, 3}) {
    ThreadTeam team(nThreads);
    for (size_t nItems : {0, 1, 2, 7, 500}) {
      size_t nStream = 0;
      std::vector<size_t> nDrawnAt(nItems, 0);
      std::vector<int> nInTurnBy(nItems, -1), nAfterBy(nItems, -2);
      std::vector<int> nAfters(nItems, 0);
      team.runInTurn(
          nItems,
          [&](size_t k, int nMember) {
            nDrawnAt[k] = nStream++;
            nInTurnBy[k] = nMember;
          },
          [&](size_t k, int nMember) {
            ++nAfters[k];
            nAfterBy[k] = nMember;
          });
      EXPECT_EQ(nItems, nStream);
      for (size_t k = 0; k < nItems; ++k) {
        EXPECT_EQ(k, nDrawnAt[k]) << nThreads << " " << k;
        EXPECT_EQ(1, nAfters[k]);
        EXPECT_EQ(nInTurnBy[k], nAfterBy[k]);
      }
    }
    for (bool bInTurn : {true, false}) {
      auto fail = [&](size_t k, bool bHere) {
        if (k == 3 && bHere == bInTurn) throw std::runtime_error("no memory");
      };
      EXPECT_THROW(team.runInTurn(
                       50, [&](size_t k, int) { fail(k, true); },
                       [&](size_t k, int) { fail(k, false); }),
                   std::runtime_error);
    }
  }
}

#if defined(__linux__)
// Members start away from their creator's CPU but are not kept there: once
// they have work they may run on every CPU the creator could.
TEST(ThreadTeam, MembersMayRunWhereverTheirCreatorMay) {
  cpu_set_t creator;
  ASSERT_EQ(0, sched_getaffinity(0, sizeof creator, &creator));
  ThreadTeam team(3);
  std::vector<cpu_set_t> seen(3);
  for (int nRound = 0; nRound < 2; ++nRound) {
    team.run(3, [&](size_t, size_t, int nMember) {
      sched_getaffinity(0, sizeof(cpu_set_t), &seen[nMember]);
    });
    for (int m = 0; m < team.size(); ++m) {
      EXPECT_TRUE(CPU_EQUAL(&creator, &seen[m])) << "member " << m;
    }
  }
  cpu_set_t after;
  ASSERT_EQ(0, sched_getaffinity(0, sizeof after, &after));
  EXPECT_TRUE(CPU_EQUAL(&creator, &after));
}
#endif
