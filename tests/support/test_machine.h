// A fresh machine for each test.
//
// Natively every TestMachine gets a new emulated machine root (and leaves
// the environment as it found it). Under Windows (Wine) there is one real
// machine; TestMachine then only provides a fresh temporary directory.
#ifndef QXZ_TESTS_SUPPORT_TEST_MACHINE_H
#define QXZ_TESTS_SUPPORT_TEST_MACHINE_H

#include <string>
#include <vector>

#include "platform/win32.h"

namespace qxz::test
{

// True when the tests run against our emulated machine, false on Windows.
bool IsEmulatedMachine();

class TestMachine
{
public:
    // Natively the root is made in sHostParent (a host directory), by default
    // the host's temporary directory.
    explicit TestMachine(const std::string& sHostParent = std::string());
    ~TestMachine();
    TestMachine(const TestMachine&) = delete;
    TestMachine& operator=(const TestMachine&) = delete;

    // A new empty directory, in Windows form ("C:\..." natively, the user's
    // temporary directory under Windows), removed with the machine.
    std::string NewDirectory(const std::string& sLabel);

    // The emulated machine's root (empty under Windows).
    const std::string& Root() const
    {
        return m_sRoot;
    }

private:
    std::string m_sRoot;
    std::string m_sSavedRootVariable;
    bool m_fHadRootVariable = false;
    std::vector<std::string> m_vDirectories;
};

// Deletes a registry key and everything below it (missing is fine).
void DeleteRegistryTree(HKEY hParent, const std::string& sName);

// True when the key sPath below HKEY_LOCAL_MACHINE can be opened.
bool KeyExists(const std::string& sPath);

// Reads a file given in Windows form; empty when it cannot be read.
std::string ReadFileText(const std::string& sWindowsPath);

// Splits text into lines at "\n" (a final newline ends the last line).
std::vector<std::string> SplitLines(const std::string& sText);

} // namespace qxz::test

#endif // QXZ_TESTS_SUPPORT_TEST_MACHINE_H
