#pragma once

#include "file_services.h"

namespace runtime {

/// FileServices on Linux and other POSIX systems.
///
/// Read-only is the owner's write permission and a dot file is hidden; names compare
/// exactly, as the file system does. Only regular files and links count as files.
class PosixFileServices : public FileServices {
public:
    /// Switches that turn off kernel features, so tests can walk the fallbacks that
    /// older kernels and file systems such as FAT need.
    struct Options {
        bool useTmpFile{true};         ///< O_TMPFILE for the copy
        bool useRenameNoReplace{true}; ///< renameat2(RENAME_NOREPLACE)
        bool useHardLinks{true};       ///< link(2) for linkFile
    };

    PosixFileServices();
    explicit PosixFileServices(Options options);

    std::string appFolder() override;
    std::string dirSearch(const std::string& path, int attrMask) override;
    void setAttrNormal(const std::string& path) override;
    void deleteFile(const std::string& path) override;
    void renameFile(const std::string& from, const std::string& to) override;
    bool linkFile(const std::string& from, const std::string& to) override;
    void replaceFile(const std::string& from, const std::string& to) override;
    void copyFile(const std::string& from, const std::string& to, const std::string& partPath,
                  const CopyProgress& progress) override;
    void matchPermissions(const std::string& reference, const std::string& target) override;
    void flushFolder(const std::string& folder) override;
    std::vector<Drive> drives() override;
    Drive driveOf(const std::string& path) override;
    std::string driveCurrentFolder(const Drive& drive) override;
    std::vector<FolderEntry> listFolder(const std::string& folder) override;

private:
    Options m_options;
    std::string m_startFolder; ///< the working folder when the services were made
};

/// The failure for errno value `err` raised while working on `path`: a missing file is
/// 53, or 76 when its folder is missing.
[[noreturn]] void throwErrno(int err, const std::string& path);

/// The failure number for an errno value, missing files aside.
int errnoNumber(int err);

} // namespace runtime
