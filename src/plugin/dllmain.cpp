#include <windows.h>

#include "flip/flip_state.h"

// Nothing is created at load and nothing is stopped at unload: the flip state
// and the foreground monitor come to life on first use, and joining a thread
// here, under the loader lock, would deadlock.  The one exception: a host
// that exits while a flip shows must not leave the user's Windows key down,
// so the key goes up as the process detaches.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_DETACH)
        ReleaseHeldKeyAtExit();
    return TRUE;
}
