#include "platform/posix/advapi32/registry_tree.h"

namespace qxz::posix
{

namespace
{

KeyPath SplitKeyPath(const std::string& sPath)
{
    KeyPath path;
    size_t nStart = 0;
    for (;;)
    {
        size_t nEnd = sPath.find('\\', nStart);
        path.push_back(sPath.substr(nStart, nEnd == std::string::npos ? std::string::npos : nEnd - nStart));
        if (nEnd == std::string::npos)
            return path;
        nStart = nEnd + 1;
    }
}

void AppendKeyAsText(const RegistryKey& key, const std::string& sPath, RegTextKeys* pKeys)
{
    RegTextKey section;
    section.sPath = sPath;
    for (const RegistryValue& value : key.Values())
    {
        section.values.push_back(RegTextValue{value.sName, value.dwType, value.sData, false});
    }
    pKeys->push_back(std::move(section));
    for (const auto& [sName, pSubkey] : key.SubkeyMap())
        AppendKeyAsText(*pSubkey, sPath + "\\" + sName, pKeys);
}

} // namespace

const char* const kRegistryRootNames[2] = {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"};

RegistryKey* RegistryKey::FindSubkey(const std::string& sName) const
{
    auto it = m_subkeys.find(sName);
    return it == m_subkeys.end() ? nullptr : it->second.get();
}

RegistryKey* RegistryKey::CreateSubkey(const std::string& sName, bool* pfCreated)
{
    auto [it, fCreated] = m_subkeys.try_emplace(sName);
    if (fCreated)
        it->second = std::make_unique<RegistryKey>();
    *pfCreated = fCreated;
    return it->second.get();
}

void RegistryKey::DeleteSubkey(const std::string& sName)
{
    m_subkeys.erase(sName);
}

const RegistryValue* RegistryKey::FindValue(const std::string& sName) const
{
    auto it = m_valueIndex.find(sName);
    return it == m_valueIndex.end() ? nullptr : &m_values[it->second];
}

void RegistryKey::SetValue(const std::string& sName, DWORD dwType, const std::string& sData)
{
    auto [it, fNew] = m_valueIndex.try_emplace(sName, m_values.size());
    if (fNew)
    {
        m_values.push_back(RegistryValue{sName, dwType, sData});
    }
    else
    {
        m_values[it->second].dwType = dwType;
        m_values[it->second].sData = sData;
    }
}

bool RegistryKey::DeleteValue(const std::string& sName)
{
    auto it = m_valueIndex.find(sName);
    if (it == m_valueIndex.end())
        return false;
    m_values.erase(m_values.begin() + static_cast<std::ptrdiff_t>(it->second));
    IndexValues();
    return true;
}

void RegistryKey::IndexValues()
{
    m_valueIndex.clear();
    for (size_t i = 0; i < m_values.size(); ++i)
        m_valueIndex.emplace(m_values[i].sName, i);
}

RegistryKey* FindKey(RegistryKey* pTop, const KeyPath& path)
{
    RegistryKey* pKey = pTop;
    for (const std::string& sName : path)
    {
        pKey = pKey->FindSubkey(sName);
        if (pKey == nullptr)
            return nullptr;
    }
    return pKey;
}

bool BuildRegistryTree(const RegTextKeys& keys, RegistryKey* pTop, std::string* psError)
{
    bool fCreated = false;
    for (const char* pszRoot : kRegistryRootNames)
        pTop->CreateSubkey(pszRoot, &fCreated);
    for (const RegTextKey& section : keys)
    {
        KeyPath path = SplitKeyPath(section.sPath);
        if (pTop->FindSubkey(path.front()) == nullptr)
        {
            *psError = "a key outside the registry's roots: " + section.sPath;
            return false;
        }
        if (section.fDelete)
        {
            RegistryKey* pParent = FindKey(pTop, KeyPath(path.begin(), path.end() - 1));
            if (pParent != nullptr && path.size() > 1)
                pParent->DeleteSubkey(path.back());
            continue;
        }
        RegistryKey* pKey = pTop;
        for (const std::string& sName : path)
            pKey = pKey->CreateSubkey(sName, &fCreated);
        for (const RegTextValue& value : section.values)
        {
            if (value.fDelete)
            {
                pKey->DeleteValue(value.sName);
            }
            else
            {
                pKey->SetValue(value.sName, value.dwType, value.sData);
            }
        }
    }
    return true;
}

RegTextKeys RegistryTreeAsText(const RegistryKey& top)
{
    RegTextKeys keys;
    for (const auto& [sName, pRoot] : top.SubkeyMap())
        AppendKeyAsText(*pRoot, sName, &keys);
    return keys;
}

} // namespace qxz::posix
