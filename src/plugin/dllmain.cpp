#include <windows.h>

#include "flip/flip_state.h"

// Nothing is created at load and nothing is stopped at unload: the flip state
// and the foreground monitor come to life on first use, and joining a thread
// here, under the loader lock, would deadlock.  The one exception: a key-up
// that did not go in is sent as the library leaves, and the session's flip
// is given up.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_DETACH)
        ReleaseAtExit();
    return TRUE;
}
