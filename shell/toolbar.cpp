#include "shell/toolbar.h"

namespace quellix {

std::string ToolbarButtonKey()
{
    return "Software\\Microsoft\\Internet Explorer\\Extensions\\" + std::string(kToolbarButtonGuid);
}

void AddToolbarButton(Registry& registry, std::string_view programFolder)
{
    const std::string folder(programFolder);
    const std::string key = ToolbarButtonKey();
    const std::pair<std::string_view, std::string> values[] = {
        {"ButtonText", "Quellix"},
        {"CLSID", std::string(kRunProgramButtonClsid)},
        {"Default Visible", "Yes"},
        {"Exec", folder + "\\norvane"},
        {"HotIcon", folder + "\\1.ico"},
        {"Icon", folder + "\\4.ico"},
        {"MenuStatusBar", "Quellix"},
        {"MenuText", "&Quellix"},
    };
    for (const auto& [name, text] : values)
        WriteRegString(registry, Registry::kLocalMachine, key, name, text);
}

void RemoveToolbarButton(Registry& registry)
{
    DeleteRegEntry(registry, Registry::kLocalMachine, ToolbarButtonKey(), "");
}

}  // namespace quellix
