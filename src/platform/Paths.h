#pragma once
// Where the program's files live: the executable's folder, the read-only data files, the
// folder of default.ipl and the private folder of the per-host history files.
//
// Each rule is a pure function of the values it depends on (environment values, the
// executable's folder, a user id), so that every rule can be checked on its own; the
// functions without arguments apply the rules to this process, once.
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace sondrel {

// Folder holding the running executable (/proc/self/exe); "." when it cannot be read.
std::filesystem::path ExecutableDir();

// The installed data folder that belongs to an executable in exeDir: <prefix>/share/sondrel
// for an executable in <prefix>/bin.
std::filesystem::path InstalledDataDir(const std::filesystem::path& exeDir);

// A read-only data file (address.dat, about.txt, help.html): beside the executable when it
// is there, else in the installed data folder when it is there, else the path beside the
// executable (which then fails to open, naming the expected place).
std::filesystem::path FindDataFileIn(const std::filesystem::path& exeDir, std::string_view name);
std::filesystem::path FindDataFile(std::string_view name);

// The values the folder of default.ipl depends on.
struct ConfigDirInputs {
    std::string sondrelConfigDir;  // $SONDREL_CONFIG_DIR, empty when unset
    std::filesystem::path exeDir;
    bool exeDirWritable = false;
    std::string xdgConfigHome;  // $XDG_CONFIG_HOME, empty when unset
    std::string home;           // $HOME or the password database's home folder
};

// $SONDREL_CONFIG_DIR when set; else the executable's folder when it is writable (a
// portable or build-tree copy); else $XDG_CONFIG_HOME/sondrel, $XDG_CONFIG_HOME counting
// only when absolute and defaulting to ~/.config.
std::filesystem::path ChooseConfigDir(const ConfigDirInputs& in);

// The folder of default.ipl for this process: chosen on the first call (made at start-up),
// created when missing, and the same for every later call, for reading and writing alike.
const std::filesystem::path& ConfigDir();
std::filesystem::path DefaultListPath();

// $XDG_RUNTIME_DIR/sondrel when $XDG_RUNTIME_DIR is an absolute path; else
// ($TMPDIR when absolute, else /tmp)/sondrel-<uid>.
std::filesystem::path ChooseHistoryDir(std::string_view xdgRuntimeDir, std::string_view tmpDir,
                                       uid_t uid);

// Outcome of making a folder private; error is empty on success.
struct PrivateDir {
    std::filesystem::path path;
    std::string error;
    bool ok() const { return error.empty(); }
};

// Creates dir with mode 0700 when missing; then requires it to be a real folder (not a
// link) owned by uid, and narrows its mode to 0700 when it is wider. Anything else is an
// error naming the folder and the fault; the folder is then not to be used.
PrivateDir MakePrivateDir(const std::filesystem::path& dir, uid_t uid);

// The private history folder of this user, made safe on the first call; the same result
// for every later call.
const PrivateDir& HistoryDir();

}  // namespace sondrel
