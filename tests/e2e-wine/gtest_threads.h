// gtest_threads.h: std::mutex and std::condition_variable for GoogleTest in
// the Windows tree. The cross compiler's win32 thread model lacks them, and
// GoogleTest's Notification needs them; they are made here from the
// Windows primitives. Forced into GoogleTest's and its users' sources.
#ifndef QOX_GTEST_THREADS_H
#define QOX_GTEST_THREADS_H

#include <mutex>
#include <condition_variable>

#if !defined(_GLIBCXX_HAS_GTHREADS)
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#include <windows.h>

namespace std {

class mutex {
public:
    mutex() = default;
    mutex(const mutex &) = delete;
    mutex &operator=(const mutex &) = delete;
    void lock() { AcquireSRWLockExclusive(&lock_); }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }
    SRWLOCK *native_handle() { return &lock_; }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

class condition_variable {
public:
    condition_variable() = default;
    condition_variable(const condition_variable &) = delete;
    condition_variable &operator=(const condition_variable &) = delete;
    void notify_one() { WakeConditionVariable(&cv_); }
    void notify_all() { WakeAllConditionVariable(&cv_); }
    template <class Pred> void wait(unique_lock<mutex> &l, Pred pred)
    {
        while (!pred())
            SleepConditionVariableSRW(&cv_, l.mutex()->native_handle(), INFINITE, 0);
    }

private:
    CONDITION_VARIABLE cv_ = CONDITION_VARIABLE_INIT;
};

}
#endif
#endif
