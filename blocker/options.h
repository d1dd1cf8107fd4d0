// The options that the blocking engine reads while it runs. They are loaded from the
// settings store at start-up and replaced when the user confirms the options dialog.
#pragma once

#include <cstdint>

namespace quellix {

struct Options {
    std::int16_t beep = 0;
    std::int16_t flash = 0;
    std::int16_t list = 0;
    std::int16_t notice = 1;  // the one option that is on until switched off

    // A stored option counts as on only when it is exactly 1.
    static constexpr bool IsOn(std::int16_t value) { return value == 1; }
    bool BeepOn() const { return IsOn(beep); }
    bool FlashOn() const { return IsOn(flash); }
    bool ListOn() const { return IsOn(list); }
    bool NoticeOn() const { return IsOn(notice); }
};

}  // namespace quellix
