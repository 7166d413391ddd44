// The handler's operations, called through the virtual tables of a handler
// that the real DLL created.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>

#include "support/plugin_loader.h"

namespace {

// The three links of the host chain that QueryHost follows, counting calls.
struct ChainLog {
    int serviceCalls = 0;
    int providerCalls = 0;
    int valueCalls = 0;
    uintptr_t arguments[3] = {};
};

class FakeProvider : public IHostProvider {
public:
    explicit FakeProvider(ChainLog& log) : m_log(log) {}
    void Reserved1() override { ADD_FAILURE() << "wrong slot"; }
    void Reserved2() override { ADD_FAILURE() << "wrong slot"; }
    void Reserved3() override { ADD_FAILURE() << "wrong slot"; }
    uintptr_t GetValue() override
    {
        ++m_log.valueCalls;
        return 0xC0FFEE;
    }

private:
    ChainLog& m_log;
};

class FakeService : public IHostService {
public:
    FakeService(ChainLog& log, IHostProvider* provider) : m_log(log), m_provider(provider) {}
    void Reserved1() override { ADD_FAILURE() << "wrong slot"; }
    void Reserved2() override { ADD_FAILURE() << "wrong slot"; }
    void Reserved3() override { ADD_FAILURE() << "wrong slot"; }
    void Reserved4() override { ADD_FAILURE() << "wrong slot"; }
    void Reserved5() override { ADD_FAILURE() << "wrong slot"; }
    void Reserved6() override { ADD_FAILURE() << "wrong slot"; }
    IHostProvider* GetProvider() override
    {
        ++m_log.providerCalls;
        return m_provider;
    }

private:
    ChainLog& m_log;
    IHostProvider* m_provider;
};

class FakeHostObject : public IHostObject {
public:
    FakeHostObject(ChainLog& log, IHostService* service) : m_log(log), m_service(service) {}
    void Reserved1() override { ADD_FAILURE() << "wrong slot"; }
    IHostService* QueryService(uintptr_t first, uintptr_t second, uintptr_t third) override
    {
        ++m_log.serviceCalls;
        m_log.arguments[0] = first;
        m_log.arguments[1] = second;
        m_log.arguments[2] = third;
        return m_service;
    }

private:
    ChainLog& m_log;
    IHostService* m_service;
};

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

LockAttempt LockFromOtherThread(CHandler* handler, bool unlockAfter)
{
    LockAttempt attempt;
    OnOtherThread([&] {
        const ULONGLONG start = GetTickCount64();
        attempt.locked = handler->Lock();
        attempt.elapsedMs = static_cast<DWORD>(GetTickCount64() - start);
        if (attempt.locked && unlockAfter)
            handler->Unlock();
    });
    return attempt;
}

TEST_F(Handler, NewHandler_AnswersItsDefaults)
{
    EXPECT_EQ(handler->GetHostValue(), 0u);
    EXPECT_EQ(handler->QueryHost(1, 2, 3), 0u);
    EXPECT_FALSE(handler->QueryOption());
    EXPECT_FALSE(handler.handler()->QueryExtraOption());
    EXPECT_EQ(handler->GetKind(), 1);
    handler->Reset();
    EXPECT_EQ(handler->GetHostValue(), 0u);
}

TEST_F(Handler, SetHost_ReplacesBothValues)
{
    handler->SetHost(42, nullptr);
    EXPECT_EQ(handler->GetHostValue(), 42u);
    EXPECT_EQ(handler->QueryHost(1, 2, 3), 0u);

    ChainLog log;
    FakeHostObject host(log, nullptr);
    handler->SetHost(UINTPTR_MAX, &host);
    EXPECT_EQ(handler->GetHostValue(), UINTPTR_MAX);
    handler->QueryHost(0, 0, 0);
    EXPECT_EQ(log.serviceCalls, 1);

    handler->SetHost(7, nullptr);
    EXPECT_EQ(handler->QueryHost(0, 0, 0), 0u);
    EXPECT_EQ(log.serviceCalls, 1) << "the replaced host object must not be called";
}

TEST_F(Handler, QueryHost_FollowsTheWholeChainWithArgumentsUnchanged)
{
    ChainLog log;
    FakeProvider provider(log);
    FakeService service(log, &provider);
    FakeHostObject host(log, &service);
    handler->SetHost(1, &host);

    const uintptr_t high = uintptr_t{0xFEDCBA98} << 32;
    EXPECT_EQ(handler->QueryHost(high | 1, 2, high), 0xC0FFEEu);
    EXPECT_EQ(log.arguments[0], high | 1);
    EXPECT_EQ(log.arguments[1], 2u);
    EXPECT_EQ(log.arguments[2], high);
    EXPECT_EQ(log.serviceCalls, 1);
    EXPECT_EQ(log.providerCalls, 1);
    EXPECT_EQ(log.valueCalls, 1);
}

TEST_F(Handler, QueryHost_StopsAtTheFirstMissingLink)
{
    ChainLog noService;
    FakeHostObject lonelyHost(noService, nullptr);
    handler->SetHost(1, &lonelyHost);
    EXPECT_EQ(handler->QueryHost(1, 2, 3), 0u);
    EXPECT_EQ(noService.serviceCalls, 1);
    EXPECT_EQ(noService.providerCalls + noService.valueCalls, 0);

    ChainLog noProvider;
    FakeService emptyService(noProvider, nullptr);
    FakeHostObject host(noProvider, &emptyService);
    handler->SetHost(1, &host);
    EXPECT_EQ(handler->QueryHost(1, 2, 3), 0u);
    EXPECT_EQ(noProvider.providerCalls, 1);
    EXPECT_EQ(noProvider.valueCalls, 0);
}

TEST_F(Handler, Lock_HeldByAnotherThread_TimesOutThenSucceedsAfterUnlock)
{
    CHandler* target = handler.handler();
    ASSERT_TRUE(target->Lock());

    // An Unlock from a thread that does not own the mutex changes nothing.
    bool strayUnlock = false;
    OnOtherThread([&] { strayUnlock = target->Unlock(); });
    EXPECT_TRUE(strayUnlock);

    const LockAttempt whileHeld = LockFromOtherThread(target, true);
    EXPECT_FALSE(whileHeld.locked);
    EXPECT_GE(whileHeld.elapsedMs, 1900u) << "the wait is 2000 ms";
    EXPECT_LT(whileHeld.elapsedMs, 20000u);

    EXPECT_TRUE(target->Unlock());
    EXPECT_TRUE(LockFromOtherThread(target, true).locked);
}

TEST_F(Handler, Lock_IsRecursive_FreeOnlyAfterAsManyUnlocks)
{
    CHandler* target = handler.handler();
    ASSERT_TRUE(target->Lock());
    ASSERT_TRUE(target->Lock());
    EXPECT_TRUE(target->Unlock());
    EXPECT_FALSE(LockFromOtherThread(target, true).locked) << "one Lock is still held";
    EXPECT_TRUE(target->Unlock());
    EXPECT_TRUE(LockFromOtherThread(target, true).locked);
}

TEST_F(Handler, Lock_AbandonedByAnEndedThread_IsTakenOver)
{
    CHandler* target = handler.handler();
    const LockAttempt owner = LockFromOtherThread(target, false);  // ends while holding it
    ASSERT_TRUE(owner.locked);
    EXPECT_TRUE(target->Lock());
    EXPECT_TRUE(target->Unlock());
    EXPECT_TRUE(LockFromOtherThread(target, true).locked);
}

TEST_F(Handler, TwoHandlers_HaveIndependentMutexes)
{
    HandlerOwner other(plugin.CreateTarvel());
    ASSERT_NE(other.get(), nullptr);
    ASSERT_TRUE(handler.handler()->Lock());
    const LockAttempt attempt = LockFromOtherThread(other.handler(), true);
    EXPECT_TRUE(attempt.locked);
    EXPECT_LT(attempt.elapsedMs, 1900u);
    handler.handler()->Unlock();
}

}  // namespace
