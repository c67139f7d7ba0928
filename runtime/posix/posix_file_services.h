#pragma once

#include "runtime/file_services.h"

#include <cstddef>
#include <cstdint>

namespace runtime {

/// FileServices on Linux and other POSIX systems.
///
/// Read-only is the owner's write permission and a dot file is hidden; names compare
/// exactly, as the file system does. Only regular files and links count as files.
///
/// listFolder reads the folder at every call; where the file system does not tell the kinds
/// of the entries, it looks at them with a few threads at once. One thread at a time calls in.
class PosixFileServices : public FileServices {
public:
    /// Switches that turn off kernel features, so tests can walk the fallbacks that
    /// older kernels and file systems such as FAT need.
    struct Options {
        bool useTmpFile{true};         ///< O_TMPFILE for the copy
        bool useRenameNoReplace{true}; ///< renameat2(RENAME_NOREPLACE)
        bool useHardLinks{true};       ///< link(2) for linkFile
        bool useExchange{true};        ///< renameat2(RENAME_EXCHANGE) for exchangeFiles
        bool useEntryTypes{true};      ///< the entry kinds readdir reports (d_type)
        bool useDirectIo{true};        ///< O_DIRECT for the files of a copy
    };

    PosixFileServices();
    explicit PosixFileServices(Options options);

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

    /// How many times listFolder has read a folder from the file system.
    std::size_t foldersRead() const { return m_foldersRead; }

private:
    std::vector<FolderEntry> readFolder(const std::string& folder);

    Options m_options;
    std::size_t m_foldersRead{0};
    std::string m_startFolder; ///< the working folder when the services were made
};

/// The failure for errno value `err` raised while working on `path`: a missing file is
/// 53, or 76 when its folder is missing.
[[noreturn]] void throwErrno(int err, const std::string& path);

/// The failure number for an errno value, missing files aside.
int errnoNumber(int err);

} // namespace runtime
