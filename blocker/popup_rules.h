// The rules by which the main window tells a pop-up from a window the user asked for, and
// what it does with one: refuse it (lists off) or let it open and close it unless its
// address is allowed (list mode).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "blocker/blocking_state.h"
#include "blocker/options.h"
#include "blocker/popup_log.h"

namespace quellix {

class AllowedSites;
class Protection;
class UrlList;

namespace vk {
constexpr int kLButton = 0x01;
constexpr int kRButton = 0x02;
constexpr int kMButton = 0x04;
constexpr int kShift = 0x10;
constexpr int kControl = 0x11;
}  // namespace vk

// GetAsyncKeyState: bit 15 says the key is down now, bit 0 that it was pressed since the
// previous query of that key. Each query clears bit 0 for the next one, so the order of
// queries matters.
class KeyStateSource {
public:
    static constexpr std::uint16_t kDown = 0x8000;
    static constexpr std::uint16_t kPressedSince = 0x0001;

    virtual std::uint16_t Query(int virtualKey) = 0;

protected:
    ~KeyStateSource() = default;
};

// GetTickCount: milliseconds since the system started, wrapping every 2^32 ms.
class TickSource {
public:
    virtual std::uint32_t Now() = 0;

protected:
    ~TickSource() = default;
};

// A browser window that the monitor has just started tracking.
class NewBrowser {
public:
    // The current address; nothing when the browser cannot answer (it has gone already).
    virtual std::optional<std::string> LocationUrl() = 0;
    virtual void Quit() = 0;

protected:
    ~NewBrowser() = default;
};

// Whether a text counts as present on a list: an exact, case-sensitive match of a whole
// entry; the empty text counts as present on every list.
bool IsInList(const UrlList& list, std::string_view text);

// The lists the rules consult and keep.
struct PopupLists {
    UrlList& blocked;
    const UrlList& allowed;
    const AllowedSites& sites;
    PopupLog& log;
    const UrlList* policyAllowed = nullptr;  // the addresses an administrator allows
};

class PopupRules {
public:
    // A window opened this soon after a click counts as the user's.
    static constexpr std::uint32_t kClickGraceMs = 400;

    PopupRules(BlockingState& state, const Options& options, KeyStateSource& keys, TickSource& ticks, PopupLists lists,
               Protection& protection);

    // Every tick of the 32 ms click watch: three key-state queries at most.
    void ClickWatch();
    bool IsUserInput() { return UserInput() != Input::kNone; }

    // The NewWindow event; `opener` is the address of the page that asks for the window
    // (empty when the browser did not say). Returns the value to write into Cancel, or
    // nothing to leave it as the browser gave it.
    std::optional<bool> NewWindow(std::string_view opener = {});
    void BrowserCreated(NewBrowser& browser);

private:
    enum class Input { kNone, kKey, kClick };

    static bool IsFreshPress(std::uint16_t state)
    {
        return state == (KeyStateSource::kDown | KeyStateSource::kPressedSince);
    }
    bool AnyFreshMousePress();
    Input UserInput();
    PopupOutcome Decide(std::string_view opener, std::uint32_t now);

    BlockingState& m_state;
    const Options& m_options;
    KeyStateSource& m_keys;
    TickSource& m_ticks;
    PopupLists m_lists;
    Protection& m_protection;
    // The log record of the window the BrowserCreated rule is waiting for.
    std::uint64_t m_pendingRecord = 0;
};

}  // namespace quellix
