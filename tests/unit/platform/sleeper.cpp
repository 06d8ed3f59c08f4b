// sleeper.cpp: a program that runs for 1.5 seconds and ends; the contract
// tests start it through the shell and watch its file.
#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

int main()
{
#ifdef _WIN32
    Sleep(1500);
#else
    struct timespec t = {1, 500000000};
    while (nanosleep(&t, &t) != 0) {
    }
#endif
    return 0;
}
