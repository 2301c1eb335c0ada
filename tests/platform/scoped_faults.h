// Fault injection for one scope of a native test: QXZ_FAULTS as given, and
// unset again afterwards.
#ifndef QXZ_TESTS_PLATFORM_SCOPED_FAULTS_H
#define QXZ_TESTS_PLATFORM_SCOPED_FAULTS_H

#include <cstdlib>

namespace qxz::test {

class ScopedFaults {
 public:
  explicit ScopedFaults(const char* pszFaults) { setenv("QXZ_FAULTS", pszFaults, 1); }
  ~ScopedFaults() { unsetenv("QXZ_FAULTS"); }
  ScopedFaults(const ScopedFaults&) = delete;
  ScopedFaults& operator=(const ScopedFaults&) = delete;
};

}  // namespace qxz::test

#endif  // QXZ_TESTS_PLATFORM_SCOPED_FAULTS_H
