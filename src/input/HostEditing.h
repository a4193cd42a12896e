#pragma once
// The rules of the commands that add and remove hosts, over the host table alone. The view's
// handlers show the returned texts and post one list-change message per returned address;
// they never decide anything themselves.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "input/TypedAddress.h"
#include "model/HostTable.h"
#include "model/ListFile.h"
#include "platform/Resolver.h"

namespace sondrel {

inline constexpr char kAddedAsBelow[] = "This address has been added as below:";
inline constexpr char kInvalidAddress[] = "Invalid address.";

// "This address has been added as below:\r\n<display text>\r\nIgnored."
std::string DuplicateHostMessage(std::uint32_t address, const HostRecord& record);

// Outcome of a command: texts to show in order, then the addresses to post (in order).
struct EditOutcome {
    std::vector<std::string> messages;
    std::vector<std::uint32_t> addresses;
};

// Adding one typed host after ParseTypedAddress: the duplicate rule (by address only), then
// a fresh record with the named flag and name. The parse's own messages come first.
EditOutcome AddTypedHost(HostTable& hosts, const TypedAddress& parsed);

// Adding a range: every address of the range not yet listed gets a fresh unnamed record.
// Messages: a refusal, or "Input error." after the addresses handled before it.
EditOutcome AddGroup(HostTable& hosts, const std::string& startText, const std::string& endText);
// Deleting a range: every listed address of the range, ascending. Nothing is changed here;
// the handler of the removal message does the work.
EditOutcome DeleteGroup(const HostTable& hosts, const std::string& startText,
                        const std::string& endText);

// The conversion of the delete command: dotted address, else the first address of a name
// lookup (no web addresses). Blocking when a lookup is needed.
std::optional<std::uint32_t> ConvertDeleteText(const std::string& text, Resolver& resolver);
// The rest of the delete command: "Invalid address." when the conversion failed, nothing
// when the address is not listed, else the address to remove.
EditOutcome DeleteTypedHost(const HostTable& hosts, std::optional<std::uint32_t> converted);

// The host a row stands for: a dotted row text is its own address (the table is not asked);
// otherwise the first named host in table order whose name equals the text exactly.
std::optional<std::uint32_t> HostForRowText(const HostTable& hosts, const std::string& rowText);
// Deleting the selected rows, given their column-0 texts from the top: one address per row
// that maps to a host, in row order.
std::vector<std::uint32_t> HostsForSelectedRows(const HostTable& hosts,
                                                const std::vector<std::string>& rowTexts);

// Text put on the clipboard for a row: a named host's name as typed, for any other host
// "http://" followed by the row's text. nullopt when the row maps to no host.
std::optional<std::string> ClipboardTextForRow(const HostTable& hosts, const std::string& rowText);

// Import of another list file: entries not yet listed are added as stored (no lookups), in
// file order; the file's interval is ignored. A file that cannot be read or is damaged keeps
// what was read before the fault and yields one message saying so.
EditOutcome ImportHosts(HostTable& hosts, const std::filesystem::path& path);
// The messages and addresses of an import already read into the table, for a caller that
// wants the file's interval from the same reading.
EditOutcome ImportOutcome(const ListLoadStatus& status);

}  // namespace sondrel
