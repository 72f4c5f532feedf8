// debug_sinks_posix.cpp - the debug channel's monitor handshake over POSIX shared memory and
// named semaphores, and the debug device, which this platform does not have.
//
// The names are those of the classic handshake, with the leading slash POSIX asks for. Named
// objects outlive the process that made them, so the presence of the semaphores alone does not
// mean that a monitor runs: the monitor also holds an exclusive lock on the shared buffer for as
// long as it lives, and the kernel drops that lock however the monitor ends. A sender that finds
// the lock free skips the message at once; one that waits for a busy monitor looks again every
// 100 ms and gives up when the monitor has gone.
#include "platform/platform.h"

#include <fcntl.h>
#include <semaphore.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace sys {

namespace {

constexpr const char* bufferName = "/DBWIN_BUFFER";
constexpr const char* bufferReadyName = "/DBWIN_BUFFER_READY";
constexpr const char* dataReadyName = "/DBWIN_DATA_READY";
constexpr int livenessPollMilliseconds = 100;

timespec deadlineAfter(int milliseconds) {
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t); // sem_timedwait measures against this clock
    t.tv_sec += milliseconds / 1000;
    t.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (t.tv_nsec >= 1000000000L) {
        t.tv_sec += 1;
        t.tv_nsec -= 1000000000L;
    }
    return t;
}

// True while a monitor holds the exclusive lock on the buffer behind `fd`.
bool monitorAlive(int fd) {
    if (flock(fd, LOCK_SH | LOCK_NB) == 0) {
        flock(fd, LOCK_UN);
        return false;
    }
    return errno == EWOULDBLOCK;
}

// Waits for the buffer to be free. False when the monitor is gone or the wait fails.
bool waitForBuffer(sem_t* bufferReady, int fd) {
    for (;;) {
        if (!monitorAlive(fd)) {
            return false;
        }
        const timespec until = deadlineAfter(livenessPollMilliseconds);
        if (sem_timedwait(bufferReady, &until) == 0) {
            return true;
        }
        if (errno != ETIMEDOUT && errno != EINTR) {
            return false;
        }
    }
}

} // namespace

bool sendToDebugMonitor(const char* text) {
    sem_t* bufferReady = sem_open(bufferReadyName, 0);
    if (bufferReady == SEM_FAILED) {
        return false; // no monitor has run
    }
    sem_t* dataReady = sem_open(dataReadyName, 0);
    if (dataReady == SEM_FAILED) {
        sem_close(bufferReady);
        return false;
    }
    bool sent = false;
    const int fd = shm_open(bufferName, O_RDWR, 0);
    struct stat info {};
    if (fd >= 0 && fstat(fd, &info) == 0 && info.st_size >= static_cast<off_t>(dbwinViewSize)) {
        void* view = mmap(nullptr, dbwinViewSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (view != MAP_FAILED) {
            if (waitForBuffer(bufferReady, fd)) {
                auto* bytes = static_cast<unsigned char*>(view);
                const uint32_t processId = 0;
                std::memcpy(bytes, &processId, 4);
                const size_t length = text ? strnlen(text, dbwinTextMax) : 0;
                std::memcpy(bytes + 4, text, length);
                bytes[4 + length] = 0;
                sem_post(dataReady);
                sent = true;
            }
            munmap(view, dbwinViewSize);
        }
    }
    if (fd >= 0) {
        close(fd);
    }
    sem_close(dataReady);
    sem_close(bufferReady);
    return sent;
}

struct DebugMonitor {
    int fd = -1;
    unsigned char* buffer = nullptr;
    sem_t* bufferReady = SEM_FAILED;
    sem_t* dataReady = SEM_FAILED;
};

DebugMonitor* openDebugMonitor(std::string& reason) {
    // Only this user's programs may write to the monitor.
    const int fd = shm_open(bufferName, O_RDWR | O_CREAT, 0600);
    if (fd < 0) {
        reason = std::string("cannot make the shared buffer: ") + std::strerror(errno);
        return nullptr;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        reason = "another debug monitor is running";
        close(fd);
        return nullptr;
    }
    auto* m = new DebugMonitor;
    m->fd = fd;
    void* buffer = MAP_FAILED;
    if (ftruncate(fd, static_cast<off_t>(dbwinBufferSize)) == 0) {
        buffer = mmap(nullptr, dbwinBufferSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    }
    if (buffer == MAP_FAILED) {
        reason = std::string("cannot map the shared buffer: ") + std::strerror(errno);
        closeDebugMonitor(m);
        return nullptr;
    }
    m->buffer = static_cast<unsigned char*>(buffer);
    // Semaphores left by a monitor that did not end cleanly may hold any count: start afresh.
    sem_unlink(bufferReadyName);
    sem_unlink(dataReadyName);
    m->bufferReady = sem_open(bufferReadyName, O_CREAT | O_EXCL, 0600, 0);
    m->dataReady = sem_open(dataReadyName, O_CREAT | O_EXCL, 0600, 0);
    if (m->bufferReady == SEM_FAILED || m->dataReady == SEM_FAILED) {
        reason = std::string("cannot make the semaphores: ") + std::strerror(errno);
        closeDebugMonitor(m);
        return nullptr;
    }
    sem_post(m->bufferReady); // the buffer is free
    return m;
}

int receiveDebugMessage(DebugMonitor* monitor, uint32_t& processId, std::string& text,
                        int timeoutMilliseconds) {
    if (!monitor) {
        return -1;
    }
    const timespec until = deadlineAfter(timeoutMilliseconds);
    if (sem_timedwait(monitor->dataReady, &until) != 0) {
        return errno == ETIMEDOUT || errno == EINTR ? 0 : -1;
    }
    std::memcpy(&processId, monitor->buffer, 4);
    // Bounded by the buffer, whatever a sender left in it.
    const auto* chars = reinterpret_cast<const char*>(monitor->buffer + 4);
    text.assign(chars, strnlen(chars, dbwinBufferSize - 4));
    sem_post(monitor->bufferReady);
    return 1;
}

void closeDebugMonitor(DebugMonitor* monitor) {
    if (!monitor) {
        return;
    }
    // Names first, so no new sender finds them; then the lock, so waiting senders give up.
    if (monitor->bufferReady != SEM_FAILED) {
        sem_unlink(bufferReadyName);
        sem_close(monitor->bufferReady);
    }
    if (monitor->dataReady != SEM_FAILED) {
        sem_unlink(dataReadyName);
        sem_close(monitor->dataReady);
    }
    shm_unlink(bufferName);
    if (monitor->buffer) {
        munmap(monitor->buffer, dbwinBufferSize);
    }
    close(monitor->fd);
    delete monitor;
}

DebugDevice* openDebugDevice(const char*) {
    return nullptr;
}

void writeDebugDevice(DebugDevice*, const void*, size_t) {}

} // namespace sys
