// The program's per-user settings and the options dialog's logic.
//
// Settings are text values addressed by application, section and key, stored in the
// registry at HKEY_CURRENT_USER\Software\<application>\<section> (for this program
// HKCU\Software\Quellix\Options), written as "0" or "1".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "blocker/options.h"
#include "shell/registry.h"

namespace quellix {

struct Policy;

inline constexpr std::string_view kAppName = "Quellix";
inline constexpr std::string_view kOptionsSection = "Options";

namespace setting {
inline constexpr std::string_view kBeep = "Beep";
inline constexpr std::string_view kFlash = "Flash";
inline constexpr std::string_view kList = "List";
inline constexpr std::string_view kStartUp = "StartUp";
inline constexpr std::string_view kHideOnStart = "HideOnStart";
inline constexpr std::string_view kIeIcon = "IEicon";
inline constexpr std::string_view kNotice = "Notice";
// Not in the options dialog: asked for by a user, an administrator or a developer who wants
// to know why (the trace, in the user's data folder).
inline constexpr std::string_view kTrace = "Trace";
}  // namespace setting

class SettingsStore {
public:
    explicit SettingsStore(Registry& registry) : m_registry(registry) {}

    // The stored text, or `defaultValue` when it is missing.
    std::string Get(std::string_view app, std::string_view section, std::string_view key,
                    std::string_view defaultValue);
    void Save(std::string_view app, std::string_view section, std::string_view key, std::string_view value);

    // An option of this program, missing reading as "0" (Notice: "1"), as a 16-bit number.
    std::int16_t Option(std::string_view key);

private:
    Registry& m_registry;
};

// A stored text as a number. Text that is not a number, or that does not fit, reads as 0;
// blanks around a number are allowed; a fraction rounds half to even.
std::int16_t SettingToInt16(std::string_view text);
double SettingToDouble(std::string_view text);

// The per-user list of programs started at log-on: enters the program (its full path,
// quoted when it holds a blank) under the value "Quellix", or removes it.
void SetRunAtStartup(Registry& registry, bool on, const std::string& programPath);

// The options dialog's boxes, checked or not.
struct OptionBoxes {
    bool startUp = false;
    bool hideOnStart = false;
    bool beep = false;
    bool flash = false;
    bool list = false;
    bool ieIcon = false;
    bool notice = false;
    bool operator==(const OptionBoxes&) const = default;
};

// What confirming the options dialog changes on the main window.
class OptionsTarget {
public:
    // Both lists usable (true) or greyed (false).
    virtual void EnableLists(bool enabled) = 0;

protected:
    ~OptionsTarget() = default;
};

// frmOptions without its window.
class OptionsDialogLogic {
public:
    OptionsDialogLogic(SettingsStore& settings, Registry& registry, Options& inMemory, OptionsTarget& target,
                       std::string programFolder, const Policy& policy);

    // Each opening: every box from its stored setting ("1" checks it), or as a policy
    // forces it.
    OptionBoxes Load();
    // The boxes a policy forces, set: the dialog greys them.
    OptionBoxes Forced() const;
    // OK: stores the boxes no policy forces, replaces the in-memory options, greys or
    // enables the lists and adds or removes the browser toolbar button when (and only when)
    // that choice changed.
    void Ok(const OptionBoxes& boxes);

private:
    SettingsStore& m_settings;
    Registry& m_registry;
    Options& m_inMemory;
    OptionsTarget& m_target;
    std::string m_programFolder;
    const Policy& m_policy;
};

}  // namespace quellix
