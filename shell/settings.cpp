#include "shell/settings.h"

#include <charconv>
#include <cmath>
#include <optional>

#include "shell/policy.h"
#include "shell/toolbar.h"

namespace quellix {

namespace {

constexpr std::string_view kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string SettingsKey(std::string_view app, std::string_view section)
{
    return "Software\\" + std::string(app) + "\\" + std::string(section);
}

std::optional<double> ParseNumber(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    // from_chars takes a minus sign but not a plus sign.
    if (text.starts_with('+') && !text.substr(1).starts_with('-'))
        text.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string_view Digit(bool checked)
{
    return checked ? "1" : "0";
}

// The dialog's boxes and the settings they stand for, in the order they are read and stored.
constexpr std::pair<std::string_view, bool OptionBoxes::*> kBoxes[] = {
    {setting::kBeep, &OptionBoxes::beep},
    {setting::kFlash, &OptionBoxes::flash},
    {setting::kStartUp, &OptionBoxes::startUp},
    {setting::kList, &OptionBoxes::list},
    {setting::kHideOnStart, &OptionBoxes::hideOnStart},
    {setting::kIeIcon, &OptionBoxes::ieIcon},
    {setting::kNotice, &OptionBoxes::notice},
};

}  // namespace

std::string SettingsStore::Get(std::string_view app, std::string_view section, std::string_view key,
                               std::string_view defaultValue)
{
    return ReadRegString(m_registry, Registry::kCurrentUser, SettingsKey(app, section), key, defaultValue);
}

void SettingsStore::Save(std::string_view app, std::string_view section, std::string_view key, std::string_view value)
{
    WriteRegString(m_registry, Registry::kCurrentUser, SettingsKey(app, section), key, value);
}

std::int16_t SettingsStore::Option(std::string_view key)
{
    // The notice came after the others, and is on until the user switches it off.
    return SettingToInt16(Get(kAppName, kOptionsSection, key, key == setting::kNotice ? "1" : "0"));
}

std::int16_t SettingToInt16(std::string_view text)
{
    const std::optional<double> value = ParseNumber(text);
    if (!value)
        return 0;
    // The default rounding mode rounds halves to the even neighbour.
    const double rounded = std::nearbyint(*value);
    return rounded < -32768 || rounded > 32767 ? 0 : static_cast<std::int16_t>(rounded);
}

double SettingToDouble(std::string_view text)
{
    return ParseNumber(text).value_or(0);
}

void SetRunAtStartup(Registry& registry, bool on, const std::string& programPath)
{
    Registry::Key key = 0;
    if (registry.OpenKey(Registry::kCurrentUser, std::string(kRunKey), Registry::kWrite, &key) != Registry::kSuccess)
        return;
    if (on) {
        // Unquoted, "C:\Program Files\Quellix\norvane.exe" would make Windows try to run
        // "C:\Program.exe" first, a file that anyone able to write C:\ could plant.
        const bool quote = programPath.find_first_of(" \t") != std::string::npos && !programPath.starts_with('"');
        registry.SetString(key, std::string(kAppName), quote ? '"' + programPath + '"' : programPath);
    } else {
        registry.DeleteValue(key, std::string(kAppName));
    }
    registry.CloseKey(key);
}

OptionsDialogLogic::OptionsDialogLogic(SettingsStore& settings, Registry& registry, Options& inMemory,
                                       OptionsTarget& target, std::string programFolder, const Policy& policy)
    : m_settings(settings), m_registry(registry), m_inMemory(inMemory), m_target(target),
      m_programFolder(std::move(programFolder)), m_policy(policy)
{
}

OptionBoxes OptionsDialogLogic::Load()
{
    OptionBoxes boxes;
    for (const auto& [key, box] : kBoxes) {
        const bool stored = m_settings.Option(key) == 1;
        boxes.*box = m_policy.Forced(key).value_or(stored);
    }
    return boxes;
}

OptionBoxes OptionsDialogLogic::Forced() const
{
    OptionBoxes forced;
    for (const auto& [key, box] : kBoxes)
        forced.*box = m_policy.Forced(key).has_value();
    return forced;
}

void OptionsDialogLogic::Ok(const OptionBoxes& given)
{
    const std::int16_t previousIcon = m_settings.Option(setting::kIeIcon);

    // A forced box holds its forced value whatever the window says, and is never stored:
    // the user's own choice comes back when the policy goes.
    OptionBoxes boxes = given;
    for (const auto& [key, box] : kBoxes) {
        if (const std::optional<bool> forced = m_policy.Forced(key))
            boxes.*box = *forced;
        else
            m_settings.Save(kAppName, kOptionsSection, key, Digit(boxes.*box));
    }

    m_inMemory.beep = boxes.beep ? 1 : 0;
    m_inMemory.flash = boxes.flash ? 1 : 0;
    m_inMemory.list = boxes.list ? 1 : 0;
    m_inMemory.notice = boxes.notice ? 1 : 0;
    m_target.EnableLists(boxes.list);

    // Only a change touches the button key: it lives under HKEY_LOCAL_MACHINE, and each
    // unchanged OK would otherwise rewrite it (or fail to, without administrator rights).
    // A forced button is the program's to keep as the policy says.
    if (m_policy.Forced(setting::kIeIcon))
        return;
    if (previousIcon == 0 && boxes.ieIcon)
        AddToolbarButton(m_registry, m_programFolder);
    else if (previousIcon == 1 && !boxes.ieIcon)
        RemoveToolbarButton(m_registry);
}

}  // namespace quellix
