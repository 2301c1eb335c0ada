// Fault injection and call tracing: QXZ_FAULTS makes a call of the layer
// fail, QXZ_TRACE_CALLS lists the calls of a run.
#ifndef QXZ_PLATFORM_POSIX_MACHINE_FAULTS_H
#define QXZ_PLATFORM_POSIX_MACHINE_FAULTS_H

#include "platform/win32.h"

namespace qxz::posix
{

// Fault injection, for tests.
//
// QXZ_FAULTS holds entries separated by ';': CALL[@NAME][#N]=CODE.
//   CALL  a Win32 call ("RegSetValueExA"), a runtime call ("_fsopen") or a
//         system call of the layer (one of SystemCallNames())
//   NAME  only when the call's name argument (value name, key path, object
//         name, file path) equals NAME, ignoring case; a NAME ending in '*'
//         matches every name that begins with the rest
//   N     only the Nth such call in this process (1-based); every call if absent
//   CODE  the Win32 error code to fail with; for a runtime or system call,
//         the errno value
// Returns true and the code when the call is to fail now. With
// QXZ_TRACE_CALLS naming a host file, every consultation is also appended to
// that file as "CALL<tab>NAME", which lists the calls a run makes.
//
// This is the check itself. Each way of reporting a failure has one adapter
// over it: CallFaulted (call_steps.h) sets the last error of a Win32 call,
// the registry's calls return the code (registry.cpp), and ErrnoCallFaulted
// sets errno for the runtime's calls and the system calls below.
bool FaultInjected(const char* pszCall, const char* pszName, DWORD* pdwCode);

// For a call that reports its failure through errno: true, with errno set to
// the injected code, when the call is to fail now.
bool ErrnoCallFaulted(const char* pszCall, const char* pszName);

} // namespace qxz::posix

#endif // QXZ_PLATFORM_POSIX_MACHINE_FAULTS_H
