// The registry through the Unicode API, so that paths and texts in any language survive.
#pragma once

#include "shell/registry.h"

namespace quellix {

class Win32Registry final : public Registry {
public:
    long CreateKey(Key root, const std::string& path, std::uint32_t access, Key* key) override;
    long OpenKey(Key root, const std::string& path, std::uint32_t access, Key* key) override;
    long SetString(Key key, const std::string& name, const std::string& text) override;
    long QueryValue(Key key, const std::string& name, std::string* data, std::uint32_t* type,
                    std::uint32_t* size) override;
    long DeleteValue(Key key, const std::string& name) override;
    long EnumValueName(Key key, std::uint32_t index, std::string* name) override;
    long DeleteKey(Key key, const std::string& subkey) override;
    void CloseKey(Key key) override;
};

}  // namespace quellix
