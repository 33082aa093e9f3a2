// The control case: a program that imports winmm at load time, as Dozemark
// must not. Beside a planted winmm.dll it loads the plant.
#include <windows.h>
#include <mmsystem.h>

int main() {
    return timeGetTime() == 0xFFFFFFFFu ? 1 : 0;
}
