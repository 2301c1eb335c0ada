#include "pin/pin_pathname.h"

static CQxCiString s_sPinPathname;

void SetPinPathname(const CQxCiString& sPinPathname)
{
    s_sPinPathname = sPinPathname;
}

const CQxCiString& GetPinPathname()
{
    return s_sPinPathname;
}
