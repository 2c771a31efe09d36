#include "parallel.h"

#include <gtest/gtest.h>

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
