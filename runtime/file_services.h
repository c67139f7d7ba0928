#pragma once

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

/// The stages of a copy, in the order they run: writing the copy, flushing it to disk and
/// reading both files back to compare them. The comparing may begin during the copy, on the
/// parts already written to the disk.
enum class CopyStage { Copying, Saving, Checking };

/// Called while a copy runs: the stage, and the bytes of it done so far out of `total`.
/// Each stage is reported up to `total`, Copying and Saving from 0, Checking from the bytes
/// already compared during the copy; no step of the copy runs long between two calls.
using CopyProgress = std::function<void(CopyStage stage, std::uint64_t done, std::uint64_t total)>;

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
/// open after it returns. Any failure throws runtime::Failure with a number from the
/// shared table (errors.h) and its description.
class FileServices {
public:
    virtual ~FileServices() = default;

    /// Full path of the folder holding the running executable, without a trailing
    /// separator except at a root.
    virtual std::string appFolder() = 0;

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

    /// Copies the regular file `from` to `to`, which must not exist. `to` appears only
    /// when the copy is complete, flushed to disk and compared equal to its source, and the
    /// source kept its size and times (it was not changed meanwhile); on a
    /// file system that cannot create an unnamed file the copy is written under the name
    /// `partPath` first, which is removed again on failure. Nothing is left behind on failure.
    virtual void copyFile(const std::string& from, const std::string& to, const std::string& partPath,
                          const CopyProgress& progress) = 0;

    /// Gives `target` the permissions of `reference` and, as far as the process may, its
    /// owner, access control list, extended attributes and file capabilities; returns the
    /// NotKept bits of what it could not. A set-user-ID or set-group-ID bit is given only
    /// with the owner or group it belongs to. Changes nothing and fails with 75 unless
    /// `target`, looked at through the handle the changes go through, is the regular file
    /// `expected` with no other name, so that no file elsewhere is changed with it.
    virtual unsigned matchPermissions(const std::string& reference, const std::string& target,
                                      const FileId& expected) = 0;

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
