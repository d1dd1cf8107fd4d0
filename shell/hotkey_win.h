// The desktop's top-level windows for the hide-all-browsers hot key.
#pragma once

#include "shell/hotkey.h"

namespace quellix {

class Win32WindowList final : public WindowList {
public:
    void EnumerateTopLevel(const std::function<bool(Handle)>& visit) override;
    std::string ClassName(Handle window) override;
    bool IsVisible(Handle window) override;
    bool GetPlacement(Handle window, WindowPlacement* placement) override;
    bool SetPlacement(Handle window, const WindowPlacement& placement) override;
};

}  // namespace quellix
