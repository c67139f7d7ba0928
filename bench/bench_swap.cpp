// The swap with the real engine and the real file services, flush and verification
// included, against the shell commands that do the least that could be called the same:
//   from another folder:   cp SRC DST && sync DST && cmp SRC DST
//   already in the folder: mv SRC DST && sync FOLDER
//
//   bench_swap --dir PATH [--size-mib N] [--repeats N] [--warm-up N]
// Everything is made under PATH, which must be on the disk to measure, and removed again.

#include "engine/upgrade.h"
#include "figures.h"
#include "quiet_dialogs.h"
#include "runtime/file_services.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {

void check(bool ok, const std::string& what)
{
    if (!ok)
        throw std::runtime_error(what + ": " + std::strerror(errno));
}

// Bytes that no file system can compress or share, written and flushed once.
void makeUpgradeFile(const fs::path& path, std::uint64_t size)
{
    const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
    check(fd >= 0, "cannot create " + path.string());
    std::vector<std::uint64_t> block((1 << 20) / sizeof(std::uint64_t));
    std::uint64_t state = 0x9e3779b97f4a7c15ULL;
    for (std::uint64_t written = 0; written < size;) {
        for (auto& word : block) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
        }
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size - written, 1 << 20));
        const ssize_t n = ::write(fd, block.data(), want);
        check(n == static_cast<ssize_t>(want), "cannot write " + path.string());
        written += want;
    }
    check(::fsync(fd) == 0, "cannot flush " + path.string());
    ::close(fd);
}

void writeSmall(const fs::path& path, const std::string& text)
{
    const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0755);
    check(fd >= 0, "cannot create " + path.string());
    check(::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()), "cannot write");
    ::close(fd);
}

// Drops the file's pages from the cache, so each run reads it from the disk as the first
// read of a file saved some time ago would.
void evict(const fs::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    check(fd >= 0, "cannot open " + path.string());
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

// Writes out whatever earlier runs left dirty, so it does not land on the next run's flush.
void quieten(const fs::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    check(fd >= 0, "cannot open " + folder.string());
    ::syncfs(fd);
    ::close(fd);
}

double runShell(const std::string& command)
{
    char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>(command.c_str()),
                    nullptr};
    pid_t pid = 0;
    const double started = bench::NowMs();
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0)
        throw std::runtime_error("cannot start /bin/sh");
    int status = 0;
    waitpid(pid, &status, 0);
    const double took = bench::NowMs() - started;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("failed: " + command);
    return took;
}

std::string quoted(const fs::path& path)
{
    std::string text = path.string();
    text.insert(text.begin(), '\'');
    text.push_back('\'');
    return text;
}

class SwapBench {
public:
    SwapBench(const fs::path& root, std::uint64_t size) : m_root(root), m_size(size)
    {
        fs::create_directories(m_source);
        fs::create_directories(m_app);
        makeUpgradeFile(m_source / engine::kUpgradeName, m_size);
    }
    ~SwapBench()
    {
        std::error_code ignored;
        fs::remove_all(m_source, ignored);
        fs::remove_all(m_app, ignored);
    }
    SwapBench(const SwapBench&) = delete;
    SwapBench& operator=(const SwapBench&) = delete;

    double toolFromElsewhere()
    {
        resetApp(false);
        const double took = swap(m_source);
        checkInstalled();
        return took;
    }

    double floorFromElsewhere()
    {
        resetApp(false);
        const fs::path src = m_source / engine::kUpgradeName;
        const fs::path dst = m_app / engine::kUpgradeName;
        return runShell("cp " + quoted(src) + " " + quoted(dst) + " && sync " + quoted(dst) + " && cmp " +
                        quoted(src) + " " + quoted(dst));
    }

    double toolInPlace()
    {
        resetApp(true);
        const double took = swap(m_app);
        checkInstalled();
        return took;
    }

    double floorInPlace()
    {
        resetApp(true);
        const fs::path src = m_app / engine::kUpgradeName;
        return runShell("mv " + quoted(src) + " " + quoted(m_app / "Orvalis.moved") + " && sync " +
                        quoted(m_app));
    }

private:
    // The application folder as a user would have it: the old executable, and the upgrade
    // file too when `inPlace`. A big file left by the last run is renamed back, not copied.
    void resetApp(bool inPlace)
    {
        const fs::path upgrade = m_app / engine::kUpgradeName;
        for (const char* name : {engine::kExeName, "Orvalis.moved"}) {
            const fs::path big = m_app / name;
            if (fs::exists(big) && fs::file_size(big) == m_size && !fs::exists(upgrade))
                fs::rename(big, upgrade);
        }
        fs::remove(m_app / engine::kOldName);
        fs::remove(m_app / engine::kExeName);
        if (!inPlace)
            fs::remove(upgrade);
        else if (!fs::exists(upgrade))
            fs::copy_file(m_source / engine::kUpgradeName, upgrade);
        writeSmall(m_app / engine::kExeName, "the old executable\n");
        quieten(m_app);
        evict(m_source / engine::kUpgradeName);
    }

    double swap(const fs::path& from)
    {
        engine::BrowseState state;
        state.strAppFolder = m_app.string() + "/";
        state.strBrowseFolder = from.string() + "/";
        state.strChosenFolder = state.strBrowseFolder;
        state.strChosenFile = engine::kUpgradeName;
        bench::QuietDialogs dialogs;
        const auto files = runtime::createFileServices();
        const double started = bench::NowMs();
        const engine::SwapOutcome outcome = engine::SwapExecutable(state, *files, dialogs);
        const double took = bench::NowMs() - started;
        if (outcome != engine::SwapOutcome::Upgraded)
            throw std::runtime_error("the swap failed: " +
                                     (dialogs.messages.empty() ? std::string() : dialogs.messages.back()));
        return took;
    }

    void checkInstalled()
    {
        if (fs::file_size(m_app / engine::kExeName) != m_size || !fs::exists(m_app / engine::kOldName))
            throw std::runtime_error("the swap did not install the upgrade file");
    }

    fs::path m_root;
    fs::path m_source{m_root / "downloads"};
    fs::path m_app{m_root / "app"};
    std::uint64_t m_size;
};

} // namespace

int main(int argc, char** argv)
{
    const std::string dir = bench::ArgText(argc, argv, "--dir", "");
    const long sizeMiB = bench::ArgNumber(argc, argv, "--size-mib", 1024);
    const int repeats = static_cast<int>(bench::ArgNumber(argc, argv, "--repeats", 5));
    const int warmUp = static_cast<int>(bench::ArgNumber(argc, argv, "--warm-up", 1));
    if (dir.empty() || sizeMiB <= 0) {
        std::fprintf(stderr, "usage: bench_swap --dir PATH [--size-mib N] [--repeats N] [--warm-up N]\n");
        return 2;
    }
    try {
        const fs::path root = fs::absolute(dir) / "swap";
        fs::create_directories(root);
        const auto size = static_cast<std::uint64_t>(sizeMiB) << 20;
        struct statvfs vfs {};
        check(::statvfs(root.c_str(), &vfs) == 0, "cannot read the free space");
        // The upgrade file, one copy of it and room to spare for everyone else.
        if (static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize < 3 * size + (1ULL << 30))
            throw std::runtime_error("not enough free space under " + root.string());

        {
            SwapBench bench(root, size);
            const std::string mib = std::to_string(sizeMiB) + " MiB";
            const bench::Pairs copy = bench::RunInTurns(
                warmUp, repeats, [&] { return bench.toolFromElsewhere(); },
                [&] { return bench.floorFromElsewhere(); });
            std::printf("%s\n",
                        bench::TableRow("Swap, " + mib + " upgrade file from another folder", "ms",
                                        bench::Summarise(copy.tool), bench::Summarise(copy.floor), 0.6)
                            .c_str());
            std::fflush(stdout);
            const bench::Pairs inPlace = bench::RunInTurns(
                warmUp, repeats, [&] { return bench.toolInPlace(); }, [&] { return bench.floorInPlace(); });
            std::printf("%s\n",
                        bench::TableRow("Swap, " + mib + " upgrade file already in the folder", "ms",
                                        bench::Summarise(inPlace.tool), bench::Summarise(inPlace.floor), 2.0)
                            .c_str());
        }
        fs::remove(root);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_swap: %s\n", e.what());
        return 1;
    }
    return 0;
}
