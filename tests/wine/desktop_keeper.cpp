// Keeps Wine's desktop process up for a whole test run.  Wine ends the
// desktop process (explorer.exe) a second after the last program with a
// window exits, and the next program with a window starts it again; under
// emulation that costs seconds per program, and a program that comes while
// the desktop is closing waits ten seconds for it.  This program holds a
// message-only window, which is never shown and never takes the focus, and
// waits until the Wine environment is stopped.
#include <windows.h>

int main()
{
    HWND window = CreateWindowExA(0, "STATIC", "desktop keeper", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (window == nullptr) return 1;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
}
