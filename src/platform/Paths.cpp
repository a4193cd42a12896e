#include "platform/Paths.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/FileDescriptor.h"

namespace sondrel {

namespace fs = std::filesystem;

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool IsAbsolute(std::string_view dir) { return !dir.empty() && dir.front() == '/'; }

std::string HomeDir() {
    if (std::string home = Env("HOME"); !home.empty()) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "";
}

std::string Fault(const fs::path& dir, const char* what) {
    return "history folder " + dir.string() + ": " + what;
}

}  // namespace

fs::path ExecutableDir() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) return ".";
    return exe.parent_path();
}

fs::path InstalledDataDir(const fs::path& exeDir) {
    return (exeDir / ".." / "share" / "sondrel").lexically_normal();
}

fs::path FindDataFileIn(const fs::path& exeDir, std::string_view name) {
    fs::path beside = exeDir / name;
    std::error_code ec;
    if (fs::exists(beside, ec)) return beside;
    fs::path installed = InstalledDataDir(exeDir) / name;
    if (fs::exists(installed, ec)) return installed;
    return beside;
}

fs::path FindDataFile(std::string_view name) { return FindDataFileIn(ExecutableDir(), name); }

fs::path ChooseConfigDir(const ConfigDirInputs& in) {
    if (!in.sondrelConfigDir.empty()) return in.sondrelConfigDir;
    if (in.exeDirWritable) return in.exeDir;
    fs::path base =
        IsAbsolute(in.xdgConfigHome) ? fs::path(in.xdgConfigHome) : fs::path(in.home) / ".config";
    return base / "sondrel";
}

const fs::path& ConfigDir() {
    static const fs::path dir = [] {
        ConfigDirInputs in;
        in.sondrelConfigDir = Env("SONDREL_CONFIG_DIR");
        in.exeDir = ExecutableDir();
        in.exeDirWritable = ::access(in.exeDir.c_str(), W_OK) == 0;
        in.xdgConfigHome = Env("XDG_CONFIG_HOME");
        in.home = HomeDir();
        fs::path chosen = ChooseConfigDir(in);
        // A folder that cannot be made shows up later as a failure to write default.ipl.
        std::error_code ec;
        fs::create_directories(chosen, ec);
        return chosen;
    }();
    return dir;
}

fs::path DefaultListPath() { return ConfigDir() / "default.ipl"; }

fs::path ChooseHistoryDir(std::string_view xdgRuntimeDir, std::string_view tmpDir, uid_t uid) {
    if (IsAbsolute(xdgRuntimeDir)) return fs::path(xdgRuntimeDir) / "sondrel";
    fs::path base = IsAbsolute(tmpDir) ? fs::path(tmpDir) : fs::path("/tmp");
    return base / ("sondrel-" + std::to_string(uid));
}

PrivateDir MakePrivateDir(const fs::path& dir, uid_t uid) {
    PrivateDir result{dir, ""};
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        result.error = Fault(dir, std::strerror(errno));
        return result;
    }
    // Checked through a descriptor opened without following links, so that what is
    // checked is what gets its mode narrowed.
    FileDescriptor fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0) {
        bool link = errno == ELOOP || errno == ENOTDIR;
        result.error = Fault(dir, link ? "is a link or not a folder" : std::strerror(errno));
        return result;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        result.error = Fault(dir, std::strerror(errno));
    } else if (!S_ISDIR(st.st_mode)) {
        result.error = Fault(dir, "is not a folder");
    } else if (st.st_uid != uid) {
        result.error = Fault(dir, "belongs to another user");
    } else if ((st.st_mode & 07777) != 0700 && ::fchmod(fd.get(), 0700) != 0) {
        result.error = Fault(dir, std::strerror(errno));
    }
    return result;
}

const PrivateDir& HistoryDir() {
    static const PrivateDir dir = MakePrivateDir(
        ChooseHistoryDir(Env("XDG_RUNTIME_DIR"), Env("TMPDIR"), ::getuid()), ::getuid());
    return dir;
}

}  // namespace sondrel
