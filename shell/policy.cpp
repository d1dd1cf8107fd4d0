#include "shell/policy.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <utility>

#include "base/trace.h"
#include "blocker/url_list.h"

namespace quellix {

namespace {

// Far more than any list holds: a key stuffed with other values is not read to its end.
constexpr std::uint32_t kMaxValuesLooked = 4 * UrlList::kMaxEntries;

// An open key, closed when it goes.
class PolicyKey {
public:
    PolicyKey(Registry& registry, Registry::Key root, const std::string& path) : m_registry(registry)
    {
        if (registry.OpenKey(root, path, Registry::kRead, &m_key) != Registry::kSuccess)
            m_key = 0;
    }
    ~PolicyKey()
    {
        if (m_key)
            m_registry.CloseKey(m_key);
    }
    PolicyKey(const PolicyKey&) = delete;
    PolicyKey& operator=(const PolicyKey&) = delete;

    explicit operator bool() const { return m_key != 0; }

    // Only a REG_DWORD of four bytes, 0 or 1: not a text, nor a number of another size.
    std::optional<bool> Flag(std::string_view name) const
    {
        std::string data;
        std::uint32_t type = 0;
        std::uint32_t size = 0;
        if (!m_key || m_registry.QueryValue(m_key, std::string(name), &data, &type, &size) != Registry::kSuccess)
            return std::nullopt;
        if (type == Registry::kTypeDword && size == 4 && (data == "0" || data == "1"))
            return data == "1";
        QUELLIX_TRACE("policy ", name, " ignored: type ", type, ", ", size,
                      " bytes; only a REG_DWORD of 0 or 1 counts");
        return std::nullopt;
    }

    // The REG_SZ values named by positive whole numbers, in the order of those numbers
    // (gaps skipped); texts end at their first NUL, and empty or oversized ones are left out.
    std::vector<std::string> List() const
    {
        std::vector<std::pair<std::uint64_t, std::string>> numbered;
        std::string name;
        for (std::uint32_t index = 0; m_key && index < kMaxValuesLooked; ++index) {
            if (m_registry.EnumValueName(m_key, index, &name) != Registry::kSuccess)
                break;
            std::uint64_t number = 0;
            const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
            if (error != std::errc() || end != name.data() + name.size() || number == 0)
                continue;
            numbered.emplace_back(number, name);
        }
        std::sort(numbered.begin(), numbered.end());

        std::vector<std::string> entries;
        for (const auto& [number, valueName] : numbered) {
            if (entries.size() >= UrlList::kMaxEntries)
                break;
            std::string data;
            std::uint32_t type = 0;
            std::uint32_t size = 0;
            if (m_registry.QueryValue(m_key, valueName, &data, &type, &size) != Registry::kSuccess)
                continue;
            if (type != Registry::kTypeSz) {
                QUELLIX_TRACE("policy list entry ", valueName, " ignored: type ", type, "; only REG_SZ counts");
                continue;
            }
            data.resize(std::min(data.find('\0'), data.size()));
            if (!data.empty() && data.size() <= UrlList::kMaxEntryBytes)
                entries.push_back(std::move(data));
        }
        return entries;
    }

private:
    Registry& m_registry;
    Registry::Key m_key = 0;
};

}  // namespace

std::optional<bool> Policy::Forced(std::string_view setting) const
{
    for (std::size_t i = 0; i < kPolicyCount; ++i) {
        if (kPolicies[i].type == PolicyType::kOption && kPolicies[i].setting == setting)
            return values[i];
    }
    return std::nullopt;
}

bool Policy::MayDisable() const
{
    for (std::size_t i = 0; i < kPolicyCount; ++i) {
        if (kPolicies[i].type == PolicyType::kSwitch)
            return values[i].value_or(true);
    }
    return true;
}

bool Policy::AnySet() const
{
    return !allowedSites.empty() || !allowedAddresses.empty() ||
           std::any_of(values.begin(), values.end(),
                       [](const std::optional<bool>& value) { return value.has_value(); });
}

Policy ReadPolicy(Registry& registry)
{
    const std::string key(kPolicyKey);
    const PolicyKey machine(registry, Registry::kLocalMachine, key);
    const PolicyKey user(registry, Registry::kCurrentUser, key);
    Policy policy;
    for (std::size_t i = 0; i < kPolicyCount; ++i) {
        const PolicyDefinition& definition = kPolicies[i];
        if (definition.type != PolicyType::kList) {
            policy.values[i] = machine.Flag(definition.name);
            if (!policy.values[i])
                policy.values[i] = user.Flag(definition.name);
            continue;
        }
        // A list is the machine's when it holds anything, else the user's.
        const std::string listKey = key + "\\" + std::string(definition.name);
        std::vector<std::string> entries = PolicyKey(registry, Registry::kLocalMachine, listKey).List();
        if (entries.empty())
            entries = PolicyKey(registry, Registry::kCurrentUser, listKey).List();
        (definition.name == "AllowedSites" ? policy.allowedSites : policy.allowedAddresses) = std::move(entries);
    }
    return policy;
}

}  // namespace quellix
