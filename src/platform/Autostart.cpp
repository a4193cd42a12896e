#include "platform/Autostart.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/FileDescriptor.h"

namespace sondrel {

std::filesystem::path XdgConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return std::filesystem::path(home) / ".config";
    return {};
}

std::filesystem::path AutostartEntryPath(const std::filesystem::path& configHome) {
    return configHome / "autostart" / "sondrel.desktop";
}

std::string QuoteExecArgument(std::string_view argument) {
    std::string quoted = "\"";
    for (char c : argument) {
        switch (c) {
            case '"':
            case '`':
            case '$':
                quoted += "\\\\";  // the quoting backslash, itself escaped for the string value
                quoted += c;
                break;
            case '\\':
                quoted += "\\\\\\\\";
                break;
            case '%':
                quoted += "%%";
                break;
            case '\n':
                quoted += "\\n";
                break;
            default:
                quoted += c;
        }
    }
    quoted += '"';
    return quoted;
}

std::string AutostartEntryText(std::string_view executable) {
    std::string text =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Sondrel\n"
        "Comment=Network monitor\n"
        "Icon=sondrel\n"
        "Exec=";
    text += QuoteExecArgument(executable);
    text +=
        "\n"
        "Terminal=false\n"
        "X-GNOME-Autostart-enabled=true\n";
    return text;
}

bool AutostartEntryExists(const std::filesystem::path& entry) {
    std::error_code ec;
    return std::filesystem::is_regular_file(entry, ec);
}

int WriteAutostartEntry(const std::filesystem::path& entry, std::string_view executable) {
    std::error_code ec;
    std::filesystem::create_directories(entry.parent_path(), ec);
    if (ec) return ec.value();
    std::filesystem::path temp = entry;
    temp += ".new";
    FileDescriptor fd(
        ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd) return errno;
    bool ok = WriteAll(fd.get(), AutostartEntryText(executable)) && ::fsync(fd.get()) == 0;
    int err = ok ? 0 : errno;
    if (!fd.close() && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(temp.c_str(), entry.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) ::unlink(temp.c_str());
    return err;
}

int RemoveAutostartEntry(const std::filesystem::path& entry) {
    if (::unlink(entry.c_str()) != 0 && errno != ENOENT) return errno;
    return 0;
}

}  // namespace sondrel
