// The emulated registry in memory: a tree of keys whose names compare
// ignoring ASCII case and keep the case they were created with. Values keep
// the order in which they were first set; subkeys are kept sorted ignoring
// case, the order in which Windows and Wine enumerate them.
#ifndef QXZ_PLATFORM_POSIX_ADVAPI32_REGISTRY_TREE_H
#define QXZ_PLATFORM_POSIX_ADVAPI32_REGISTRY_TREE_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "regtext/reg_text.h"

namespace qxz::posix
{

struct RegistryValue
{
    std::string sName;
    DWORD dwType;
    std::string sData;
};

class RegistryKey
{
public:
    using Subkeys = std::map<std::string, std::unique_ptr<RegistryKey>, RegNameLess>;

    const Subkeys& SubkeyMap() const
    {
        return m_subkeys;
    }
    const std::vector<RegistryValue>& Values() const
    {
        return m_values;
    }

    RegistryKey* FindSubkey(const std::string& sName) const;
    // The existing subkey of that name, else a new one (*pfCreated tells).
    RegistryKey* CreateSubkey(const std::string& sName, bool* pfCreated);
    void DeleteSubkey(const std::string& sName);

    const RegistryValue* FindValue(const std::string& sName) const;
    // Replaces the data of an existing value in place (its name keeps its
    // case), else appends the value.
    void SetValue(const std::string& sName, DWORD dwType, const std::string& sData);
    bool DeleteValue(const std::string& sName);

private:
    void IndexValues();

    Subkeys m_subkeys;
    std::vector<RegistryValue> m_values;
    // Position of each value in m_values by name, so that a key with many
    // values loads in n log n.
    std::map<std::string, size_t, RegNameLess> m_valueIndex;
};

// Key paths are lists of names whose first is a root such as
// "HKEY_LOCAL_MACHINE"; the tree's top key holds the roots.
using KeyPath = std::vector<std::string>;

// The names that the registry keeps as roots.
extern const char* const kRegistryRootNames[2];

// The key at path below top, or null.
RegistryKey* FindKey(RegistryKey* pTop, const KeyPath& path);

// Builds the tree that a .reg text describes: its sections applied in order,
// as an import would. False when a section lies outside the known roots.
bool BuildRegistryTree(const RegTextKeys& keys, RegistryKey* pTop, std::string* psError);

// Every key of the tree as a section of its own, depth first.
RegTextKeys RegistryTreeAsText(const RegistryKey& top);

} // namespace qxz::posix

#endif // QXZ_PLATFORM_POSIX_ADVAPI32_REGISTRY_TREE_H
