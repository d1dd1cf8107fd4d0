// Stand-ins for the platform that the blocking engine talks to.
#pragma once

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "blocker/allow_prompt.h"
#include "blocker/list_file.h"
#include "blocker/popup_rules.h"
#include "blocker/protection.h"

namespace quellix::test {

// GetAsyncKeyState as the platform keeps it: a key reads bit 15 while down and bit 0 once
// after each press, the query clearing bit 0.
class FakeKeys final : public KeyStateSource {
public:
    void Press(int key)
    {
        m_down.insert(key);
        m_pressedSince.insert(key);
    }
    void Release(int key) { m_down.erase(key); }
    void Click(int key)
    {
        Press(key);
        Release(key);
    }

    std::uint16_t Query(int key) override
    {
        m_queries.push_back(key);
        std::uint16_t state = m_down.count(key) ? kDown : 0;
        if (m_pressedSince.erase(key))
            state |= kPressedSince;
        return state;
    }

    std::vector<int> TakeQueries() { return std::exchange(m_queries, {}); }

private:
    std::set<int> m_down;
    std::set<int> m_pressedSince;
    std::vector<int> m_queries;
};

class FakeTicks final : public TickSource {
public:
    std::uint32_t now = 0;
    std::uint32_t Now() override { return now; }
};

class FakeView final : public MainWindowView {
public:
    std::string enableCaption = "Disable";
    Icon windowIcon = Icon::kOn;
    std::string frameCaption = "Blocked ZirOd ( )";

    void SetEnableCaption(std::string_view caption) override { enableCaption = caption; }
    void SetWindowIcon(Icon icon) override { windowIcon = icon; }
    void SetBlockedFrameCaption(std::string_view caption) override { frameCaption = caption; }
    std::uint32_t WindowHandle() const override { return 0x1234; }
    std::uint32_t IconHandle(Icon icon) const override { return 0x100 + static_cast<std::uint32_t>(icon); }
    bool inFront = false;
    bool InFront() const override { return inFront; }
};

struct TrayCall {
    TrayCommand command;
    TrayIconData data;
};

class FakeTray final : public NotificationArea {
public:
    std::vector<TrayCall> calls;
    std::vector<std::string> notices;
    void NotifyIcon(TrayCommand command, const TrayIconData& data) override { calls.push_back({command, data}); }
    void ShowNotice(std::string_view text) override { notices.emplace_back(text); }
};

class FakeAlerts final : public Alerts {
public:
    std::vector<std::string> calls;
    void Beep(unsigned hz, unsigned ms) override
    {
        calls.push_back("beep " + std::to_string(hz) + " " + std::to_string(ms));
    }
    void TimeFlash(unsigned ms) override { calls.push_back("flash " + std::to_string(ms)); }
};

class FakeBrowser final : public NewBrowser {
public:
    explicit FakeBrowser(std::optional<std::string> url) : m_url(std::move(url)) {}
    std::optional<std::string> LocationUrl() override { return m_url; }
    void Quit() override { ++quits; }
    int quits = 0;

private:
    std::optional<std::string> m_url;
};

class FakeShell final : public ShellOpener {
public:
    std::vector<std::string> opened;
    void Open(const std::string& address) override { opened.push_back(address); }
};

// Files in memory, each with the time of its last write. Folders listed in readOnly refuse
// every write; writeBudget, when set, lets only that many more bytes be written in all
// before the disk is "full". A file in `busy` is held open by another program for that many
// more milliseconds of Pause; one in `unreadable` cannot be read at all.
class FakeFiles final : public FileStore {
public:
    // Paths name files as Windows names them, whatever the letter case.
    struct NoCase {
        bool operator()(const std::string& a, const std::string& b) const
        {
            return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                                [](unsigned char x, unsigned char y) {
                                                    return std::tolower(x) < std::tolower(y);
                                                });
        }
    };

    std::map<std::string, std::string, NoCase> files;
    std::map<std::string, std::uint64_t, NoCase> modified;
    std::set<std::string> readOnly;
    std::set<std::string, NoCase> unreadable;
    std::map<std::string, unsigned, NoCase> busy;
    std::optional<std::size_t> writeBudget;
    unsigned paused = 0;

    void Put(const std::string& path, std::string bytes)
    {
        files[path] = std::move(bytes);
        modified[path] = ++m_clock;
    }

    ReadResult Read(const std::string& path, std::size_t maxBytes, std::string& bytes) override
    {
        if (unreadable.count(path))
            return ReadResult::kFailed;
        const auto found = files.find(path);
        if (found == files.end())
            return ReadResult::kNotFound;
        if (busy.count(path))
            return ReadResult::kBusy;
        if (found->second.size() > maxBytes)
            return ReadResult::kTooLarge;
        bytes = found->second;
        return ReadResult::kOk;
    }
    std::optional<std::uint64_t> Modified(const std::string& path) override
    {
        const auto found = modified.find(path);
        return found == modified.end() ? std::nullopt : std::optional(found->second);
    }
    bool Write(const std::string& path, std::string_view bytes) override
    {
        if (IsReadOnly(path))
            return false;
        std::string& file = files[path];
        modified[path] = ++m_clock;
        if (writeBudget && bytes.size() > *writeBudget) {
            file = bytes.substr(0, *writeBudget);  // what a full disk leaves behind
            *writeBudget = 0;
            return false;
        }
        if (writeBudget)
            *writeBudget -= bytes.size();
        file = bytes;
        return true;
    }
    bool Replace(const std::string& from, const std::string& to) override
    {
        const auto found = files.find(from);
        if (found == files.end() || IsReadOnly(to) || busy.count(to))
            return false;
        files[to] = std::move(found->second);
        modified[to] = modified[from];
        files.erase(from);
        modified.erase(from);
        return true;
    }
    bool Remove(const std::string& path) override
    {
        modified.erase(path);
        return files.erase(path) > 0;
    }
    bool CreateFolder(const std::string& path) override { return !IsReadOnly(path + "\\"); }
    bool SamePath(const std::string& a, const std::string& b) override { return !NoCase()(a, b) && !NoCase()(b, a); }
    void Pause(unsigned milliseconds) override
    {
        paused += milliseconds;
        for (auto held = busy.begin(); held != busy.end();)
            held = held->second <= milliseconds ? busy.erase(held) : (held->second -= milliseconds, std::next(held));
    }

private:
    bool IsReadOnly(const std::string& path) const
    {
        for (const std::string& folder : readOnly) {
            if (path.starts_with(folder))
                return true;
        }
        return false;
    }

    std::uint64_t m_clock = 0;
};

// ISO 8859-1: the bytes 0 to 255 are the code points 0 to 255.
class Latin1 final : public CodePage {
public:
    std::optional<std::string> FromUtf8(std::string_view utf8) override;
    std::string ToUtf8(std::string_view bytes) override;
};

inline std::optional<std::string> Latin1::FromUtf8(std::string_view utf8)
{
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size() &&
                   (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) {
            out += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        } else {
            return std::nullopt;
        }
    }
    return out;
}

inline std::string Latin1::ToUtf8(std::string_view bytes)
{
    std::string out;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace quellix::test
