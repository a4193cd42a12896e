#pragma once
// Rules of a text drop that do not depend on the toolkit: which effect a drag is shown, and
// which text a drop carries.
#include <optional>
#include <string>
#include <string_view>

namespace sondrel {

// Effects in the numbering drag sources are told about (none, copy, move).
enum class DropEffect : int { None = 0, Copy = 1, Move = 2 };

// Entering: no text, no drop; with Ctrl held a copy, else a move.
DropEffect DragEnterEffect(bool offersText, bool ctrlDown);
// Moving over the target: no text or Ctrl held, no drop; else a move.
DropEffect DragOverEffect(bool offersText, bool ctrlDown);

// The first link of a text/uri-list body: lines end in CR LF (LF alone accepted), lines
// starting with '#' are comments, blank lines are skipped. nullopt when there is no link.
std::optional<std::string> FirstUriListLink(std::string_view uriList);

// The text a drop carries: the first link of the uri list when it has one, else the plain
// text, each cut at a NUL and without surrounding blanks and line ends. nullopt when neither
// holds anything.
std::optional<std::string> DroppedText(std::optional<std::string_view> uriList,
                                       std::optional<std::string_view> plainText);

// The local path of a file:// link that names a list file (".ipl", any letter case), with
// its %-escapes decoded; nullopt for any other text, for a link to another machine and for
// a path that would hold a NUL.
std::optional<std::string> ListFileOfLink(std::string_view link);

}  // namespace sondrel
