/* quick.c: the setup program of the installation benchmark under Wine: it
 * ends at once, so that the installer's own work is what is measured. */
#include <windows.h>

void quick_entry(void)
{
    ExitProcess(0);
}
