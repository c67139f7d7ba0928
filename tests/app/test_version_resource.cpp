// Reads the version record and the icon back from this program's own file, built from the
// same resource script as the tool itself.

#include <cstdint>
#include <string>
#include <vector>
#include <windows.h>

#include <gtest/gtest.h>

namespace {

std::vector<char> ownVersionRecord()
{
    wchar_t exe[MAX_PATH] = {};
    if (::GetModuleFileNameW(nullptr, exe, MAX_PATH) == 0)
        return {};
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(exe, &ignored);
    std::vector<char> record(size);
    if (size == 0 || !::GetFileVersionInfoW(exe, 0, size, record.data()))
        return {};
    return record;
}

std::wstring stringValue(std::vector<char>& record, const std::wstring& key)
{
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(record.data(), key.c_str(), &value, &length) || length == 0)
        return L"(missing)";
    return std::wstring(static_cast<const wchar_t*>(value), length - 1); // length counts the NUL
}

} // namespace

TEST(VersionResource, FileAndProductVersionAre100UnderUsEnglishUnicode)
{
    std::vector<char> record = ownVersionRecord();
    ASSERT_FALSE(record.empty()) << "no version record in this program's file";
    EXPECT_EQ(stringValue(record, L"\\StringFileInfo\\040904B0\\FileVersion"), L"1.00");
    EXPECT_EQ(stringValue(record, L"\\StringFileInfo\\040904B0\\ProductVersion"), L"1.00");

    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation", &value, &length));
    ASSERT_GE(length, 4u);
    const auto* translation = static_cast<const WORD*>(value);
    EXPECT_EQ(translation[0], 0x0409); // US English
    EXPECT_EQ(translation[1], 0x04B0); // Unicode

    ASSERT_TRUE(::VerQueryValueW(record.data(), L"\\", &value, &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u); // 1.0
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
}

TEST(VersionResource, TheProgramIconIsTheWindowsIcon32By32In16Colours)
{
    // The first icon group is the one Explorer shows for the program.
    const HRSRC group = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14)); // RT_GROUP_ICON
    ASSERT_NE(group, nullptr);
    const auto* bytes = static_cast<const std::uint8_t*>(::LockResource(::LoadResource(nullptr, group)));
    ASSERT_NE(bytes, nullptr);
    ASSERT_GE(::SizeofResource(nullptr, group), 6u + 14u);
    EXPECT_EQ(bytes[2] | (bytes[3] << 8), 1); // icons, not cursors
    ASSERT_GE(bytes[4] | (bytes[5] << 8), 1);
    const std::uint8_t* entry = bytes + 6; // width, height, colour count, ...
    EXPECT_EQ(entry[0], 32);
    EXPECT_EQ(entry[1], 32);
    EXPECT_EQ(entry[2], 16);

    const HICON icon = static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
    EXPECT_NE(icon, nullptr);
    if (icon)
        ::DestroyIcon(icon);
}
