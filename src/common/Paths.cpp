#include "common/Paths.h"

#ifdef _WIN32
namespace {

// CreateDirectoryW's ordinary limit, the lowest of the system's: MAX_PATH less an 8.3 name.
constexpr std::size_t kShortestLongPath = 248;

// True when a level of the path is "." or "..", which the long form would not resolve.
bool HasRelativeLevel(std::wstring_view path) {
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of(L"\\/", start);
        if (end == std::wstring_view::npos) end = path.size();
        const std::wstring_view level = path.substr(start, end - start);
        if (level == L"." || level == L"..") return true;
        start = end + 1;
    }
    return false;
}

}  // namespace
#endif

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string out(folder);
    if (out.empty() || out.back() != kPathSeparator) out.push_back(kPathSeparator);
    out.append(name);
    return out;
}

std::string LastPathComponent(std::string_view path) {
    const auto pos = path.rfind(kPathSeparator);
    return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::filesystem::path FsPath(std::string_view utf8Path) {
    std::filesystem::path path(
        std::u8string(reinterpret_cast<const char8_t*>(utf8Path.data()), utf8Path.size()));
#ifdef _WIN32
    if (path.native().size() >= kShortestLongPath) path = LongPathForm(path.native());
#endif
    return path;
}

std::string Utf8Path(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

#ifdef _WIN32
std::wstring LongPathForm(std::wstring_view path) {
    std::wstring out(path);
    if (out.size() < kShortestLongPath || out.rfind(L"\\\\?\\", 0) == 0 || HasRelativeLevel(out))
        return out;
    const bool drive = out.size() >= 3 && out[1] == L':' && (out[2] == L'\\' || out[2] == L'/');
    const bool share = out.size() >= 3 && (out[0] == L'\\' || out[0] == L'/') &&
                       (out[1] == L'\\' || out[1] == L'/');
    if (!drive && !share) return out;  // relative: the system resolves it against the working folder
    // The long form takes no "/" for a separator.
    for (wchar_t& c : out)
        if (c == L'/') c = L'\\';
    return share ? L"\\\\?\\UNC\\" + out.substr(2) : L"\\\\?\\" + out;
}
#endif
