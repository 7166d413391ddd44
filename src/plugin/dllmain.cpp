#include <windows.h>

// Nothing is created at load and nothing is stopped at unload: the flip state
// and the foreground monitor come to life on first use, and joining a thread
// here, under the loader lock, would deadlock.
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
