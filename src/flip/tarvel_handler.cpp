#include "flip/tarvel_handler.h"

#include "flip/app_switcher.h"
#include "flip/composition.h"
#include "flip/flip_keys.h"
#include "flip/flip_state.h"
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
    if (StartFlip(*context))
        return 1;
    // A flip is under way: this press ends it if it shows (a press that
    // meets one starting or ending elsewhere has nothing left to do).
    if (EndFlipFromHost())
        SettleSwitcherIfInFront();
    return 0;
}

void CTarvelHandler::Destroy()
{
    // Hosts destroy handlers when a button is rebound and when they exit: a
    // flip left showing would keep the setting lowered until some later
    // press, which may never come.  It ends here as a second press ends it.
    try {
        EndFlipFromHost();
        SettleOwedKeys();  // key-ups owed by a flip that ended before
    } catch (...) {
        // A host object threw while the flip ended; the flip is over by
        // then.  Hosts call Destroy from destructors, where an exception
        // would end the process.
    }
    // The monitor goes, whichever handler's flip started it; no completion
    // is left inside the host's objects on its thread, which the host frees
    // once Destroy returns (past the wait's bound, none is called again).
    StopMonitorForDestroy();
    delete this;
}
