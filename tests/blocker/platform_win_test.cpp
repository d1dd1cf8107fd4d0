#include "blocker/platform_win.h"

#include <gtest/gtest.h>

#include "base/utf.h"
#include "blocker/url_list.h"

namespace quellix {
namespace {

void Send(INPUT input)
{
    ASSERT_EQ(SendInput(1, &input, sizeof input), 1u);
}

void SendKey(WORD key, bool up)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    Send(input);
}

void SendLeftButton(bool up)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = up ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_LEFTDOWN;
    Send(input);
}

// What the click watch relies on: a fresh press reads exactly 0x8001 once.
TEST(Win32KeyStateTest, AFreshMousePressReads8001OnceThen8000WhileHeld)
{
    Win32KeyState keys;
    keys.Query(VK_LBUTTON);  // forget whatever came before
    SendLeftButton(false);
    EXPECT_EQ(keys.Query(VK_LBUTTON), 0x8001);
    EXPECT_EQ(keys.Query(VK_LBUTTON), 0x8000);
    SendLeftButton(true);
    EXPECT_EQ(keys.Query(VK_LBUTTON), 0);
}

// What IsUserInput relies on for Ctrl and Shift: any state but 0 while the key is held.
// (Wine reports the pressed-since bit on VK_LSHIFT only, Windows on both.)
TEST(Win32KeyStateTest, AHeldShiftReadsNonZero)
{
    Win32KeyState keys;
    SendKey(VK_SHIFT, false);
    EXPECT_NE(keys.Query(VK_SHIFT) & 0x8000, 0);
    EXPECT_NE(keys.Query(VK_SHIFT), 0);
    SendKey(VK_SHIFT, true);
    EXPECT_EQ(keys.Query(VK_SHIFT), 0);
}

TEST(Win32TicksTest, FollowsTheSystemClock)
{
    Win32Ticks ticks;
    const std::uint32_t before = ticks.Now();
    Sleep(50);
    const std::uint32_t elapsed = ticks.Now() - before;
    EXPECT_GE(elapsed, 20u);  // a loaded machine may wake a sleeper a tick early
    EXPECT_LT(elapsed, 2000u);
}

class Win32FilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder = Narrow(temp) + "quellix-files-" + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(files.CreateFolder(folder + "\\deeper\\still"));
    }
    void TearDown() override
    {
        for (const char* name : {"\\deeper\\still\\Allow.txt", "\\Allow.txt", "\\Allow.txt.new", "\\u\\Allow.txt"})
            files.Remove(folder + name);
        for (const char* name : {"\\deeper\\still", "\\deeper", "\\u", ""})
            RemoveDirectoryW(Widen(folder + name).c_str());
    }

    Win32Files files;
    Win32CodePage codePage;
    std::string folder;
};

TEST_F(Win32FilesTest, WriteReplaceAndReadKeepEveryByte)
{
    const std::string path = folder + "\\Allow.txt";
    std::string bytes;
    EXPECT_EQ(files.Read(path, bytes), FileStore::ReadResult::kNotFound);
    EXPECT_EQ(files.Read(folder + "\\missing\\Allow.txt", bytes), FileStore::ReadResult::kNotFound);

    const std::string content("one\r\n\0two\xFF\r\n", 12);
    ASSERT_TRUE(files.Write(path + ".new", content));
    ASSERT_TRUE(files.Write(path, "old"));
    ASSERT_TRUE(files.Replace(path + ".new", path));
    ASSERT_EQ(files.Read(path, bytes), FileStore::ReadResult::kOk);
    EXPECT_EQ(bytes, content);
    EXPECT_EQ(files.Read(path + ".new", bytes), FileStore::ReadResult::kNotFound);
}

TEST_F(Win32FilesTest, TheAllowListSurvivesASaveAndALoadThroughRealFiles)
{
    AllowListLocation location{folder + "\\Allow.txt", folder + "\\u", folder + "\\u\\Allow.txt"};
    UrlList saved;
    saved.Append("http://example.com/");
    saved.Append("http://\xE4\xBE\x8B.example/");  // not in any Western code page
    ASSERT_TRUE(SaveAllowList(saved, files, codePage, location));

    UrlList loaded;
    LoadAllowList(loaded, files, codePage, location);
    EXPECT_EQ(loaded.Entries(), saved.Entries());
}

TEST_F(Win32FilesTest, TheCodePageRefusesWhatItCannotHoldExactly)
{
    EXPECT_EQ(codePage.FromUtf8("http://a/"), "http://a/");
    EXPECT_EQ(codePage.FromUtf8("http://\xE4\xBE\x8B/"), std::nullopt);
    EXPECT_EQ(codePage.ToUtf8("plain"), "plain");
}

}  // namespace
}  // namespace quellix
