// 1,000 window flips through tarvel.dll, loaded like a host loads it: each
// with a new handler, a press that starts the flip, a second press that ends
// it and the handler's Destroy, which takes the foreground monitor (and its
// thread) down.  Nothing of it may stay behind.
#include <gtest/gtest.h>

#include <atomic>

#include "soak_figures.h"
#include "support/fake_host.h"
#include "support/foreground_switcher.h"
#include "support/plugin_loader.h"

namespace {

constexpr uint64_t kMouseId = 3;

// The least a host must offer for a flip, counting what the plug-in asks and
// recording nothing that grows.
class CountingMouse : public HostDevice {
public:
    CountingMouse()
    {
        const TbPointingCallbacks callbacks{this, &Get, &Set};
        Attach(TbCreatePointingDevice(&callbacks, TbPointingFirst));
    }
    int Setting() const { return m_setting.load(); }
    int Sets() const { return m_sets.load(); }

private:
    static int32_t Get(void* self, int32_t* setting)
    {
        *setting = static_cast<CountingMouse*>(self)->m_setting.load();
        return 0;
    }
    static int32_t Set(void* self, int32_t setting)
    {
        auto* mouse = static_cast<CountingMouse*>(self);
        mouse->m_setting = setting;
        ++mouse->m_sets;
        return 0;
    }

    std::atomic<int> m_setting{5};
    std::atomic<int> m_sets{0};
};


// One whole flip; false (with a failure recorded) when a press misbehaved.
bool FlipOnce(PluginLoader& plugin, HostContext& context)
{
    HandlerOwner handler(plugin.CreateMacro(L"Tarvel"));
    if (handler.get() == nullptr) {
        ADD_FAILURE() << "no handler";
        return false;
    }
    const int32_t started = handler.Execute(context);
    const int32_t ended = handler.Execute(context);
    EXPECT_EQ(started, 1);
    EXPECT_EQ(ended, 0);
    return started == 1 && ended == 0;
}

bool Flip(PluginLoader& plugin, HostContext& context, int times)
{
    for (int i = 0; i < times; ++i) {
        if (!FlipOnce(plugin, context))
            return false;
    }
    return true;
}

TEST(Soak, ThousandFlipsWithHandlersMadeAndDestroyed_NoHandleOrMemoryGrowth)
{
    constexpr int kFlips = 1000;
    // Read by the stand-in dwmapi.dll in the prefix's system folder (Wine's
    // own always answers that composition is off, and then there is no flip).
    SetEnvironmentVariableW(L"TARVEL_TEST_COMPOSITION", L"on");
    ForegroundSwitcher desktop;
    ASSERT_TRUE(desktop.SwitchTo(L"notepad.exe")) << "the monitor needs a foreground application to name";
    PluginLoader plugin;
    ASSERT_TRUE(plugin.Loaded());
    CountingMouse mouse;
    OneDeviceApplication host(kMouseId, mouse.Bridge());
    HostContext context;
    context.SetDevice(&mouse);
    context.SetApplication(&host);
    context.SetDeviceId(kMouseId);
    context.SetHostFolder(L"C:\\Host\\");
    // Warm-up: the first monitor thread, the runtime's output buffer, the heap.
    ASSERT_TRUE(Flip(plugin, context, 20));

    const ProcessFigures before = MeasureProcess();
    ASSERT_TRUE(Flip(plugin, context, kFlips));
    const ProcessFigures after = MeasureProcess();
    PrintFigures("1,000 flips", before, after);

    EXPECT_EQ(mouse.Sets(), 2 * (kFlips + 20)) << "each flip lowers the setting once and restores it once";
    EXPECT_EQ(mouse.Setting(), 5);
    // Each flip opens and closes a monitor thread, its events and its hook:
    // one handle kept per flip would show as 1,000.
    EXPECT_LE(after.handles, before.handles);
    // 64 KiB is one step of heap growth, which allocator noise can take; a
    // leak of 64 bytes per flip would already pass it.
    EXPECT_LE(after.privateBytes, before.privateBytes + 64 * 1024);
    SetEnvironmentVariableW(L"TARVEL_TEST_COMPOSITION", nullptr);
}

}  // namespace
