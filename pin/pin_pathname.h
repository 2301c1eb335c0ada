// The Pin path name: the program's own path name as its launcher wrote it,
// without enclosing quotes. The start-up sets it once before the entry runs;
// the entry logs it and the pre-install registers it.
#ifndef QXZ_PIN_PIN_PATHNAME_H
#define QXZ_PIN_PIN_PATHNAME_H

#include "text/qx_ci_string.h"

void SetPinPathname(const CQxCiString& sPinPathname);

// Empty until the start-up has set it.
const CQxCiString& GetPinPathname();

#endif // QXZ_PIN_PIN_PATHNAME_H
