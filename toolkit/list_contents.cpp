#include "toolkit/list_contents.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace runtime {

namespace {

char fold(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Sorts `items` into the order of NameLess by the name `nameOf` gives each. Each name is
// folded once into one buffer and the folded names compared whole: folding both names'
// letters in every comparison took most of the time of filling a list of many thousands.
template <typename T, typename NameOf> void SortByName(std::vector<T>& items, NameOf nameOf)
{
    std::size_t total = 0;
    for (const T& item : items)
        total += nameOf(item).size();
    std::string folded;
    folded.reserve(total);
    for (const T& item : items)
        folded += nameOf(item);
    for (char& c : folded)
        c = fold(c);
    // Most comparisons end within the first eight bytes, which a key also holds as one
    // number, most significant first and padded with zeros (a name holds no zero byte).
    struct Key {
        std::uint64_t head;
        std::string_view folded;
        std::size_t index;
    };
    std::vector<Key> keys;
    keys.reserve(items.size());
    std::size_t at = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string_view name = std::string_view(folded).substr(at, nameOf(items[i]).size());
        std::uint64_t head = 0;
        for (std::size_t b = 0; b < 8; ++b)
            head = (head << 8) | (b < name.size() ? static_cast<unsigned char>(name[b]) : 0U);
        keys.push_back({head, name, i});
        at += name.size();
    }
    // string_view compares bytes as unsigned and puts a prefix first, as NameLess does.
    std::sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
        if (a.head != b.head)
            return a.head < b.head;
        const int order = a.folded.compare(b.folded);
        return order != 0 ? order < 0 : nameOf(items[a.index]) < nameOf(items[b.index]);
    });
    std::vector<T> sorted;
    sorted.reserve(items.size());
    for (const Key& key : keys)
        sorted.push_back(std::move(items[key.index]));
    items = std::move(sorted);
}

// Whether `name` ends in `tail`, letters compared without regard to case.
bool EndsWithFolded(const std::string& name, std::string_view tail)
{
    if (name.size() < tail.size())
        return false;
    const std::size_t from = name.size() - tail.size();
    for (std::size_t i = 0; i < tail.size(); ++i) {
        if (fold(name[from + i]) != fold(tail[i]))
            return false;
    }
    return true;
}

// The fixed ending of a pattern that is a star and a fixed ending ("*.ugx"), the common
// case, which needs only a comparison of the ending; nullopt for other patterns.
std::optional<std::string_view> FixedEnding(const std::string& pattern)
{
    if (pattern.empty() || pattern[0] != '*' || pattern.find_first_of("*?", 1) != std::string::npos)
        return std::nullopt;
    return std::string_view(pattern).substr(1);
}

} // namespace

bool MatchesPattern(const std::string& name, const std::string& pattern)
{
    if (const auto ending = FixedEnding(pattern))
        return EndsWithFolded(name, *ending);
    // Greedy match with one backtrack point: the last '*' seen and where it started eating.
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t star = std::string::npos;
    std::size_t resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || fold(pattern[p]) == fold(name[n]))) {
            ++p;
            ++n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool NameLess(const std::string& a, const std::string& b)
{
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < common; ++i) {
        const char x = fold(a[i]);
        const char y = fold(b[i]);
        if (x != y)
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

std::string TrimSeparator(std::string path)
{
    const auto isRoot = [&path] {
        return path.size() == 1 || (path.size() == 3 && path[1] == ':');
    };
    while (path.size() > 1 && path.back() == kFolderSeparator && !isRoot())
        path.pop_back();
    return path;
}

std::vector<FolderRow> FolderRows(const std::string& path, const std::vector<FolderEntry>& entries)
{
    std::vector<FolderRow> rows;
    const std::string current = TrimSeparator(path);
    const std::size_t firstSep = current.find(kFolderSeparator);
    if (firstSep == std::string::npos) {
        rows.push_back({current, current, 0, true});
    } else {
        std::string sofar = current.substr(0, firstSep + 1);
        rows.push_back({sofar, sofar, 0, true});
        std::size_t start = firstSep + 1;
        while (start < current.size()) {
            std::size_t end = current.find(kFolderSeparator, start);
            if (end == std::string::npos)
                end = current.size();
            const std::string name = current.substr(start, end - start);
            if (!name.empty()) {
                if (sofar.back() != kFolderSeparator)
                    sofar += kFolderSeparator;
                sofar += name;
                rows.push_back({sofar, name, static_cast<int>(rows.size()), true});
            }
            start = end + 1;
        }
    }

    std::vector<const FolderEntry*> folders;
    for (const auto& e : entries) {
        if (e.folder && !e.hidden)
            folders.push_back(&e);
    }
    SortByName(folders, [](const FolderEntry* e) -> const std::string& { return e->name; });
    const std::string prefix =
        current.empty() || current.back() == kFolderSeparator ? current : current + kFolderSeparator;
    const int level = static_cast<int>(rows.size());
    rows.reserve(rows.size() + folders.size());
    for (const FolderEntry* e : folders)
        rows.push_back({prefix + e->name, e->name, level, false});
    return rows;
}

std::string FolderRowDescription(const FolderRow& row)
{
    return std::string(row.open ? "open" : "closed") + ", level " + std::to_string(row.level + 1);
}

std::vector<std::string> FileNames(const std::vector<FolderEntry>& entries, const std::string& pattern)
{
    // The matches are sorted as pointers and copied once, in order.
    const auto ending = FixedEnding(pattern);
    std::vector<const std::string*> matches;
    for (const auto& e : entries) {
        if (!e.folder && !e.hidden &&
            (ending ? EndsWithFolded(e.name, *ending) : MatchesPattern(e.name, pattern)))
            matches.push_back(&e.name);
    }
    SortByName(matches, [](const std::string* name) -> const std::string& { return *name; });
    std::vector<std::string> names;
    names.reserve(matches.size());
    for (const std::string* name : matches)
        names.push_back(*name);
    return names;
}

} // namespace runtime
