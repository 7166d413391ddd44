#include "flip/tarvel_handler.h"

#include "flip/app_switcher.h"
#include "flip/composition.h"
#include "host/host.h"

int32_t CTarvelHandler::Execute(MacroContext* context)
{
    // A host that passes no record gets nothing done rather than a crash.
    if (context == nullptr)
        return 0;
    if (!IsCompositionEnabled()) {
        LaunchAppSwitcher(context);
        return 1;
    }
    // The window flip itself comes with the foreground monitor.
    return 0;
}

void CTarvelHandler::Destroy()
{
    delete this;
}
