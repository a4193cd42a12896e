#include "input/HostEditing.h"

#include <cstdio>

#include "input/AddressGroups.h"
#include "model/HostRecord.h"
#include "model/ListFile.h"

namespace sondrel {

std::string DuplicateHostMessage(std::uint32_t address, const HostRecord& record) {
    return std::string(kAddedAsBelow) + "\r\n" + DisplayText(address, record) + "\r\nIgnored.";
}

EditOutcome AddTypedHost(HostTable& hosts, const TypedAddress& parsed) {
    EditOutcome outcome;
    outcome.messages = parsed.messages;
    if (!parsed.ok) {
        return outcome;
    }
    if (const HostRecord* existing = hosts.FindHost(parsed.address)) {
        outcome.messages.push_back(DuplicateHostMessage(parsed.address, *existing));
        return outcome;
    }
    HostRecord& record = hosts.HostAt(parsed.address);
    record.m_bNamed = parsed.named ? 1 : 0;
    if (parsed.named) {
        record.m_strName = parsed.name;
    }
    outcome.addresses.push_back(parsed.address);
    return outcome;
}

namespace {

// Runs the range rules and hands every address of the walk to one handler.
template <typename Handle>
EditOutcome WalkGroup(const std::string& startText, const std::string& endText, Handle handle) {
    EditOutcome outcome;
    const GroupPlan plan = PlanGroup(startText, endText);
    if (!plan.refusal.empty()) {
        outcome.messages.push_back(plan.refusal);
        return outcome;
    }
    for (const std::uint32_t address : plan.addresses) {
        if (handle(address)) {
            outcome.addresses.push_back(address);
        }
    }
    if (plan.stoppedByInputError) {
        outcome.messages.emplace_back(kGroupInputError);
    }
    return outcome;
}

}  // namespace

EditOutcome AddGroup(HostTable& hosts, const std::string& startText, const std::string& endText) {
    return WalkGroup(startText, endText, [&hosts](std::uint32_t address) {
        if (hosts.FindHost(address) != nullptr) {
            return false;
        }
        hosts.HostAt(address);
        return true;
    });
}

EditOutcome DeleteGroup(const HostTable& hosts, const std::string& startText,
                        const std::string& endText) {
    return WalkGroup(startText, endText, [&hosts](std::uint32_t address) {
        return hosts.FindHost(address) != nullptr;
    });
}

std::optional<std::uint32_t> ConvertDeleteText(const std::string& text, Resolver& resolver) {
    const std::uint32_t dotted = InetAddr(text);
    if (dotted != kInaddrNone) {
        return dotted;
    }
    return resolver.LookupName(text);
}

EditOutcome DeleteTypedHost(const HostTable& hosts, std::optional<std::uint32_t> converted) {
    EditOutcome outcome;
    if (!converted) {
        outcome.messages.emplace_back(kInvalidAddress);
    } else if (hosts.FindHost(*converted) != nullptr) {
        outcome.addresses.push_back(*converted);
    }
    return outcome;
}

std::optional<std::uint32_t> HostForRowText(const HostTable& hosts, const std::string& rowText) {
    const std::uint32_t dotted = InetAddr(rowText);
    if (dotted != kInaddrNone) {
        return dotted;
    }
    std::optional<std::uint32_t> found;
    hosts.ForEachHost([&](std::uint32_t address, const HostRecord& record) {
        if (!found && record.m_bNamed != 0 && record.m_strName == rowText) {
            found = address;
        }
    });
    return found;
}

std::vector<std::uint32_t> HostsForSelectedRows(const HostTable& hosts,
                                                const std::vector<std::string>& rowTexts) {
    std::vector<std::uint32_t> addresses;
    for (const std::string& text : rowTexts) {
        if (auto address = HostForRowText(hosts, text)) {
            addresses.push_back(*address);
        }
    }
    return addresses;
}

std::optional<std::string> ClipboardTextForRow(const HostTable& hosts, const std::string& rowText) {
    const std::optional<std::uint32_t> address = HostForRowText(hosts, rowText);
    if (!address) {
        return std::nullopt;
    }
    const HostRecord* record = hosts.FindHost(*address);
    if (record != nullptr && record->m_bNamed != 0) {
        return record->m_strName;
    }
    return "http://" + rowText;
}

EditOutcome ImportHosts(HostTable& hosts, const std::filesystem::path& path) {
    return ImportOutcome(ImportListFile(path, hosts));
}

EditOutcome ImportOutcome(const ListLoadStatus& status) {
    EditOutcome outcome;
    outcome.addresses = status.added;
    switch (status.kind) {
        case ListLoadStatus::Kind::Loaded:
            break;
        case ListLoadStatus::Kind::Missing:
        case ListLoadStatus::Kind::Unreadable:
            outcome.messages.push_back("The file could not be opened, nothing was imported.\n" +
                                       status.message);
            break;
        case ListLoadStatus::Kind::Damaged: {
            char counted[96];
            std::snprintf(counted, sizeof counted,
                          "The file is damaged; %zu new address(es) read before the damage were "
                          "imported.\n",
                          status.added.size());
            outcome.messages.push_back(counted + status.message);
            break;
        }
    }
    return outcome;
}

}  // namespace sondrel
