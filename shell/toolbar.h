// The browser toolbar button that starts the program: a key of the browser's own under
// HKEY_LOCAL_MACHINE, or under HKEY_CURRENT_USER for a user who may not write the
// machine's, written and deleted through the registry helpers.
#pragma once

#include <string>
#include <string_view>

#include "shell/registry.h"

namespace quellix {

// Ours, fixed for good, so that every run finds the same key.
inline constexpr std::string_view kToolbarButtonGuid = "{6D3C5B1E-8A47-4F2C-B9E0-3F1A7C52D4E8}";
// The browser's identifier for a button that runs a program.
inline constexpr std::string_view kRunProgramButtonClsid = "{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}";

// "Software\Microsoft\Internet Explorer\Extensions\{...}"
std::string ToolbarButtonKey();

// Writes the eight values of the button key, in their order; `programFolder` holds
// norvane.exe and the icon files 1.ico and 4.ico. When the machine's key cannot be
// written, the user's is.
void AddToolbarButton(Registry& registry, std::string_view programFolder);
// Deletes the whole button key, the machine's and the user's.
void RemoveToolbarButton(Registry& registry);

}  // namespace quellix
