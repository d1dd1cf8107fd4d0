#include "shell/registry_win.h"

#include <windows.h>

#include <vector>

#include "base/utf.h"

namespace quellix {

namespace {

bool IsRoot(Registry::Key key)
{
    return key == Registry::kCurrentUser || key == Registry::kLocalMachine;
}

HKEY ToHkey(Registry::Key key)
{
    if (key == Registry::kCurrentUser)
        return HKEY_CURRENT_USER;
    if (key == Registry::kLocalMachine)
        return HKEY_LOCAL_MACHINE;
    return reinterpret_cast<HKEY>(key);
}

}  // namespace

long Win32Registry::CreateKey(Key root, const std::string& path, std::uint32_t access, Key* key)
{
    HKEY created = nullptr;
    const LONG result = RegCreateKeyExW(ToHkey(root), Widen(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                        nullptr, &created, nullptr);
    *key = result == ERROR_SUCCESS ? reinterpret_cast<Key>(created) : 0;
    return result;
}

long Win32Registry::OpenKey(Key root, const std::string& path, std::uint32_t access, Key* key)
{
    HKEY opened = nullptr;
    const LONG result = RegOpenKeyExW(ToHkey(root), Widen(path).c_str(), 0, access, &opened);
    *key = result == ERROR_SUCCESS ? reinterpret_cast<Key>(opened) : 0;
    return result;
}

long Win32Registry::SetString(Key key, const std::string& name, const std::string& text)
{
    const std::wstring wide = Widen(text);
    // The length counts the terminating NUL: a REG_SZ without one is malformed, and readers
    // that trust it run past the end of the data. RegSetValueExW mends a length that forgot
    // it only when a NUL happens to follow the data in memory.
    return RegSetValueExW(ToHkey(key), Widen(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                          static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

long Win32Registry::QueryValue(Key key, const std::string& name, std::string* data, std::uint32_t* type,
                               std::uint32_t* size)
{
    data->clear();
    const std::wstring wideName = Widen(name);
    std::vector<wchar_t> buffer;
    for (;;) {
        DWORD needed = 0;
        DWORD kind = REG_NONE;
        LONG result = RegQueryValueExW(ToHkey(key), wideName.c_str(), nullptr, &kind, nullptr, &needed);
        if (result != ERROR_SUCCESS)
            return result;
        buffer.assign(needed / sizeof(wchar_t) + 1, L'\0');
        DWORD read = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        result = RegQueryValueExW(ToHkey(key), wideName.c_str(), nullptr, &kind, reinterpret_cast<BYTE*>(buffer.data()),
                                  &read);
        // Someone made the value longer between the two calls: ask again.
        if (result == ERROR_MORE_DATA)
            continue;
        *type = kind;
        *size = read;
        if (result == ERROR_SUCCESS && kind == REG_DWORD && read == sizeof(DWORD))
            *data = std::to_string(*reinterpret_cast<const DWORD*>(buffer.data()));
        else if (result == ERROR_SUCCESS)
            *data = Narrow(std::wstring_view(buffer.data(), read / sizeof(wchar_t)));
        return result;
    }
}

long Win32Registry::DeleteValue(Key key, const std::string& name)
{
    return RegDeleteValueW(ToHkey(key), Widen(name).c_str());
}

long Win32Registry::EnumValueName(Key key, std::uint32_t index, std::string* name)
{
    // A value name holds at most 16,383 characters.
    std::vector<wchar_t> buffer(16384);
    DWORD length = static_cast<DWORD>(buffer.size());
    const LONG result = RegEnumValueW(ToHkey(key), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
    *name = result == ERROR_SUCCESS ? Narrow(std::wstring_view(buffer.data(), length)) : std::string();
    return result;
}

long Win32Registry::DeleteKey(Key key, const std::string& subkey)
{
    return RegDeleteKeyW(ToHkey(key), Widen(subkey).c_str());
}

void Win32Registry::CloseKey(Key key)
{
    if (!IsRoot(key))
        RegCloseKey(ToHkey(key));
}

}  // namespace quellix
