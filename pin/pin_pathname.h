// The Pin path name: the program's own path name as its launcher wrote it,
// without enclosing quotes. The start-up sets it once before the entry runs;
// the entry logs it and the pre-install registers it.
#pragma once

#include "text/qx_ci_string.h"

void SetPinPathname(const CQxCiString& sPinPathname);

// Empty until the start-up has set it.
const CQxCiString& GetPinPathname();
