// Fault injection for one scope of a test: QXZ_FAULTS as given, and unset
// again afterwards. Only the emulated machine reads it; tests that need a
// fault to happen skip themselves on Windows.
#ifndef QXZ_TESTS_SUPPORT_SCOPED_FAULTS_H
#define QXZ_TESTS_SUPPORT_SCOPED_FAULTS_H

#include <cstdlib>
#include <string>

namespace qxz::test
{

class ScopedFaults
{
public:
    explicit ScopedFaults(const std::string& sFaults)
    {
#ifndef _WIN32
        setenv("QXZ_FAULTS", sFaults.c_str(), 1);
#else
        (void)sFaults;
#endif
    }
    ~ScopedFaults()
    {
#ifndef _WIN32
        unsetenv("QXZ_FAULTS");
#endif
    }
    ScopedFaults(const ScopedFaults&) = delete;
    ScopedFaults& operator=(const ScopedFaults&) = delete;
};

} // namespace qxz::test

#endif // QXZ_TESTS_SUPPORT_SCOPED_FAULTS_H
