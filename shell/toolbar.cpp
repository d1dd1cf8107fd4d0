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
    // clang-format off
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
    // clang-format on
    // A user without administrator rights may not write the machine's key; the browser
    // reads the same key under the user's own root as well.
    Registry::Key root = Registry::kLocalMachine;
    for (const auto& [name, text] : values) {
        if (!WriteRegString(registry, root, key, name, text) && root == Registry::kLocalMachine &&
            name == "ButtonText") {
            root = Registry::kCurrentUser;
            WriteRegString(registry, root, key, name, text);
        }
    }
}

void RemoveToolbarButton(Registry& registry)
{
    for (const Registry::Key root : {Registry::kLocalMachine, Registry::kCurrentUser})
        DeleteRegEntry(registry, root, ToolbarButtonKey(), "");
}

}  // namespace quellix
