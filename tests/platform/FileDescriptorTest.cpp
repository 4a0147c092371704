#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>

#include "platform/FileDescriptor.h"

using tharvel::FileDescriptor;
using tharvel::writeAll;

namespace {

extern "C" void interrupt(int) {}

bool isOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

}  // namespace

TEST(FileDescriptor, ClosesWhatItOwnsUnlessReleased) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    { FileDescriptor owner(fds[0]); }
    EXPECT_FALSE(isOpen(fds[0]));
    int released;
    {
        FileDescriptor owner(fds[1]);
        EXPECT_EQ(owner.get(), fds[1]);
        released = owner.release();
        EXPECT_EQ(owner.get(), -1);
    }
    EXPECT_EQ(released, fds[1]);
    EXPECT_TRUE(isOpen(released));
    ::close(released);
    { FileDescriptor nothing(-1); }  // owns nothing, closes nothing
}

// A small pipe and a reader that interrupts the writer after every read: the writes
// come back short or interrupted, and every byte must still arrive once, in order.
TEST(WriteAll, GoesOnAfterShortAndInterruptedWrites) {
    struct sigaction action {
    }, previous{};
    action.sa_handler = interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a blocked write returns what it took
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);

    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    ::fcntl(fds[1], F_SETPIPE_SZ, 4096);
    std::string bytes(2 << 20, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);

    std::atomic<bool> finished{false};
    int result = -1;
    std::thread writer([&] {
        result = writeAll(fds[1], bytes);
        finished = true;
        ::close(fds[1]);
    });
    std::string received;
    char buffer[1000];
    for (;;) {
        ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        ASSERT_GE(n, 0) << std::strerror(errno);
        if (n == 0) break;
        received.append(buffer, static_cast<size_t>(n));
        if (!finished) ::pthread_kill(writer.native_handle(), SIGUSR1);
    }
    writer.join();
    ::close(fds[0]);
    ::sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(received.size(), bytes.size());
    EXPECT_TRUE(received == bytes);
}

TEST(WriteAll, ReportsTheErrorOfTheWriteThatFailed) {
    EXPECT_EQ(writeAll(-1, "x"), EBADF);
    {
        FileDescriptor full(::open("/dev/full", O_WRONLY | O_CLOEXEC));
        ASSERT_GE(full.get(), 0);
        EXPECT_EQ(writeAll(full.get(), "x"), ENOSPC);
        EXPECT_EQ(writeAll(full.get(), ""), 0);  // nothing to write, nothing written
    }
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    ::close(fds[0]);
    // No reader: EPIPE, with the signal that comes with it kept away from the test.
    sigset_t pipeSignal, previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous), 0);
    EXPECT_EQ(writeAll(fds[1], "lost"), EPIPE);
    timespec none{};
    ::sigtimedwait(&pipeSignal, nullptr, &none);
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(fds[1]);
}
