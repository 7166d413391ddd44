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
    g_flipState.Application.store(context->Application);
    // Only this thread moves the flip out of Idle, so a flip seen idle here
    // stays idle until StartFlip.
    if (g_flipState.Active()) {
        EndFlipFromHost();
        return 0;
    }
    StartFlip(*context);
    return 1;
}

void CTarvelHandler::Destroy()
{
    // Whichever handler registered with it: the monitor is the library's.
    CForegroundMonitor::DestroyInstance();
    delete this;
}
