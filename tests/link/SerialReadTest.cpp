// The serial read step with the events a pseudo-terminal's slave can report
// while its master closes, given directly: the moment when the slave reports a
// hang-up without readable data is too short to hit from a test.
#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "link/posix/SerialIoPosix.h"

TEST(SerialRead, AHangUpEndsTheLinkWithOrWithoutReadableData)
{
    int fdMaster = -1, fdSlave = -1;
    ASSERT_EQ(openpty(&fdMaster, &fdSlave, nullptr, nullptr, nullptr), 0);
    SerialHandle port = kNoSerialPort;
    ASSERT_TRUE(SerialOpenPort(ptsname(fdMaster), port));
    const int fd = static_cast<int>(port);
    char buf[16];
    size_t nRead = 99;
    int nErrno = 0;

    // Input discarded between poll and read (as before each command) leaves
    // nothing to read: that is "nothing yet", not the end of the link.
    ASSERT_EQ(write(fdMaster, "x", 1), 1);
    pollfd pfd{fd, POLLIN, 0};
    ASSERT_EQ(poll(&pfd, 1, 1000), 1);
    SerialFlushInput(port);
    EXPECT_EQ(SerialReadReady(fd, pfd.revents, buf, sizeof buf, nRead, nErrno), SerialIoStatus::Timeout);

    // Nothing is waiting: a hang-up alone, or with POLLIN, is the end.
    EXPECT_EQ(SerialReadReady(fd, POLLHUP, buf, sizeof buf, nRead, nErrno), SerialIoStatus::Closed);
    EXPECT_EQ(nRead, 0u);
    EXPECT_EQ(SerialReadReady(fd, POLLIN | POLLHUP, buf, sizeof buf, nRead, nErrno), SerialIoStatus::Closed);
    EXPECT_EQ(SerialReadReady(fd, POLLERR, buf, sizeof buf, nRead, nErrno), SerialIoStatus::Failed);
    EXPECT_EQ(nErrno, EIO);

    // Bytes still waiting are delivered before the hang-up counts.
    ASSERT_EQ(write(fdMaster, "OK", 2), 2);
    ASSERT_EQ(poll(&pfd, 1, 1000), 1);
    EXPECT_EQ(SerialReadReady(fd, POLLIN | POLLHUP, buf, sizeof buf, nRead, nErrno), SerialIoStatus::Ok);
    EXPECT_EQ(nRead, 2u);

    SerialClosePort(port);
    close(fdSlave);
    close(fdMaster);
}
