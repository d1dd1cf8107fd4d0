// What an administrator decides for every user, through Group Policy or an MDM service:
// registry values under HKLM\Software\Policies\Quellix (the machine's) and
// HKCU\Software\Policies\Quellix (the user's), read-only to the program. The machine's
// value wins where both set one. Each policy is a row of kPolicies; the program, the
// options dialog and the administrative templates' test all read that one table.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/registry.h"
#include "shell/settings.h"

namespace quellix {

inline constexpr std::string_view kPolicyKey = "Software\\Policies\\Quellix";

enum class PolicyType {
    kOption,  // REG_DWORD 0 or 1: the option of that setting forced off or on
    kSwitch,  // REG_DWORD 0 or 1: AllowDisable
    kList,    // a subkey of the policy key, its REG_SZ values named 1, 2, 3, ...
};

struct PolicyDefinition {
    std::string_view name;  // the value's name, or the list's subkey
    PolicyType type;
    std::string_view setting;  // kOption: the per-user setting it stands for
};

inline constexpr PolicyDefinition kPolicies[] = {
    {"UseLists", PolicyType::kOption, setting::kList},
    {"Beep", PolicyType::kOption, setting::kBeep},
    {"Flash", PolicyType::kOption, setting::kFlash},
    {"HideOnStart", PolicyType::kOption, setting::kHideOnStart},
    {"RunAtStartUp", PolicyType::kOption, setting::kStartUp},
    {"ToolbarButton", PolicyType::kOption, setting::kIeIcon},
    {"Notice", PolicyType::kOption, setting::kNotice},
    {"AllowDisable", PolicyType::kSwitch, {}},
    {"AllowedSites", PolicyType::kList, {}},
    {"AllowedAddresses", PolicyType::kList, {}},
};
inline constexpr std::size_t kPolicyCount = std::size(kPolicies);

// The policies in force; a value that is missing, of the wrong type or size, out of range
// or unreadable counts as not set.
struct Policy {
    // By kPolicies' row: the value of each kOption and kSwitch row that is set.
    std::array<std::optional<bool>, kPolicyCount> values{};
    std::vector<std::string> allowedSites;      // hosts, as Sites.txt holds them
    std::vector<std::string> allowedAddresses;  // whole addresses, as Allow.txt holds them

    // The value forcing the option stored under `setting`, if a policy forces it.
    std::optional<bool> Forced(std::string_view setting) const;
    // Whether the user may switch protection off.
    bool MayDisable() const;
    bool AnySet() const;
    bool operator==(const Policy&) const = default;
};

Policy ReadPolicy(Registry& registry);

}  // namespace quellix
