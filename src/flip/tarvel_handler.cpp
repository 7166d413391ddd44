#include "flip/tarvel_handler.h"

#include "flip/app_switcher.h"
#include "flip/composition.h"
#include "flip/flip_state.h"
#include "foreground/foreground_monitor.h"
#include "host/host.h"

int32_t CTarvelHandler::Execute(MacroContext* context)
{
    // A host that passes no record gets nothing done rather than a crash.
    if (context == nullptr)
        return 0;
    if (!IsCompositionEnabled()) {
        LaunchAppSwitcher(context);  // the flip, if any, is left as it is
        return 1;
    }
    RememberApplication(context->Application);
    // Only this thread moves the flip out of Idle, so a flip seen idle here
    // stays idle until StartFlip.
    if (FlipActive()) {
        EndFlipFromHost();
        return 0;
    }
    StartFlip(*context);
    return 1;
}

namespace {

// The monitor is the library's, whichever handler registered with it; and
// the handler goes however the flip's end went.
class HandlerEnd {
public:
    explicit HandlerEnd(CTarvelHandler* handler) noexcept : m_handler(handler) {}
    ~HandlerEnd()
    {
        CForegroundMonitor::DestroyInstance();
        delete m_handler;
    }
    HandlerEnd(const HandlerEnd&) = delete;
    HandlerEnd& operator=(const HandlerEnd&) = delete;

private:
    CTarvelHandler* m_handler;
};

}  // namespace

void CTarvelHandler::Destroy()
{
    HandlerEnd end(this);
    // Hosts destroy handlers when a button is rebound and when they exit: a
    // flip left showing would keep the Windows key down until some later
    // press, which may never come.  It ends here as a second press ends it
    // (one that the monitor thread is completing already needs nothing).
    if (FlipShown())
        EndFlipFromHost();
}
