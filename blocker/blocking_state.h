// What the main window knows about blocking while it runs. Everything starts cleared at
// each start of the program and nothing of it is stored.
#pragma once

#include <cstdint>

namespace quellix {

struct BlockingState {
    bool protectionOff = false;
    // A new window was let open in list mode and waits for its address to be checked.
    bool zirodPending = false;
    // GetTickCount when a mouse button last went down.
    std::uint32_t lastClickTick = 0;
};

}  // namespace quellix
