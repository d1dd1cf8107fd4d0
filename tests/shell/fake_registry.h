// The registry in memory, behaving as Windows does wherever the helpers could tell: names
// without regard to letter case, a path that begins with a backslash refused, trailing
// backslashes ignored, access rights checked per handle, REG_SZ data stored with its
// terminating NUL. Every call is logged so that tests can check what was asked, in order.
#pragma once

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "shell/registry.h"

namespace quellix::test {

// Text as a REG_SZ holds it.
inline std::string Sz(std::string_view text)
{
    return std::string(text) + '\0';
}

class FakeRegistry final : public Registry {
public:
    // A number (kTypeDword) is held as its digits, four bytes long unless `bytes` says else;
    // a text as its UTF-16 form would be.
    struct Value {
        Value(std::string text = {}, std::uint32_t kind = kTypeSz, std::optional<std::uint32_t> bytes = {})
            : data(std::move(text)), type(kind),
              size(bytes.value_or(kind == kTypeDword ? 4 : 2 * static_cast<std::uint32_t>(data.size())))
        {
        }
        Value(const char* text) : Value(std::string(text)) {}
        bool operator==(const Value&) const = default;
        std::string data;
        std::uint32_t type;
        std::uint32_t size;
    };
    using Values = std::map<std::string, Value>;  // by name in lower case

    // The key and all beneath open for reading only, as HKEY_LOCAL_MACHINE does for a user
    // without administrator rights.
    void DenyWrite(Key root, std::string_view path = "") { m_readOnly.insert(Path(root, path)); }
    void Put(Key root, std::string_view path, std::string_view name, std::string data, std::uint32_t type = kTypeSz,
             std::optional<std::uint32_t> size = {})
    {
        m_keys[Path(root, path)][Lower(name)] = {std::move(data), type, size};
    }
    bool HasKey(Key root, std::string_view path) const { return m_keys.count(Path(root, path)) > 0; }
    Values ValuesOf(Key root, std::string_view path) const
    {
        const auto found = m_keys.find(Path(root, path));
        return found == m_keys.end() ? Values{} : found->second;
    }
    // The logged calls that begin with `prefix`, without it.
    std::vector<std::string> Calls(std::string_view prefix) const
    {
        std::vector<std::string> calls;
        for (const std::string& call : log) {
            if (call.starts_with(prefix))
                calls.push_back(call.substr(prefix.size()));
        }
        return calls;
    }
    std::size_t OpenHandles() const { return m_handles.size(); }

    std::vector<std::string> log;

    long CreateKey(Key root, const std::string& path, std::uint32_t access, Key* key) override
    {
        return Open("create ", root, path, access, key);
    }
    long OpenKey(Key root, const std::string& path, std::uint32_t access, Key* key) override
    {
        return Open("open ", root, path, access, key);
    }
    long SetString(Key key, const std::string& name, const std::string& text) override
    {
        log.push_back("set " + name + "=" + text);
        if (!(m_handles.at(key).access & kSetValue))
            return kAccessDenied;
        m_keys[m_handles.at(key).path][Lower(name)] = {Sz(text), kTypeSz};
        return kSuccess;
    }
    long QueryValue(Key key, const std::string& name, std::string* data, std::uint32_t* type,
                    std::uint32_t* size) override
    {
        log.push_back("query " + name);
        if (!(m_handles.at(key).access & kQueryValue))
            return kAccessDenied;
        const Values& values = m_keys[m_handles.at(key).path];
        const auto found = values.find(Lower(name));
        if (found == values.end())
            return kFileNotFound;
        *data = found->second.data;
        *type = found->second.type;
        *size = found->second.size;
        return kSuccess;
    }
    long DeleteValue(Key key, const std::string& name) override
    {
        log.push_back("delete value " + name);
        if (!(m_handles.at(key).access & kSetValue))
            return kAccessDenied;
        return m_keys[m_handles.at(key).path].erase(Lower(name)) ? kSuccess : kFileNotFound;
    }
    long EnumValueName(Key key, std::uint32_t index, std::string* name) override
    {
        if (!(m_handles.at(key).access & kQueryValue))
            return kAccessDenied;
        const Values& values = m_keys[m_handles.at(key).path];
        if (index >= values.size())
            return kNoMoreItems;
        // Walks on from the previous call where it can: a test enumerates thousands.
        Handle& handle = m_handles.at(key);
        if (!(handle.enumerated && handle.nextIndex == index))
            handle.next = std::next(values.begin(), index);
        *name = handle.next->first;
        handle.next = std::next(handle.next);
        handle.nextIndex = index + 1;
        handle.enumerated = true;
        return kSuccess;
    }
    long DeleteKey(Key key, const std::string& subkey) override
    {
        log.push_back("delete key " + subkey);
        const std::string path = Join(m_handles.at(key).path, subkey);
        if (subkey.starts_with('\\'))
            return kBadPathname;
        if (!m_keys.count(path))
            return kFileNotFound;
        if (IsReadOnly(path))
            return kAccessDenied;
        m_keys.erase(path);
        return kSuccess;
    }
    void CloseKey(Key key) override
    {
        log.push_back("close");
        m_handles.erase(key);
    }

private:
    static constexpr long kBadPathname = 161;
    static constexpr std::uint32_t kQueryValue = 0x1, kSetValue = 0x2;

    struct Handle {
        std::string path;
        std::uint32_t access;
        bool enumerated = false;
        std::uint32_t nextIndex = 0;
        Values::const_iterator next{};
    };

    static std::string Lower(std::string_view text)
    {
        std::string lower(text);
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        return lower;
    }
    static std::string Join(const std::string& base, std::string_view path)
    {
        while (path.ends_with('\\'))
            path.remove_suffix(1);
        return Lower(path.empty() ? base : base + "\\" + std::string(path));
    }
    static std::string RootName(Key root) { return root == kCurrentUser ? "HKCU" : "HKLM"; }
    static std::string Path(Key root, std::string_view path) { return Join(RootName(root), path); }

    bool IsReadOnly(const std::string& path) const
    {
        return std::any_of(m_readOnly.begin(), m_readOnly.end(),
                           [&](const std::string& top) { return path == top || path.starts_with(top + "\\"); });
    }
    long Open(std::string_view verb, Key root, const std::string& path, std::uint32_t access, Key* key)
    {
        const char* accessName = access == kAllAccess ? " all" : access == kRead ? " read" : " write";
        log.push_back(std::string(verb) + RootName(root) + (path.empty() ? "" : "\\" + path) + accessName);
        const std::string full = Path(root, path);
        if (path.starts_with('\\'))
            return kBadPathname;
        if (verb == "open " && !m_keys.count(full))
            return kFileNotFound;
        if (IsReadOnly(full) && (access & ~kRead))
            return kAccessDenied;
        m_keys[full];
        *key = m_nextHandle++;
        m_handles[*key] = {full, access};
        return kSuccess;
    }

    std::map<std::string, Values> m_keys{{"hkcu", {}}, {"hklm", {}}};  // by path, "hkcu\software\..."
    std::set<std::string> m_readOnly;
    std::map<Key, Handle> m_handles;
    Key m_nextHandle = 0x100;
};

}  // namespace quellix::test
