// Counting semaphore of the POSIX kind, and a scoped holder for it.
#pragma once

#include <semaphore.h>

#include <cerrno>
#include <ctime>

namespace vkvx {

class Semaphore {
public:
    explicit Semaphore(unsigned initial = 0) { sem_init(&sem_, 0, initial); }
    ~Semaphore() { sem_destroy(&sem_); }
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    void post() { sem_post(&sem_); }
    void wait()
    {
        while (sem_wait(&sem_) != 0 && errno == EINTR) {
        }
    }
    // Waits at most timeout_ms; true when the semaphore was taken.
    bool waitFor(long timeout_ms)
    {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        ts.tv_sec += timeout_ms / 1000;
        ts.tv_nsec += (timeout_ms % 1000) * 1000000L;
        if (ts.tv_nsec >= 1000000000L) {
            ts.tv_sec += 1;
            ts.tv_nsec -= 1000000000L;
        }
        int rc;
        while ((rc = sem_timedwait(&sem_, &ts)) != 0 && errno == EINTR) {
        }
        return rc == 0;
    }

private:
    sem_t sem_{};
};

// Holds a semaphore used as a mutual-exclusion lock for one scope.
class SemaphoreGuard {
public:
    explicit SemaphoreGuard(Semaphore& s) : s_(s) { s_.wait(); }
    ~SemaphoreGuard() { s_.post(); }
    SemaphoreGuard(const SemaphoreGuard&) = delete;
    SemaphoreGuard& operator=(const SemaphoreGuard&) = delete;

private:
    Semaphore& s_;
};

}  // namespace vkvx
