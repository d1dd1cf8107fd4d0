#include "shell/registry.h"

namespace quellix {

namespace {

std::string ValueName(std::string_view name)
{
    return name == kDefaultValueName ? std::string() : std::string(name);
}

}  // namespace

std::string NormalizeKeyPath(std::string_view path)
{
    if (path.starts_with('\\'))
        path.remove_prefix(1);
    if (path.ends_with('\\'))
        path.remove_suffix(1);
    return std::string(path);
}

bool WriteRegString(Registry& registry, Registry::Key root, std::string_view path, std::string_view name,
                    std::string_view text)
{
    Registry::Key key = 0;
    if (registry.CreateKey(root, NormalizeKeyPath(path), Registry::kAllAccess, &key) != Registry::kSuccess)
        return false;
    const long result = registry.SetString(key, ValueName(name), std::string(text));
    registry.CloseKey(key);
    return result == Registry::kSuccess;
}

std::string ReadRegString(Registry& registry, Registry::Key root, std::string_view path, std::string_view name,
                          std::string_view defaultValue)
{
    const std::string normalized = NormalizeKeyPath(path);
    Registry::Key key = 0;
    long result = registry.OpenKey(root, normalized, Registry::kAllAccess, &key);
    // Reading asks for full access first; a user without it (HKEY_LOCAL_MACHINE without
    // administrator rights) may still read.
    if (result == Registry::kAccessDenied)
        result = registry.OpenKey(root, normalized, Registry::kRead, &key);
    if (result != Registry::kSuccess)
        return std::string(defaultValue);

    std::string data;
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    result = registry.QueryValue(key, ValueName(name), &data, &type, &size);
    registry.CloseKey(key);
    const bool readable = type == Registry::kTypeSz || type == Registry::kTypeExpandSz ||
                          (type == Registry::kTypeDword && size == 4);
    if (result != Registry::kSuccess || !readable || data.empty())
        return std::string(defaultValue);
    // Another program may have stored its text without the terminator; that last character
    // is part of the text.
    if (data.back() == '\0')
        data.pop_back();
    return data;
}

bool DeleteRegEntry(Registry& registry, Registry::Key root, std::string_view path, std::string_view name)
{
    const bool wholeKey = name.empty();
    Registry::Key key = 0;
    if (registry.OpenKey(root, wholeKey ? std::string() : NormalizeKeyPath(path), Registry::kAllAccess, &key) !=
        Registry::kSuccess)
        return false;
    const long result = wholeKey ? registry.DeleteKey(key, std::string(path))
                                 : registry.DeleteValue(key, ValueName(name));
    registry.CloseKey(key);
    return result == Registry::kSuccess;
}

}  // namespace quellix
