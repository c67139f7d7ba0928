#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

/// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    /// The folder as a folder text (ending in the separator), as bytes.
    std::string text() const;

    /// Makes a subfolder (and any missing parents) and returns its path.
    std::filesystem::path mkdir(const std::string& relative) const;

private:
    std::filesystem::path m_path;
};

/// A path as the services take it: UTF-8 on Windows, whatever the system's code page; the
/// bytes as they are on POSIX.
std::string pathText(const std::filesystem::path& path);

/// `size` bytes that never repeat in a way a faulty copy could match by chance.
std::string patternedBytes(std::size_t size);

/// Writes `bytes` to `file`, replacing what was there.
void writeFile(const std::filesystem::path& file, const std::string& bytes);

/// The whole content of `file`; throws when it cannot be read.
std::string readFile(const std::filesystem::path& file);

/// The names in `folder`, sorted, dot files included.
std::vector<std::string> listNames(const std::filesystem::path& folder);

} // namespace testsupport
