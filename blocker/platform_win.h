// The Win32 side of the blocking engine's platform interfaces.
#pragma once

#include <windows.h>

#include "blocker/allow_prompt.h"
#include "blocker/list_file.h"
#include "blocker/popup_rules.h"
#include "blocker/protection.h"

namespace quellix {

class Win32KeyState final : public KeyStateSource {
public:
    std::uint16_t Query(int virtualKey) override;
};

class Win32Ticks final : public TickSource {
public:
    std::uint32_t Now() override;
};

// The tone plays on a pool thread, one at a time; the flash ends at a timer of the owner
// window, which hands WM_TIMER kFlashTimer to Protection::EndFlash.
class Win32Alerts final : public Alerts {
public:
    static constexpr UINT_PTR kFlashTimer = 2;

    void SetOwner(HWND owner) { m_owner = owner; }
    void Beep(unsigned frequencyHz, unsigned durationMs) override;
    void TimeFlash(unsigned durationMs) override;

private:
    HWND m_owner = nullptr;
};

class Win32ShellOpener final : public ShellOpener {
public:
    explicit Win32ShellOpener(HWND owner = nullptr) : m_owner(owner) {}
    void SetOwner(HWND owner) { m_owner = owner; }
    void Open(const std::string& address) override;

private:
    HWND m_owner;
};

class Win32Files final : public FileStore {
public:
    ReadResult Read(const std::string& path, std::size_t maxBytes, std::string& bytes) override;
    std::optional<std::uint64_t> Modified(const std::string& path) override;
    bool Write(const std::string& path, std::string_view bytes) override;
    bool Replace(const std::string& from, const std::string& to) override;
    bool Remove(const std::string& path) override;
    bool CreateFolder(const std::string& path) override;
    bool SamePath(const std::string& a, const std::string& b) override;
    void Pause(unsigned milliseconds) override;
};

// The system's ANSI code page.
class Win32CodePage final : public CodePage {
public:
    std::optional<std::string> FromUtf8(std::string_view utf8) override;
    std::string ToUtf8(std::string_view bytes) override;
};

// <file name> beside the program, and in %LOCALAPPDATA%\Quellix for when that folder is
// read-only.
ListLocation DefaultListLocation(std::string_view fileName);

// The folder that holds the running program, without a trailing backslash.
std::wstring ProgramFolder();

}  // namespace quellix
