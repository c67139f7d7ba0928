#pragma once

#include "runtime/file_services.h"

#include <string>

namespace runtime {

/// FileServices on Windows, with wide-character Win32 calls; texts travel as UTF-8 and
/// are converted at each call.
///
/// Folder texts end in a backslash and a drive root is three characters ("C:\"). A file is
/// read-only, hidden or system by its attributes; the directory search finds a hidden file
/// only when the mask has kAttrHidden and a system file only when it has kAttrSystem. Names
/// compare without regard to letter case, as the file system does, and the search answers
/// with the name as the file system spells it. Renames never replace; installing the upgrade
/// replaces in one step; two names cannot be traded in one step. Copies are written under the
/// temporary name given to createCopy, since Windows has no unnamed files, without the system's
/// cache (FILE_FLAG_NO_BUFFERING, written through) where the volume allows. A folder is locked
/// with a named mutex made from its identity (volume serial number and file ID), so that every
/// path to it (another drive letter, a short name) meets the same one; from its full path,
/// letter case folded, only when the folder cannot be opened.
class WinFileServices : public FileServices {
public:
    WinFileServices();

    std::string appFolder() override;
    std::string startFolder() override { return m_startFolder; }
    std::string dirSearch(const std::string& path, int attrMask) override;
    void setAttrNormal(const std::string& path) override;
    void deleteFile(const std::string& path) override;
    void renameFile(const std::string& from, const std::string& to) override;
    bool linkFile(const std::string& from, const std::string& to) override;
    void replaceFile(const std::string& from, const std::string& to) override;
    bool exchangeFiles(const std::string& a, const std::string& b) override;
    bool isRegularFile(const std::string& path) override;
    std::optional<FileInfo> fileInfo(const std::string& path) override;
    std::unique_ptr<FolderLock> lockFolder(const std::string& folder) override;
    std::unique_ptr<BlockFile> openToCopy(const std::string& path) override;
    std::unique_ptr<CopyTarget> createCopy(const std::string& to, const std::string& partPath) override;
    unsigned matchPermissions(const std::string& reference, const std::string& target,
                              const FileId& expected) override;
    FileInUse fileInUse(const std::string& path) override;
    void appendText(const std::string& path, const std::string& text) override;
    void flushFolder(const std::string& folder) override;
    std::vector<Drive> drives() override;
    Drive driveOf(const std::string& path) override;
    std::string driveCurrentFolder(const Drive& drive) override;
    std::vector<FolderEntry> listFolder(const std::string& folder) override;

private:
    std::string m_startFolder; ///< the working folder when the services were made
};

/// The name of the mutex that locks `folder` against a second swap: the same for every
/// path that leads to the same folder.
std::wstring folderLockName(const std::string& folder);

/// The failure number for a Win32 error code (GetLastError).
int win32ErrorNumber(unsigned long code);

/// UTF-8 to UTF-16 and back, as every call needs. Text that is not valid UTF-8 cannot
/// name a file: it fails with 75 "Path/File access error".
std::wstring toWide(const std::string& text);
std::string toUtf8(const std::wstring& text);

/// The path for a Win32 call: toWide's, and for a path too long for the plain form the
/// absolute "\\?\" form, which takes it up to 32,767 characters.
std::wstring winPath(const std::string& path);

} // namespace runtime
