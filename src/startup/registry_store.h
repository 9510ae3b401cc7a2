// The registry store: string values of the registry. No operation fails visibly; no key stays open.
#pragma once

#include <string>

#include "startup/registry_api.h"

namespace tarnvik {

/// The value as text; empty when the key or value is missing, unreadable or longer than 254.
std::string RegGetString(RegistryApi& api, RegKey root, const std::string& keyPath, const std::string& valueName);

/// Creates the key when missing and writes `text` as REG_SZ. Failure is silent.
void RegSetString(RegistryApi& api, RegKey root, const std::string& keyPath, const std::string& valueName,
                  const std::string& text);

/// Creates the key when missing; an existing key and its values are left alone.
void RegEnsureKey(RegistryApi& api, RegKey root, const std::string& keyPath);

}  // namespace tarnvik
