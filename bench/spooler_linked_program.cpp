// An empty program that imports the print spooler's library, as the Pin
// does: under Wine that import alone brings in the window and graphics
// libraries, which is most of what a Pin run costs beyond an empty program.
#include "platform/win32.h"

int main()
{
    volatile auto pfnEnumPorts = &EnumPortsA;
    return pfnEnumPorts == nullptr;
}
