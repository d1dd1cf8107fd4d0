// The registry helpers: named paths under a root key, text values, and deletion of a value
// or a whole key. Portable: the registry itself is behind the Registry interface.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quellix {

// The registry as the helpers use it; one Win32 implementation and one stand-in for tests.
// Calls return the Win32 error code (0 for success).
class Registry {
public:
    using Key = std::uintptr_t;

    static constexpr Key kCurrentUser = 0x80000001;   // HKEY_CURRENT_USER
    static constexpr Key kLocalMachine = 0x80000002;  // HKEY_LOCAL_MACHINE

    static constexpr std::uint32_t kAllAccess = 0xF003F;  // KEY_ALL_ACCESS
    static constexpr std::uint32_t kRead = 0x20019;       // KEY_READ
    static constexpr std::uint32_t kWrite = 0x20006;      // KEY_WRITE

    // Value types: text, text with %variables%, a 32-bit number.
    static constexpr std::uint32_t kTypeSz = 1;
    static constexpr std::uint32_t kTypeExpandSz = 2;
    static constexpr std::uint32_t kTypeDword = 4;

    static constexpr long kSuccess = 0;
    static constexpr long kFileNotFound = 2;
    static constexpr long kAccessDenied = 5;
    static constexpr long kNoMoreItems = 259;

    // RegCreateKeyEx: opens the key, creating it and any missing parents (non-volatile).
    virtual long CreateKey(Key root, const std::string& path, std::uint32_t access, Key* key) = 0;
    // RegOpenKeyEx: opens an existing key; an empty path opens `root` itself.
    virtual long OpenKey(Key root, const std::string& path, std::uint32_t access, Key* key) = 0;
    // RegSetValueEx with REG_SZ. An empty name is the key's default value.
    virtual long SetString(Key key, const std::string& name, const std::string& text) = 0;
    // RegQueryValueEx: the value's type, the size of its data in bytes as stored, and its
    // data: text as stored (including a terminating NUL if it has one), a number (kTypeDword
    // of four bytes) in decimal digits.
    virtual long QueryValue(Key key, const std::string& name, std::string* data, std::uint32_t* type,
                            std::uint32_t* size) = 0;
    virtual long DeleteValue(Key key, const std::string& name) = 0;
    // RegEnumValue: the name of the key's value at `index`; kNoMoreItems past the last.
    virtual long EnumValueName(Key key, std::uint32_t index, std::string* name) = 0;
    // RegDeleteKey: deletes a subkey (without subkeys of its own) of an open key.
    virtual long DeleteKey(Key key, const std::string& subkey) = 0;
    virtual void CloseKey(Key key) = 0;

protected:
    ~Registry() = default;
};

// The value name that stands for a key's unnamed default value.
inline constexpr std::string_view kDefaultValueName = "*";

// Drops one leading and then one trailing backslash.
std::string NormalizeKeyPath(std::string_view path);

// Writes a text value, creating the key as needed; true when the value was written.
bool WriteRegString(Registry& registry, Registry::Key root, std::string_view path, std::string_view name,
                    std::string_view text);

// Reads a text value; the default when the key or value is missing or cannot be read, or
// holds neither text nor a number (a four-byte REG_DWORD, as an administrator may store
// one, reads as its decimal digits).
std::string ReadRegString(Registry& registry, Registry::Key root, std::string_view path, std::string_view name,
                          std::string_view defaultValue);

// Deletes a value, or, with an empty name, the key itself; true when that succeeded.
bool DeleteRegEntry(Registry& registry, Registry::Key root, std::string_view path, std::string_view name);

}  // namespace quellix
