// Tests of the errno to platform error number table.
#include "platform/platformerror.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace talyx::platform {
namespace {

TEST(PlatformErrorFromErrno, NamedSituationsGetTheirIds) {
  EXPECT_EQ(PlatformErrorFromErrno(ENOENT), 2);
  EXPECT_EQ(PlatformErrorFromErrno(ENODEV), 2);
  EXPECT_EQ(PlatformErrorFromErrno(ENXIO), 2);
  EXPECT_EQ(PlatformErrorFromErrno(EIO), 2);
  EXPECT_EQ(PlatformErrorFromErrno(ENOTDIR), 3);
  EXPECT_EQ(PlatformErrorFromErrno(EMFILE), 4);
  EXPECT_EQ(PlatformErrorFromErrno(ENFILE), 4);
  EXPECT_EQ(PlatformErrorFromErrno(EBUSY), 5);
  EXPECT_EQ(PlatformErrorFromErrno(EWOULDBLOCK), 5);
  EXPECT_EQ(PlatformErrorFromErrno(EAGAIN), 5);
  EXPECT_EQ(PlatformErrorFromErrno(ENOMEM), 8);
  EXPECT_EQ(PlatformErrorFromErrno(EACCES), 13);
  EXPECT_EQ(PlatformErrorFromErrno(EPERM), 13);
  EXPECT_EQ(std::string(strerror(EACCES)), "Permission denied");
}

TEST(PlatformErrorFromErrno, ErrnoWhoseNumberHasAnotherTextBecomesGeneralFailure) {
  // ESRCH is 3 ("Path not found"), EINTR 4, ENOEXEC 8, ENOTBLK 15, EXDEV 18, ENETDOWN 100 and
  // ENOBUFS 105: each number has a different text in the table.
  for (int err : {ESRCH, EINTR, ENOEXEC, ENOTBLK, EXDEV, ENETDOWN, ENETUNREACH, ENOBUFS}) {
    ASSERT_TRUE(HasErrorTableText(err)) << err;
    EXPECT_EQ(PlatformErrorFromErrno(err), 162) << err;
  }
}

TEST(PlatformErrorFromErrno, OtherErrnoKeepsItsNumber) {
  for (int err : {E2BIG, EBADF, ECHILD, EFAULT, EEXIST, EINVAL, ENOTTY, ENOSPC, EPIPE, ETIMEDOUT}) {
    ASSERT_FALSE(HasErrorTableText(err)) << err;
    EXPECT_EQ(PlatformErrorFromErrno(err), err) << err;
  }
}

TEST(PlatformErrorFromErrno, FailureWithoutErrnoNeverReadsAsSuccess) {
  EXPECT_EQ(PlatformErrorFromErrno(0), 162);
  EXPECT_EQ(PlatformErrorFromErrno(-5), 162);
}

TEST(PlatformErrorFromErrno, EveryResultIsPositiveAndEitherNamedOrFreeOfTableText) {
  for (int err = 1; err < 200; ++err) {
    const int id = PlatformErrorFromErrno(err);
    EXPECT_GT(id, 0) << err;
    // ENOENT is the one errno whose number is also its table id with the same meaning; an errno
    // of 162 (none exists today) would read as "General failure" either way.
    if (id == err && err != ENOENT && err != PeGeneralFailure) {
      EXPECT_FALSE(HasErrorTableText(id)) << err;
    }
  }
}

}  // namespace
}  // namespace talyx::platform
