#pragma once
// Starting with the user's logon: an XDG autostart desktop entry
// ($XDG_CONFIG_HOME/autostart/sondrel.desktop) that runs the executable by its full path.
#include <filesystem>
#include <string>
#include <string_view>

namespace sondrel {

// $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config; empty when neither is
// known.
std::filesystem::path XdgConfigHome();

// <configHome>/autostart/sondrel.desktop
std::filesystem::path AutostartEntryPath(const std::filesystem::path& configHome);

// One argument of an Exec key, quoted as the desktop-entry format asks: inside double
// quotes, '"', '`', '$' and '\' get a backslash; then the string-value escape doubles every
// backslash; a '%' becomes "%%" (field codes).
std::string QuoteExecArgument(std::string_view argument);

// The whole entry for the given executable.
std::string AutostartEntryText(std::string_view executable);

// Whether the entry exists (a file, or a link to one).
bool AutostartEntryExists(const std::filesystem::path& entry);

// Writes the entry atomically (new file, flushed, renamed over), creating the folder.
// Returns 0 or the errno of the failed step.
int WriteAutostartEntry(const std::filesystem::path& entry, std::string_view executable);

// Removes the entry; a missing entry is no error. Returns 0 or errno.
int RemoveAutostartEntry(const std::filesystem::path& entry);

}  // namespace sondrel
