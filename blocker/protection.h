// The protection switch and the announcement of each block: captions, icons, the tray
// icon's picture and tip, the beep, the flash and the count shown over the blocked list.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "blocker/block_notice.h"
#include "blocker/blocking_state.h"
#include "blocker/options.h"
#include "blocker/tray_icon.h"

namespace quellix {

// The three pictures the main window holds: Imabl, Imdis and Imfls.
enum class Icon { kOn, kOff, kFlash };

// The main window as the switch sees it.
class MainWindowView {
public:
    virtual void SetEnableCaption(std::string_view caption) = 0;  // cmd_Enable and mnuEnable
    virtual void SetWindowIcon(Icon icon) = 0;
    virtual void SetBlockedFrameCaption(std::string_view caption) = 0;  // Frame1
    virtual std::uint32_t WindowHandle() const = 0;
    virtual std::uint32_t IconHandle(Icon icon) const = 0;
    // Whether the user is looking at it: the window, or one it owns, is in the foreground.
    virtual bool InFront() const = 0;

protected:
    ~MainWindowView() = default;
};

// The tone and the flash's end that make a block noticeable. Neither may hold the calling
// thread: a block is announced inside the browser's own call, which waits for it.
class Alerts {
public:
    // Sounds a tone and returns at once.
    virtual void Beep(unsigned frequencyHz, unsigned durationMs) = 0;
    // Calls Protection::EndFlash once, `durationMs` from now, on this thread; a flash
    // already timed is timed again from now.
    virtual void TimeFlash(unsigned durationMs) = 0;

protected:
    ~Alerts() = default;
};

class Protection {
public:
    static constexpr unsigned kBeepHz = 800;
    static constexpr unsigned kBeepMs = 200;
    // How long the flash picture stays in the tray: long enough to be seen, and measured
    // in time rather than in processor steps.
    static constexpr unsigned kFlashMs = 100;

    Protection(BlockingState& state, const Options& options, MainWindowView& view, NotificationArea& tray,
               Alerts& alerts);

    void ToggleProtection();
    // Whether the monitor follows the browsers: while it does not, nothing can be blocked,
    // and the frame's caption and the tray's tip say so. The tray icon is the caller's to
    // update.
    void SetWatching(bool watching);
    bool Watching() const { return m_watching; }
    // Shows the window's current icon in the tray, with the tip of the current state.
    void UpdateTrayIcon();
    void UpdateTrayIcon(Icon picture);
    // Called once for every blocked window, after it was refused or closed: `opener` is the
    // address of the page that asked for it, `record` its record in the pop-up log, `now`
    // the tick count.
    void NotifyBlocked(std::string_view opener = {}, std::uint64_t record = 0, std::uint32_t now = 0);
    // The flash's time is up: the tray shows the window's icon again.
    void EndFlash();

    std::uint32_t BlockedCount() const { return m_blockedCount; }
    Icon WindowIcon() const { return m_windowIcon; }
    const BlockNotices& Notices() const { return m_notices; }
    std::string_view TrayTip() const;

    static std::string BlockedFrameCaption(std::uint32_t count);
    // The caption the blocked list's frame has now.
    std::string FrameCaption() const;

private:
    BlockingState& m_state;
    const Options& m_options;
    MainWindowView& m_view;
    NotificationArea& m_tray;
    Alerts& m_alerts;
    BlockNotices m_notices;
    Icon m_windowIcon = Icon::kOn;
    // Wider than the 16 bits the count once had, so that it goes on counting.
    std::uint32_t m_blockedCount = 0;
    bool m_watching = true;
    bool m_flashing = false;
};

}  // namespace quellix
