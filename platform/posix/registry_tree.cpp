#include "platform/posix/registry_tree.h"

#include <algorithm>

namespace qxz::posix {

namespace {

KeyPath SplitKeyPath(const std::string& sPath) {
  KeyPath path;
  size_t nStart = 0;
  for (;;) {
    size_t nEnd = sPath.find('\\', nStart);
    path.push_back(sPath.substr(nStart, nEnd == std::string::npos ? std::string::npos : nEnd - nStart));
    if (nEnd == std::string::npos) return path;
    nStart = nEnd + 1;
  }
}

void AppendKeyAsText(const RegistryKey& key, const std::string& sPath, RegTextKeys* pKeys) {
  RegTextKey section;
  section.sPath = sPath;
  for (const RegistryValue& value : key.Values()) {
    section.values.push_back(RegTextValue{value.sName, value.dwType, value.sData, false});
  }
  pKeys->push_back(std::move(section));
  for (const auto& [sName, pSubkey] : key.SubkeyMap()) AppendKeyAsText(*pSubkey, sPath + "\\" + sName, pKeys);
}

}  // namespace

const char* const kRegistryRootNames[2] = {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"};

bool EqualsIgnoringCase(const std::string& sLeft, const std::string& sRight) {
  RegNameLess less;
  return !less(sLeft, sRight) && !less(sRight, sLeft);
}

RegistryKey* RegistryKey::FindSubkey(const std::string& sName) const {
  auto it = m_subkeys.find(sName);
  return it == m_subkeys.end() ? nullptr : it->second.get();
}

RegistryKey* RegistryKey::CreateSubkey(const std::string& sName, bool* pfCreated) {
  auto [it, fCreated] = m_subkeys.try_emplace(sName);
  if (fCreated) it->second = std::make_unique<RegistryKey>();
  *pfCreated = fCreated;
  return it->second.get();
}

void RegistryKey::DeleteSubkey(const std::string& sName) { m_subkeys.erase(sName); }

const RegistryValue* RegistryKey::FindValue(const std::string& sName) const {
  for (const RegistryValue& value : m_values) {
    if (EqualsIgnoringCase(value.sName, sName)) return &value;
  }
  return nullptr;
}

void RegistryKey::SetValue(const std::string& sName, DWORD dwType, const std::string& sData) {
  for (RegistryValue& value : m_values) {
    if (EqualsIgnoringCase(value.sName, sName)) {
      value.dwType = dwType;
      value.sData = sData;
      return;
    }
  }
  m_values.push_back(RegistryValue{sName, dwType, sData});
}

bool RegistryKey::DeleteValue(const std::string& sName) {
  auto it = std::find_if(m_values.begin(), m_values.end(),
                         [&](const RegistryValue& value) { return EqualsIgnoringCase(value.sName, sName); });
  if (it == m_values.end()) return false;
  m_values.erase(it);
  return true;
}

RegistryKey* FindKey(RegistryKey* pTop, const KeyPath& path) {
  RegistryKey* pKey = pTop;
  for (const std::string& sName : path) {
    pKey = pKey->FindSubkey(sName);
    if (pKey == nullptr) return nullptr;
  }
  return pKey;
}

bool BuildRegistryTree(const RegTextKeys& keys, RegistryKey* pTop, std::string* psError) {
  bool fCreated = false;
  for (const char* pszRoot : kRegistryRootNames) pTop->CreateSubkey(pszRoot, &fCreated);
  for (const RegTextKey& section : keys) {
    KeyPath path = SplitKeyPath(section.sPath);
    if (pTop->FindSubkey(path.front()) == nullptr) {
      *psError = "a key outside the registry's roots: " + section.sPath;
      return false;
    }
    if (section.fDelete) {
      RegistryKey* pParent = FindKey(pTop, KeyPath(path.begin(), path.end() - 1));
      if (pParent != nullptr && path.size() > 1) pParent->DeleteSubkey(path.back());
      continue;
    }
    RegistryKey* pKey = pTop;
    for (const std::string& sName : path) pKey = pKey->CreateSubkey(sName, &fCreated);
    for (const RegTextValue& value : section.values) {
      if (value.fDelete) {
        pKey->DeleteValue(value.sName);
      } else {
        pKey->SetValue(value.sName, value.dwType, value.sData);
      }
    }
  }
  return true;
}

RegTextKeys RegistryTreeAsText(const RegistryKey& top) {
  RegTextKeys keys;
  for (const auto& [sName, pRoot] : top.SubkeyMap()) AppendKeyAsText(*pRoot, sName, &keys);
  return keys;
}

}  // namespace qxz::posix
