#include "win_floor.h"

#include "figures.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>
#include <windows.h>

namespace bench {

namespace {

// Closes a handle when it goes.
class Handle {
public:
    explicit Handle(HANDLE h) : m_h(h) {}
    ~Handle()
    {
        if (m_h != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return m_h; }

private:
    HANDLE m_h;
};

HANDLE openToRead(const std::filesystem::path& path, DWORD access)
{
    return ::CreateFileW(path.wstring().c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

bool compare(HANDLE in, HANDLE out)
{
    std::vector<char> a(1u << 20), b(1u << 20);
    for (;;) {
        DWORD gotA = 0, gotB = 0;
        CheckWin32(::ReadFile(in, a.data(), static_cast<DWORD>(a.size()), &gotA, nullptr) &&
                       ::ReadFile(out, b.data(), static_cast<DWORD>(b.size()), &gotB, nullptr),
                   "ReadFile");
        if (gotA != gotB || std::memcmp(a.data(), b.data(), gotA) != 0)
            return false;
        if (gotA == 0)
            return true;
    }
}

} // namespace

double KernelMs()
{
    FILETIME created{}, exited{}, kernel{}, user{};
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    return static_cast<double>((static_cast<std::uint64_t>(kernel.dwHighDateTime) << 32) |
                               kernel.dwLowDateTime) /
           1e4;
}

void CheckWin32(bool ok, const std::string& what)
{
    if (!ok)
        throw std::runtime_error(what + " failed, error " + std::to_string(::GetLastError()));
}

void MakeNoiseFile(const std::filesystem::path& path, std::uint64_t size)
{
    std::string block(1u << 20, '\0');
    std::uint64_t x = 0x9e3779b97f4a7c15ULL;
    std::FILE* f = std::fopen(path.string().c_str(), "wb");
    CheckWin32(f != nullptr, "creating " + path.string());
    for (std::uint64_t done = 0; done < size; done += block.size()) {
        for (std::size_t i = 0; i < block.size(); i += 8) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            std::memcpy(block.data() + i, &x, 8);
        }
        std::fwrite(block.data(), 1, block.size(), f);
    }
    CheckWin32(std::fclose(f) == 0, "writing " + path.string());
}

bool SameBytes(const std::filesystem::path& a, const std::filesystem::path& b)
{
    const Handle in(openToRead(a, GENERIC_READ)), out(openToRead(b, GENERIC_READ));
    CheckWin32(in.get() != INVALID_HANDLE_VALUE && out.get() != INVALID_HANDLE_VALUE, "opening to compare");
    return compare(in.get(), out.get());
}

FloorStages CopyFlushCompareMove(const std::filesystem::path& source, const std::filesystem::path& part,
                                 const std::filesystem::path& target)
{
    FloorStages stages;
    const double started = NowMs();
    CheckWin32(::CopyFileW(source.wstring().c_str(), part.wstring().c_str(), TRUE), "CopyFileW");
    const double copied = NowMs();
    bool same = false;
    double flushed = 0;
    {
        const Handle out(::CreateFileW(part.wstring().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        CheckWin32(out.get() != INVALID_HANDLE_VALUE, "opening the copy");
        CheckWin32(::FlushFileBuffers(out.get()), "FlushFileBuffers");
        flushed = NowMs();
        const Handle in(openToRead(source, GENERIC_READ));
        CheckWin32(in.get() != INVALID_HANDLE_VALUE, "opening the source");
        same = compare(in.get(), out.get());
    }
    if (!same)
        throw std::runtime_error("the floor's copy differs from its source");
    CheckWin32(::MoveFileExW(part.wstring().c_str(), target.wstring().c_str(), MOVEFILE_WRITE_THROUGH),
               "MoveFileExW");
    const double ended = NowMs();
    stages.copying = copied - started;
    stages.flushing = flushed - copied;
    stages.checking = ended - flushed;
    return stages;
}

} // namespace bench
