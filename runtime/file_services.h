#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace runtime {

/// The separator that ends every folder text on this platform ('/' on POSIX, '\\' on Windows).
extern const char kFolderSeparator;

/// Attribute bits of a directory search mask.
enum Attribute : int {
    kAttrNormal = 0,
    kAttrReadOnly = 1,
    kAttrHidden = 2,
    kAttrSystem = 4,
    kAttrVolume = 8,
    kAttrDirectory = 16,
    kAttrArchive = 32,
};

/// The stages of a copy, in the order they run: writing the copy, flushing it to disk, and
/// reading the copy back from the disk and the source once more to compare the two.
enum class CopyStage { Copying, Saving, Checking };

/// Called while a copy runs, from the thread that started it: the stage, and the bytes of
/// it done so far out of `total`. Each stage is reported from 0 up to `total`; a long stage
/// is reported every few hundredths of a second, whether it moved or not.
using CopyProgress = std::function<void(CopyStage stage, std::uint64_t done, std::uint64_t total)>;

/// What tells that a file was changed: its size and the times the file system keeps of its
/// last write and last change (0 where it keeps none).
struct FileStamp {
    std::uint64_t size{0};
    std::int64_t written{0};
    std::int64_t changed{0};

    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

/// A file open for a copy, read in blocks at any offset, from several threads at once.
/// Offsets, sizes and buffer addresses are multiples of alignment(); where the file system
/// allows, reads and writes bypass the system's cache and go to the device.
class BlockFile {
public:
    virtual ~BlockFile() = default;

    /// What offsets, sizes and buffer addresses must be multiples of: a power of two.
    virtual std::size_t alignment() const = 0;

    /// The largest transfer the file takes at its best, where that is less than any size: the
    /// copy cuts the file into chunks no larger (a multiple of alignment()). 0 where any does.
    virtual std::size_t preferredTransfer() const { return 0; }

    /// The file's stamp now.
    virtual FileStamp stamp() = 0;

    /// Reads up to `size` bytes at `offset` into `buffer`, fewer only where the file ends.
    virtual std::size_t readAt(std::uint64_t offset, char* buffer, std::size_t size) = 0;
};

/// A copy being made: a new file, without its name until name() gives it. Destroyed before
/// that, it is removed, and nothing of it is left.
class CopyTarget : public BlockFile {
public:
    /// Writes `size` bytes at `offset`; the last block of the file padded to the alignment.
    virtual void writeAt(std::uint64_t offset, const char* data, std::size_t size) = 0;

    /// Cuts the file to `length`, dropping the padding of its last block.
    virtual void setLength(std::uint64_t length) = 0;

    /// Flushes what was written to the disk.
    virtual void flush() = 0;

    /// Drops what memory holds of the flushed file, so that it is read back from the device
    /// where there is one. Nothing where reads go to the device anyway or it cannot be done.
    virtual void dropCache() = 0;

    /// Whether reading the copy back must wait for the end of flush() and dropCache() to read
    /// what is on the disk. False where the check reads the same bytes during the flush as
    /// after it, and may then run while the flush does.
    virtual bool checkAfterFlush() const { return true; }

    /// Gives the complete file its name; never replaces a file (58 when the name is taken).
    virtual void name() = 0;
};

/// One entry of a folder as the folder and file lists need it.
struct FolderEntry {
    std::string name;   ///< bare name, as bytes
    bool folder{false}; ///< a folder or a link to one; otherwise a regular file or a link to one
    bool hidden{false}; ///< a dot file on POSIX; the hidden or system attribute on Windows
};

/// A drive: a drive letter on Windows, a mounted volume on POSIX.
struct Drive {
    std::string name; ///< "C:" on Windows; the mount point ("/", "/media/usb") on POSIX
    std::string root; ///< folder text of the drive's root: "C:\\", "/", "/media/usb/"

    friend bool operator==(const Drive&, const Drive&) = default;
};

/// Whether a program file runs, as far as the system can tell.
struct FileInUse {
    bool inUse{false};
    std::string process;        ///< the name of the process running it, or "" where the system cannot tell
    unsigned long processId{0}; ///< its process number, or 0 where the system cannot tell
};

/// Which file an entry is: its volume and its number there, the same through every path and
/// every name that leads to it.
struct FileId {
    std::uint64_t volume{0};
    std::uint64_t file{0};
    /// When the file was made, where the file system says: a file's number is given to the
    /// next new file as soon as the file is gone, and this tells the two apart.
    std::uint64_t born{0};

    friend bool operator==(const FileId&, const FileId&) = default;
};

/// What an entry is itself (never what a link leads to), all seen through one open handle.
struct FileInfo {
    FileId id;
    bool regular{false};    ///< a regular file: not a link, a folder, a device or a pipe
    std::uint32_t links{0}; ///< how many names the file has, in this folder or elsewhere
};

/// What matchPermissions could not give the new file, as bits.
enum NotKept : unsigned {
    kKeptAll = 0,
    kNotKeptOwner = 1,        ///< the owner or group
    kNotKeptSetId = 2,        ///< a set-user-ID or set-group-ID bit, left off for want of the owner
    kNotKeptAcl = 4,          ///< the access control list
    kNotKeptCapabilities = 8, ///< file capabilities
    kNotKeptAttributes = 16,  ///< other extended attributes
};

/// Held while one swap works on an application folder; letting it go frees the folder for
/// the next one.
class FolderLock {
public:
    virtual ~FolderLock() = default;
};

/// The file, folder and drive operations of the platform. Paths are bytes and are
/// passed through untouched; every operation is one whole-file call and holds no file
/// open after it returns, but for the files of a copy, which its objects hold. Any failure throws
/// runtime::Failure with a number from the shared table (errors.h) and its description.
class FileServices {
public:
    virtual ~FileServices() = default;

    /// Full path of the folder holding the running executable, without a trailing
    /// separator except at a root.
    virtual std::string appFolder() = 0;

    /// Full path of the folder the program was started in (the working folder when the
    /// services were made), without a trailing separator except at a root; "" when the
    /// system cannot say.
    virtual std::string startFolder() = 0;

    /// The bare name of the entry at exactly `path` when it matches `attrMask`, else "".
    /// Files (and links) are always candidates; hidden ones only when the mask has
    /// kAttrHidden; folders only when it has kAttrDirectory. A missing path gives "";
    /// any other error is a failure.
    virtual std::string dirSearch(const std::string& path, int attrMask) = 0;

    /// Sets the attributes of a file to normal (read-only, hidden, system, archive cleared).
    virtual void setAttrNormal(const std::string& path) = 0;

    /// Deletes a file. Fails when it is missing, in use or not permitted.
    virtual void deleteFile(const std::string& path) = 0;

    /// Renames a file; never replaces an existing file (58 when `to` is taken).
    virtual void renameFile(const std::string& from, const std::string& to) = 0;

    /// Makes `to` a second name of the file `from` (a hard link); never replaces. Returns
    /// false, changing nothing, when the file system cannot do that.
    virtual bool linkFile(const std::string& from, const std::string& to) = 0;

    /// Moves `from` over `to` in one atomic step, replacing `to` if it exists.
    virtual void replaceFile(const std::string& from, const std::string& to) = 0;

    /// Swaps the names of the two existing entries `a` and `b` in one atomic step. Returns
    /// false, changing nothing, when the file system cannot do that.
    virtual bool exchangeFiles(const std::string& a, const std::string& b) = 0;

    /// Whether `path` is a regular file itself: not a link (whatever it leads to), a folder,
    /// a device or a pipe. A missing path gives false; any other error is a failure.
    virtual bool isRegularFile(const std::string& path) = 0;

    /// What the entry at `path` is itself, from one open handle on it, so that its kind, its
    /// links and its identity belong to the same file. Nothing when there is no entry.
    virtual std::optional<FileInfo> fileInfo(const std::string& path) = 0;

    /// Locks the folder against a second swap of it, by this or another process, until the
    /// lock is destroyed; writes nothing. Every path to the same folder meets the same lock. Returns null
    /// when someone else holds it. Where the file system cannot lock, the lock returned holds nothing.
    virtual std::unique_ptr<FolderLock> lockFolder(const std::string& folder) = 0;

    /// Opens the regular file `path` to be copied (75 for anything else, without waiting on a
    /// pipe). The file stays open until the object is destroyed.
    virtual std::unique_ptr<BlockFile> openToCopy(const std::string& path) = 0;

    /// Creates the copy that will be named `to` once complete, in `to`'s folder. On a file
    /// system that cannot create an unnamed file it is written under the name `partPath`
    /// (which must not exist) until then. Nothing is left behind when it is not named.
    virtual std::unique_ptr<CopyTarget> createCopy(const std::string& to, const std::string& partPath) = 0;

    /// Gives `target` the permissions of `reference` and, as far as the process may, its
    /// owner, access control list, extended attributes and file capabilities; returns the
    /// NotKept bits of what it could not. A set-user-ID or set-group-ID bit is given only
    /// with the owner or group it belongs to. Changes nothing and fails with 75 unless
    /// `target`, looked at through the handle the changes go through, is the regular file
    /// `expected` with no other name, so that no file elsewhere is changed with it.
    virtual unsigned matchPermissions(const std::string& reference, const std::string& target,
                                      const FileId& expected) = 0;

    /// Whether the program file `path` runs as a process, or is held open so that it cannot
    /// be replaced; on Linux, where a running program can be renamed, whether a process runs
    /// that very file. Changes nothing. A missing file is not in use.
    virtual FileInUse fileInUse(const std::string& path) = 0;

    /// Appends `text` to the file `path`, creating it when missing, and closes it again.
    virtual void appendText(const std::string& path, const std::string& text) = 0;

    /// Flushes a folder's entries to disk, so renames in it survive a power cut.
    virtual void flushFolder(const std::string& folder) = 0;

    /// The drives to offer the user, the one holding the system's root first. Always
    /// includes the drives holding the application folder and the folder the program was
    /// started in.
    virtual std::vector<Drive> drives() = 0;

    /// The drive that holds `path` (which need not exist beyond its drive). On Windows the
    /// drive letter at the start of `path`.
    virtual Drive driveOf(const std::string& path) = 0;

    /// The path (no trailing separator except at a root) of a drive's current folder: the
    /// folder the program was started in when that drive holds it, else the drive's root.
    /// Fails with 71 "Disk not ready" when the drive is gone or its root cannot be read.
    virtual std::string driveCurrentFolder(const Drive& drive) = 0;

    /// The subfolders and the files (regular files, links to them) of `folder`, in no
    /// particular order; "." and "..", and entries of any other kind, are left out.
    /// Reads the folder afresh at every call. Fails when the folder cannot be read.
    virtual std::vector<FolderEntry> listFolder(const std::string& folder) = 0;
};

/// The file services of the platform this program was built for.
std::unique_ptr<FileServices> createFileServices();

} // namespace runtime
