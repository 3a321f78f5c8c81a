// The Windows settings store (run under Wine by CTest): names that survive the registry, values
// of the wrong type or without their terminator, saves that touch one value, and the section
// name from the module's file name.
//
// Every test works under an application or section of its own and removes it afterwards, so the
// program's own settings in the same registry stay untouched.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/headless/memory_settings.h"
#include "platform/win32/win32_settings.h"
#include "platform/win32/win32_text.h"
#include "settings/settings_store.h"
#include "tests/captured_warnings.h"

using namespace qv;
using namespace qv::headless;
using namespace qv::win32;

namespace {

std::wstring pidText() {
    return std::to_wstring(GetCurrentProcessId());
}

// A value put in place as another program (or regedit) would.
void putRaw(const std::wstring& subkey, const std::wstring& name, DWORD type, const void* data,
            DWORD bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), bytes),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

std::wstring rawText(const std::wstring& subkey, const std::wstring& name) {
    wchar_t buf[512];
    DWORD bytes = sizeof buf;
    if (RegGetValueW(HKEY_CURRENT_USER, subkey.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, buf,
                     &bytes) != ERROR_SUCCESS)
        return L"<absent>";
    return buf;
}

class RegistryTest : public ::testing::Test {
  protected:
    // Wine reuses process ids: what a run that crashed left under this name goes first.
    RegistryTest() { RegDeleteTreeW(HKEY_CURRENT_USER, appKey.c_str()); }
    ~RegistryTest() override { RegDeleteTreeW(HKEY_CURRENT_USER, appKey.c_str()); }

    const std::string app = "QV_TKS_TEST_" + narrowFromWide(pidText());
    const std::wstring appKey = L"Software\\" + wideFromNarrow(app);
    HandlerGuard guard;
    test::CapturedWarnings warnings{guard};
    std::vector<std::string>& reports = warnings.lines;
    RegistrySettingsBackend backend{guard};
};

TEST_F(RegistryTest, OddSectionNamesRoundTrip) {
    const std::vector<std::string> names = {
        "qv-tickspan",
        "with space",
        " leading and trailing ",
        "[bracketed]",
        "a=b;c#d",
        "\xC3\x9C"
        "bersicht \xE2\x8F\xB1",
        "emoji \xF0\x9F\x98\x80",
        "lone \xED\xA0\x80 surrogate",  // as a Windows file name may hold one
        "\xED\xB0\x80\xED\xA0\x80 reversed pair",
        "a.b",
        std::string(200, 'n'),
    };
    for (std::size_t i = 0; i < names.size(); ++i) {
        const SaveResult r = backend.save(app, names[i], "MAIN_Left", std::to_string(i));
        ASSERT_TRUE(r.ok) << names[i] << ": " << r.error;
    }
    RegistrySettingsBackend fresh(guard);
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(fresh.read(app, names[i], "MAIN_Left"), std::to_string(i)) << names[i];
        EXPECT_EQ(fresh.read(app, names[i], "MAIN_Top"), std::nullopt);
    }
    // One REG_SZ value under the key named in UTF-16 as Windows names it.
    EXPECT_TRUE(rawText(appKey + L"\\\u00DCbersicht \u23F1", L"MAIN_Left") == L"5");
    EXPECT_TRUE(reports.empty());
}

TEST_F(RegistryTest, ValuesOfOtherTypesAreReportedAndGiveTheDefault) {
    const std::wstring sectionKey = appKey + L"\\qv-tickspan";
    const DWORD number = 1500;
    putRaw(sectionKey, L"MAIN_Left", REG_DWORD, &number, sizeof number);
    putRaw(sectionKey, L"MAIN_Top", REG_BINARY, "\x01\x02", 2);
    EXPECT_EQ(backend.read(app, "qv-tickspan", "MAIN_Left"), std::nullopt);
    EXPECT_EQ(backend.read(app, "qv-tickspan", "MAIN_Left"), std::nullopt);
    EXPECT_EQ(backend.read(app, "qv-tickspan", "MAIN_Top"), std::nullopt);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0], "qv-tickspan: settings: HKEY_CURRENT_USER\\Software\\" + app +
                              "\\qv-tickspan\\MAIN_Left is REG_DWORD, not a text (REG_SZ); the "
                              "default is used instead");
    EXPECT_NE(reports[1].find("MAIN_Top is REG_BINARY"), std::string::npos);
}

TEST_F(RegistryTest, TextsWithoutTerminatorOrOfAnyLengthReadWhole) {
    const std::wstring sectionKey = appKey + L"\\qv-tickspan";
    putRaw(sectionKey, L"MAIN_Left", REG_SZ, L"1500", 4 * sizeof(wchar_t));  // no terminator
    const std::wstring longText(10000, L'7');
    putRaw(sectionKey, L"MAIN_Top", REG_SZ, longText.c_str(),
           static_cast<DWORD>((longText.size() + 1) * sizeof(wchar_t)));
    EXPECT_EQ(backend.read(app, "qv-tickspan", "MAIN_Left"), "1500");
    EXPECT_EQ(backend.read(app, "qv-tickspan", "MAIN_Top"), std::string(10000, '7'));
    EXPECT_TRUE(reports.empty());
}

TEST_F(RegistryTest, ASaveSetsOneValueAndLeavesTheRest) {
    const std::wstring sectionKey = appKey + L"\\qv-tickspan";
    const DWORD number = 7;
    putRaw(sectionKey, L"Unknown", REG_DWORD, &number, sizeof number);
    putRaw(sectionKey, L"MAIN_Top", REG_SZ, L"25", 3 * sizeof(wchar_t));
    ASSERT_TRUE(backend.save(app, "qv-tickspan", "MAIN_Left", "-15").ok);
    ASSERT_TRUE(backend.save(app, "qv-tickspan", "MAIN_Left", "-16").ok);
    EXPECT_TRUE(rawText(sectionKey, L"MAIN_Left") == L"-16");
    EXPECT_TRUE(rawText(sectionKey, L"MAIN_Top") == L"25");
    DWORD back = 0;
    DWORD bytes = sizeof back;
    EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, sectionKey.c_str(), L"Unknown", RRF_RT_REG_DWORD,
                           nullptr, &back, &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(back, 7u);
}

TEST_F(RegistryTest, ARefusedSaveSaysWhy) {
    // A key name longer than the registry allows: Windows refuses it, with its own message.
    const SaveResult r = backend.save(app, std::string(300, 'x'), "MAIN_Left", "1");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("cannot open HKEY_CURRENT_USER\\Software\\" + app), std::string::npos)
        << r.error;
    EXPECT_GT(r.error.size(), r.error.find(": ") + 2) << r.error;  // the OS's message follows
}

// The store as the windows use it: application QV_TKS, a section of the test's own.
TEST_F(RegistryTest, TheStoreOverTheRegistry) {
    const std::string section = "settings-test-" + narrowFromWide(pidText());
    const std::wstring sectionKey = L"Software\\QV_TKS\\" + wideFromNarrow(section);
    FixedSection name(section);
    {
        SettingsStore store(backend, name, guard);
        EXPECT_EQ(store.readSingle(SettingKey::ABOUT_Width), 8730.0f);
        EXPECT_EQ(store.readInteger16(SettingKey::AUTOSTART_TICKBOX), 1);
        EXPECT_TRUE(store.saveSingle(SettingKey::ABOUT_Left, -1234.5f));
        EXPECT_TRUE(store.saveInteger16(SettingKey::AUTOSTART_TICKBOX, 0));
        EXPECT_EQ(store.readSingle(SettingKey::ABOUT_Left), -1234.5f);
        EXPECT_EQ(store.readInteger16(SettingKey::AUTOSTART_TICKBOX), 0);
        const DWORD number = 0;
        putRaw(sectionKey, L"AlwaysOnTop_TICKBOX", REG_DWORD, &number, sizeof number);
        EXPECT_EQ(store.readInteger16(SettingKey::AlwaysOnTop_TICKBOX), 1);
    }
    EXPECT_TRUE(rawText(sectionKey, L"ABOUT_Left") == L"-1234.5");
    RegDeleteTreeW(HKEY_CURRENT_USER, sectionKey.c_str());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("AlwaysOnTop_TICKBOX is REG_DWORD"), std::string::npos);
}

// ------------------------------------------------------------------------ the section name

// Runs a program and returns what it wrote on standard output.
std::string outputOf(const std::wstring& exe) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return "<no pipe>";
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    std::wstring commandLine = L"\"" + exe + L"\"";

    const BOOL started = CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &si, &pi);
    CloseHandle(writeEnd);
    std::string out;
    if (started) {
        char buf[512];
        DWORD n = 0;
        while (ReadFile(readEnd, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
        WaitForSingleObject(pi.hProcess, INFINITE);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    } else {
        out = "<CreateProcessW failed: " + std::to_string(GetLastError()) + ">";
    }
    CloseHandle(readEnd);
    return out;
}

TEST(ModuleSection, IsTheExecutablesFileNameWithoutExtension) {
    EXPECT_EQ(sectionForModulePath(L"C:\\Program Files\\QV.d\\qv-tickspan.exe"), "qv-tickspan");
    EXPECT_EQ(sectionForModulePath(L"\\\\?\\C:\\x\\qv.tick.span.exe"), "qv.tick.span");
    EXPECT_EQ(sectionForModulePath(L"D:/mixed/slashes.EXE"), "slashes");
    EXPECT_EQ(sectionForModulePath(L"C:\\x\\no-extension"), "no-extension");
    EXPECT_EQ(sectionForModulePath(std::wstring(L"C:\\\xD800odd.exe")), "\xED\xA0\x80odd");

    // The buffer grows until the whole path fits: from one character, and from exactly the
    // path's length, which leaves no room for the terminator and so cuts the name.
    const std::wstring path = moduleFileName();
    EXPECT_TRUE(path.ends_with(L"\\registry_settings_tests.exe"));
    EXPECT_TRUE(moduleFileName(1) == path);
    EXPECT_TRUE(moduleFileName(path.size()) == path);
    EXPECT_TRUE(moduleFileName(path.size() + 1) == path);
    EXPECT_EQ(ModuleFileSection().sectionName(), "registry_settings_tests");
}

// A folder of the test's own in the temporary folder, emptied and removed however the test
// ends; one that a failed run left behind (Wine reuses process ids) is emptied first.
class TempFolder {
  public:
    TempFolder() {
        wchar_t temp[MAX_PATH + 1];
        if (GetTempPathW(MAX_PATH + 1, temp) == 0) return;
        path_ = std::wstring(temp) + L"qv-section-" + pidText();
        clear();
        made_ = CreateDirectoryW(path_.c_str(), nullptr) != FALSE;
    }
    ~TempFolder() { clear(); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    bool made() const { return made_; }
    const std::wstring& path() const { return path_; }

  private:
    void clear() {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                DeleteFileW((path_ + L"\\" + found.cFileName).c_str());
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(path_.c_str());
    }

    std::wstring path_;
    bool made_ = false;
};

// NOTE: Wine starts no program from a path longer than MAX_PATH, so long paths are covered by the
// growing buffer above rather than by a copy in a deep folder.
TEST(ModuleSection, CopiesUnderOddNamesKnowTheirNames) {
    const std::wstring self = moduleFileName();
    const std::wstring probe = self.substr(0, self.find_last_of(L"\\/") + 1) + L"section_probe.exe";
    const TempFolder dir;
    ASSERT_TRUE(dir.made()) << GetLastError();

    const std::wstring odd = dir.path() + L"\\qv tick [2];#=\u00DC.v2.exe";
    ASSERT_TRUE(CopyFileW(probe.c_str(), odd.c_str(), TRUE)) << GetLastError();
    EXPECT_EQ(outputOf(odd), "qv tick [2];#=\xC3\x9C.v2");
}

}  // namespace
