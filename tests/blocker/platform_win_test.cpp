#include "blocker/platform_win.h"

#include <gtest/gtest.h>

#include <cctype>

#include "base/com.h"
#include "base/trace_win.h"
#include "base/unique_handle.h"
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
        for (const char* name : {"\\deeper\\still\\Allow.txt", "\\Allow.txt", "\\Allow.txt.new", "\\u\\Allow.txt",
                                 "\\trace.log", "\\trace.log.old"})
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
    EXPECT_EQ(files.Read(path, 1 << 20, bytes), FileStore::ReadResult::kNotFound);
    EXPECT_EQ(files.Read(folder + "\\missing\\Allow.txt", 1 << 20, bytes), FileStore::ReadResult::kNotFound);

    const std::string content("one\r\n\0two\xFF\r\n", 12);
    ASSERT_TRUE(files.Write(path + ".new", content));
    ASSERT_TRUE(files.Write(path, "old"));
    ASSERT_TRUE(files.Replace(path + ".new", path));
    ASSERT_EQ(files.Read(path, 1 << 20, bytes), FileStore::ReadResult::kOk);
    EXPECT_EQ(bytes, content);
    EXPECT_EQ(files.Read(path + ".new", 1 << 20, bytes), FileStore::ReadResult::kNotFound);
}

TEST_F(Win32FilesTest, TheAllowListSurvivesASaveAndALoadThroughRealFiles)
{
    const ListLocation location{folder + "\\Allow.txt", folder + "\\u", folder + "\\u\\Allow.txt"};
    ListFile file(files, codePage, location);
    UrlList saved;
    file.Load(saved);
    saved.Append("http://example.com/?a=1,b=2");
    saved.Append("http://\xE4\xBE\x8B.example/");  // not in any Western code page
    ASSERT_EQ(file.Save(saved), ListFile::SaveResult::kSaved);

    UrlList loaded;
    ListFile(files, codePage, location).Load(loaded);
    EXPECT_EQ(loaded.Entries(), saved.Entries());
}

TEST_F(Win32FilesTest, AFileHeldOpenIsBusyAndOnePathInTwoSpellingsIsOneFile)
{
    const std::string path = folder + "\\Allow.txt";
    ASSERT_TRUE(files.Write(path, "x"));
    std::string bytes;
    EXPECT_EQ(files.Read(path, 0, bytes), FileStore::ReadResult::kTooLarge);
    {
        // As an editor or a scanner holds it: no sharing at all.
        UniqueFile held(CreateFileW(Widen(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        EXPECT_EQ(files.Read(path, 1 << 20, bytes), FileStore::ReadResult::kBusy);
        EXPECT_TRUE(files.Modified(path));
    }
    std::string upper = path;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(files.SamePath(path, upper));
    EXPECT_TRUE(files.SamePath(path, folder + "\\deeper\\..\\Allow.txt"));
    EXPECT_FALSE(files.SamePath(path, folder + "\\u\\Allow.txt"));
    // Spellings that no comparison of names sees through: the file's identity does, for a
    // file and for one not written yet.
    EXPECT_TRUE(files.SamePath(path, "\\\\?\\" + upper));
    EXPECT_TRUE(files.SamePath(folder + "\\New.txt", "\\\\?\\" + folder + "\\NEW.TXT"));
    EXPECT_FALSE(files.SamePath(folder + "\\New.txt", "\\\\?\\" + folder + "\\deeper\\New.txt"));
}

TEST_F(Win32FilesTest, TheCodePageRefusesWhatItCannotHoldExactly)
{
    EXPECT_EQ(codePage.FromUtf8("http://a/"), "http://a/");
    EXPECT_EQ(codePage.FromUtf8("http://\xE4\xBE\x8B/"), std::nullopt);
    EXPECT_EQ(codePage.ToUtf8("plain"), "plain");
}

// A failed call is traced once, where it failed, in words; the file keeps to its bound.
TEST_F(Win32FilesTest, TheTraceRecordsAFailedCallWithItsPlaceAndKeepsItsFileBounded)
{
    trace::StartToFile(Widen(folder));
    const auto fails = [] {
        RETURN_IF_FAILED(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
        return S_OK;
    };
    const int line = __LINE__ - 3;
    EXPECT_EQ(fails(), E_ACCESSDENIED);
    const std::string big(1000, 'x');
    for (int i = 0; i < 1100; ++i)
        trace::Write(i, " ", big);
    trace::Stop();

    std::string kept, older;
    EXPECT_EQ(files.Read(folder + "\\trace.log", 2 << 20, kept), FileStore::ReadResult::kOk);
    EXPECT_EQ(files.Read(folder + "\\trace.log.old", 2 << 20, older), FileStore::ReadResult::kOk);
    EXPECT_LE(kept.size(), trace::kMaxBytes);
    EXPECT_LE(older.size(), trace::kMaxBytes);
    EXPECT_NE(kept.find(" 1099 x"), std::string::npos) << "the newest lines are in the file";
    const std::string place = "failed platform_win_test.cpp:" + std::to_string(line) +
                              " HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED): 0x80070005 ";
    const std::size_t failure = older.find(place);
    ASSERT_NE(failure, std::string::npos) << older.substr(0, 200);
    EXPECT_NE(older.at(failure + place.size()), '\r') << "and the system's words for it";
}

}  // namespace
}  // namespace quellix
