// The handler's operations, called through tarvel-bridge.dll on handlers that
// the real DLL created.  The host-object chain of QueryHost, which needs host
// objects of the plug-in's ABI, is tested on that side (tests/abi).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>

#include "support/plugin_loader.h"

namespace {

class Handler : public ::testing::Test {
protected:
    PluginLoader plugin;
    HandlerOwner handler{plugin.CreateTarvel()};

    void SetUp() override { ASSERT_NE(handler.get(), nullptr); }
};

// Runs `body` on a thread of its own and waits for it to end.
template <typename Body>
void OnOtherThread(Body body)
{
    auto run = [](void* parameter) -> DWORD {
        (*static_cast<Body*>(parameter))();
        return 0;
    };
    UniqueHandle thread(CreateThread(nullptr, 0, run, &body, 0, nullptr));
    ASSERT_TRUE(thread);
    WaitForSingleObject(thread.get(), INFINITE);
}

// Lock on another thread: its answer and how long it took.
struct LockAttempt {
    bool locked = false;
    DWORD elapsedMs = 0;
};

LockAttempt LockFromOtherThread(void* handler, bool unlockAfter)
{
    LockAttempt attempt;
    OnOtherThread([&] {
        const ULONGLONG start = GetTickCount64();
        attempt.locked = bridge::Lock(handler);
        attempt.elapsedMs = static_cast<DWORD>(GetTickCount64() - start);
        if (attempt.locked && unlockAfter)
            bridge::Unlock(handler);
    });
    return attempt;
}

TEST_F(Handler, NewHandler_AnswersItsDefaults)
{
    EXPECT_EQ(handler.GetHostValue(), 0u);
    EXPECT_EQ(handler.QueryHost(1, 2, 3), 0u);
    EXPECT_FALSE(handler.QueryOption());
    EXPECT_FALSE(handler.QueryExtraOption());
    EXPECT_EQ(handler.GetKind(), 1);
    handler.Reset();
    EXPECT_EQ(handler.GetHostValue(), 0u);
}

TEST_F(Handler, SetHost_ReplacesTheValue_AndResetKeepsIt)
{
    handler.SetHost(42, nullptr);
    EXPECT_EQ(handler.GetHostValue(), 42u);
    EXPECT_EQ(handler.QueryHost(1, 2, 3), 0u) << "no host object: no chain to follow";
    handler.SetHost(UINTPTR_MAX, nullptr);
    EXPECT_EQ(handler.GetHostValue(), UINTPTR_MAX);
    handler.Reset();
    EXPECT_EQ(handler.GetHostValue(), UINTPTR_MAX);
}

TEST_F(Handler, Lock_HeldByAnotherThread_TimesOutThenSucceedsAfterUnlock)
{
    void* target = handler.get();
    ASSERT_TRUE(bridge::Lock(target));

    // An Unlock from a thread that does not own the mutex changes nothing.
    bool strayUnlock = false;
    OnOtherThread([&] { strayUnlock = bridge::Unlock(target); });
    EXPECT_TRUE(strayUnlock);

    const LockAttempt whileHeld = LockFromOtherThread(target, true);
    EXPECT_FALSE(whileHeld.locked);
    EXPECT_GE(whileHeld.elapsedMs, 1900u) << "the wait is 2000 ms";
    EXPECT_LT(whileHeld.elapsedMs, 20000u);

    EXPECT_TRUE(bridge::Unlock(target));
    EXPECT_TRUE(LockFromOtherThread(target, true).locked);
}

TEST_F(Handler, Lock_IsRecursive_FreeOnlyAfterAsManyUnlocks)
{
    void* target = handler.get();
    ASSERT_TRUE(bridge::Lock(target));
    ASSERT_TRUE(bridge::Lock(target));
    EXPECT_TRUE(bridge::Unlock(target));
    EXPECT_FALSE(LockFromOtherThread(target, true).locked) << "one Lock is still held";
    EXPECT_TRUE(bridge::Unlock(target));
    EXPECT_TRUE(LockFromOtherThread(target, true).locked);
}

TEST_F(Handler, Lock_AbandonedByAnEndedThread_IsTakenOver)
{
    void* target = handler.get();
    const LockAttempt owner = LockFromOtherThread(target, false);  // ends while holding it
    ASSERT_TRUE(owner.locked);
    EXPECT_TRUE(bridge::Lock(target));
    EXPECT_TRUE(bridge::Unlock(target));
    EXPECT_TRUE(LockFromOtherThread(target, true).locked);
}

TEST_F(Handler, TwoHandlers_HaveIndependentMutexes)
{
    HandlerOwner other(plugin.CreateTarvel());
    ASSERT_NE(other.get(), nullptr);
    ASSERT_TRUE(handler.Lock());
    const LockAttempt attempt = LockFromOtherThread(other.get(), true);
    EXPECT_TRUE(attempt.locked);
    EXPECT_LT(attempt.elapsedMs, 1900u);
    handler.Unlock();
}

}  // namespace
