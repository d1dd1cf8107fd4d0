// tessaly.ocx registered and unregistered by the real regsvr32, for the machine and for one
// user, and used afterwards the way a host does: by ProgID, by dispatch identifier and by name.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <string>

#include "base/unique_handle.h"
#include "monitor/tessaly.h"
#include "tests/monitor/ocx.h"

namespace tessaly::test {
namespace {

// The library is registered for the platform of the build: the 64-bit one is made for tests
// where no 32-bit program runs.
const std::wstring kPlatform = sizeof(void*) == 8 ? L"win64" : L"win32";

using quellix::ComPtr;

DWORD RunProcess(const std::wstring& commandLine)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring line = commandLine;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return GetLastError();
    WaitForSingleObject(process.hProcess, 60'000);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

std::wstring Guid(REFGUID guid)
{
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

bool KeyExists(HKEY root, const std::wstring& path)
{
    quellix::UniqueHkey key;
    return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

std::wstring ReadString(HKEY root, const std::wstring& path, const wchar_t* name = nullptr)
{
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof value;
    if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return L"<missing>";
    return value;
}

// Every key that registration may write, under one classes root.
std::vector<std::wstring> OurKeys()
{
    return {L"CLSID\\" + Guid(kClsidIEEvents),    kProgId,
            L"TypeLib\\" + Guid(kLibraryId),      L"Interface\\" + Guid(kIidIEEvents),
            L"Interface\\" + Guid(kIidCBrowsers), L"Interface\\" + Guid(kDiidIEEventsEvents),
            L"CLSID\\" + Guid(kClsidCBrowsers)};
}

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override { regsvr32 = L"regsvr32.exe /s "; }
    void TearDown() override
    {
        RunProcess(regsvr32 + L"/u \"" + OcxPath() + L"\"");
        RunProcess(regsvr32 + L"/u /n /i:user \"" + OcxPath() + L"\"");
    }

    std::wstring regsvr32;
};

TEST_F(RegistrationTest, Regsvr32RegistersTheControlAndUnregistersItWithoutATrace)
{
    quellix::UniqueHkey classes;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes", 0, KEY_READ, classes.put()), ERROR_SUCCESS);
    for (const std::wstring& key : OurKeys())
        ASSERT_FALSE(KeyExists(classes.get(), key)) << "left over from an earlier run";

    ASSERT_EQ(RunProcess(regsvr32 + L"\"" + OcxPath() + L"\""), 0u);
    const std::wstring clsid = L"CLSID\\" + Guid(kClsidIEEvents);
    EXPECT_EQ(ReadString(classes.get(), clsid + L"\\InprocServer32"), OcxPath());
    EXPECT_EQ(ReadString(classes.get(), clsid + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_EQ(ReadString(classes.get(), clsid + L"\\ProgID"), kProgId);
    EXPECT_TRUE(KeyExists(classes.get(), clsid + L"\\Control"));
    EXPECT_EQ(ReadString(classes.get(), clsid + L"\\MiscStatus\\1"), L"131473");
    EXPECT_EQ(ReadString(classes.get(), clsid + L"\\ToolboxBitmap32"), OcxPath() + L", 30000");
    EXPECT_EQ(ReadString(classes.get(), clsid + L"\\TypeLib"), Guid(kLibraryId));
    EXPECT_EQ(ReadString(classes.get(), std::wstring(kProgId) + L"\\CLSID"), Guid(kClsidIEEvents));
    EXPECT_EQ(ReadString(classes.get(), L"TypeLib\\" + Guid(kLibraryId) + L"\\7.0\\0\\" + kPlatform), OcxPath());
    EXPECT_TRUE(KeyExists(classes.get(), L"Interface\\" + Guid(kDiidIEEventsEvents)));
    EXPECT_FALSE(KeyExists(classes.get(), L"CLSID\\" + Guid(kClsidCBrowsers))) << "the list is not creatable";

    ASSERT_EQ(RunProcess(regsvr32 + L"/u \"" + OcxPath() + L"\""), 0u);
    for (const std::wstring& key : OurKeys())
        EXPECT_FALSE(KeyExists(classes.get(), key)) << "left behind: " << std::string(key.begin(), key.end());
}

TEST_F(RegistrationTest, AHostCreatesTheRegisteredControlByProgIdAndBindsByName)
{
    ASSERT_EQ(RunProcess(regsvr32 + L"\"" + OcxPath() + L"\""), 0u);
    Apartment apartment;
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(kProgId, &clsid), S_OK);
    EXPECT_EQ(clsid, kClsidIEEvents);
    ComPtr<IDispatch> control;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&control)), S_OK);
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"Enabled");
    ASSERT_EQ(control->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    EXPECT_EQ(id, kDispidEnabled);
    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none{};
    ASSERT_EQ(control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                              nullptr),
              S_OK);
    EXPECT_EQ(result.vt, VT_BOOL);
    EXPECT_EQ(result.boolVal, VARIANT_FALSE);
    control.Reset();
    CoFreeUnusedLibraries();
}

// What the program does when it finds the control unregistered: a registration that needs
// no administrator rights. (Windows merges these classes into HKEY_CLASSES_ROOT; Wine 8
// does not, so creation by ProgID is checked above with the machine-wide registration.)
TEST_F(RegistrationTest, APerUserRegistrationStaysWithTheUserAndGoesWithoutATrace)
{
    ASSERT_EQ(RunProcess(regsvr32 + L"/n /i:user \"" + OcxPath() + L"\""), 0u);
    const std::wstring user = L"Software\\Classes\\";
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, user + kProgId + L"\\CLSID"), Guid(kClsidIEEvents));
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, user + L"CLSID\\" + Guid(kClsidIEEvents) + L"\\InprocServer32"), OcxPath());
    // Where the type library's registration goes is oleaut32's business (Wine 8 puts it
    // machine-wide); what matters is that it is found, and gone after unregistration.
    BSTR path = nullptr;
    ASSERT_EQ(QueryPathOfRegTypeLib(kLibraryId, kLibraryMajor, kLibraryMinor, LOCALE_NEUTRAL, &path), S_OK);
    EXPECT_EQ(std::wstring(path), OcxPath());
    SysFreeString(path);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\" + std::wstring(kProgId)));

    ASSERT_EQ(RunProcess(regsvr32 + L"/u /n /i:user \"" + OcxPath() + L"\""), 0u);
    for (const std::wstring& key : OurKeys())
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, user + key))
            << "left behind: " << std::string(key.begin(), key.end());
    EXPECT_EQ(QueryPathOfRegTypeLib(kLibraryId, kLibraryMajor, kLibraryMinor, LOCALE_NEUTRAL, &path),
              TYPE_E_LIBNOTREGISTERED);
}

}  // namespace
}  // namespace tessaly::test
