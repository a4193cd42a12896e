#include "input/HostEditing.h"

#include "FakeResolver.h"
#include "model/ListFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace sondrel {
namespace {

using test::FakeResolver;
using test::Ip;

HostRecord& AddNamed(HostTable& hosts, const char* dotted, const std::string& name) {
    HostRecord& record = hosts.HostAt(Ip(dotted));
    record.m_bNamed = 1;
    record.m_strName = name;
    return record;
}

TypedAddress Parsed(const char* dotted, bool named = false, std::string name = {}) {
    TypedAddress parsed;
    parsed.ok = true;
    parsed.address = Ip(dotted);
    parsed.named = named;
    parsed.name = std::move(name);
    return parsed;
}

TEST(AddTypedHostTest, DuplicatesAreFoundByAddressOnly) {
    struct Case {
        const char* name;
        TypedAddress parsed;
        std::vector<std::string> messages;
        bool added;
    };
    const Case cases[] = {
        {"new dotted", Parsed("10.0.0.3"), {}, true},
        {"new name", Parsed("10.0.0.4", true, "Host.Example"), {}, true},
        {"name of a listed dotted host",
         Parsed("10.0.0.1", true, "alias.example"),
         {"This address has been added as below:\r\n10.0.0.1\r\nIgnored."},
         false},
        {"dotted address of a listed named host", Parsed("10.0.0.2"),
         {"This address has been added as below:\r\nhttp://named.example/page\r\nIgnored."},
         false},
        {"refused parse carries its messages", TypedAddress{false, 0, false, "", {"Invalid address.Ignored."}},
         {"Invalid address.Ignored."}, false},
    };
    for (const auto& c : cases) {
        HostTable hosts;
        hosts.HostAt(Ip("10.0.0.1")).m_nSent = 5;
        AddNamed(hosts, "10.0.0.2", "http://named.example/page");
        const EditOutcome outcome = AddTypedHost(hosts, c.parsed);
        EXPECT_EQ(outcome.messages, c.messages) << c.name;
        EXPECT_EQ(outcome.addresses.size(), c.added ? 1u : 0u) << c.name;
        EXPECT_EQ(hosts.GetHostCount(), c.added ? 3 : 2) << c.name;
        // The listed hosts keep their records untouched.
        EXPECT_EQ(hosts.FindHost(Ip("10.0.0.1"))->m_nSent, 5) << c.name;
        EXPECT_EQ(hosts.FindHost(Ip("10.0.0.1"))->m_bNamed, 0) << c.name;
        if (c.added) {
            const HostRecord* record = hosts.FindHost(c.parsed.address);
            ASSERT_NE(record, nullptr) << c.name;
            EXPECT_EQ(record->m_bNamed, c.parsed.named ? 1 : 0) << c.name;
            EXPECT_EQ(record->m_strName, c.parsed.name) << c.name;
            EXPECT_EQ(record->m_nSent, 0) << c.name;
        }
    }
}

TEST(GroupCommandsTest, AddOnlyMissingAndDeleteOnlyListed) {
    HostTable hosts;
    hosts.HostAt(Ip("192.168.1.6")).m_nReceived = 9;
    AddNamed(hosts, "192.168.1.8", "eight.example");

    const EditOutcome added = AddGroup(hosts, "192.168.1.9", "192.168.1.5");
    EXPECT_TRUE(added.messages.empty());
    EXPECT_EQ(added.addresses, (std::vector<std::uint32_t>{Ip("192.168.1.5"), Ip("192.168.1.7"),
                                                            Ip("192.168.1.9")}));
    EXPECT_EQ(hosts.GetHostCount(), 5);
    EXPECT_EQ(hosts.FindHost(Ip("192.168.1.6"))->m_nReceived, 9);
    EXPECT_EQ(hosts.FindHost(Ip("192.168.1.8"))->m_strName, "eight.example");
    EXPECT_EQ(hosts.FindHost(Ip("192.168.1.5"))->m_bNamed, 0);

    const EditOutcome removed = DeleteGroup(hosts, "192.168.1.8", "192.168.1.20");
    EXPECT_EQ(removed.addresses,
              (std::vector<std::uint32_t>{Ip("192.168.1.8"), Ip("192.168.1.9")}));
    // Removal itself is the list-change handler's work.
    EXPECT_EQ(hosts.GetHostCount(), 5);
}

TEST(GroupCommandsTest, MessagesOfBothCommands) {
    struct Case {
        const char* start;
        const char* end;
        std::vector<std::string> messages;
        std::size_t addresses;
    };
    const Case cases[] = {
        {"192.168.1.1", "192.168.2.1", {"We limit to add a C-net. Ignored."}, 0},
        {"x", "10.0.0.1", {"Input error.Ignored."}, 0},
        {"255.255.255.253", "255.255.255.255", {"Input error."}, 2},
        {"192.168.1.300", "192.168.1.400", {}, 0},
        {"", "", {}, 0},
    };
    for (const auto& c : cases) {
        HostTable addTable;
        const EditOutcome added = AddGroup(addTable, c.start, c.end);
        EXPECT_EQ(added.messages, c.messages) << c.start;
        EXPECT_EQ(added.addresses.size(), c.addresses) << c.start;

        HostTable full;
        AddGroup(full, "255.255.255.0", "255.255.255.254");
        const EditOutcome removed = DeleteGroup(full, c.start, c.end);
        EXPECT_EQ(removed.messages, c.messages) << c.start;
        EXPECT_EQ(removed.addresses.size(), c.addresses) << c.start;
    }
}

TEST(DeleteTypedHostTest, Table) {
    struct Case {
        const char* text;
        std::vector<std::string> messages;
        std::vector<std::uint32_t> addresses;
    };
    const Case cases[] = {
        {"10.0.0.1", {}, {Ip("10.0.0.1")}},
        {"10.0.0.99", {}, {}},
        {"byname.example", {}, {Ip("10.0.0.1")}},
        {"elsewhere.example", {}, {}},
        {"unknown.example", {"Invalid address."}, {}},
        // Web addresses are not taken apart here.
        {"http://10.0.0.1/", {"Invalid address."}, {}},
    };
    for (const auto& c : cases) {
        HostTable hosts;
        hosts.HostAt(Ip("10.0.0.1"));
        FakeResolver resolver{{"byname.example", Ip("10.0.0.1")},
                              {"elsewhere.example", Ip("10.0.0.50")}};
        const EditOutcome outcome = DeleteTypedHost(hosts, ConvertDeleteText(c.text, resolver));
        EXPECT_EQ(outcome.messages, c.messages) << c.text;
        EXPECT_EQ(outcome.addresses, c.addresses) << c.text;
    }
}

TEST(SelectedRowsTest, RowsMapToHostsInRowOrder) {
    HostTable hosts;
    hosts.HostAt(Ip("10.0.0.1"));
    AddNamed(hosts, "10.0.0.2", "Named.Example");
    AddNamed(hosts, "10.0.0.3", "http://web.example/x");
    const std::vector<std::string> rows = {"http://web.example/x", "10.0.0.1", "named.example",
                                           "Named.Example", "10.0.0.77"};
    // Dotted rows go through without the table; names must match exactly.
    EXPECT_EQ(HostsForSelectedRows(hosts, rows),
              (std::vector<std::uint32_t>{Ip("10.0.0.3"), Ip("10.0.0.1"), Ip("10.0.0.2"),
                                          Ip("10.0.0.77")}));
}

TEST(SelectedRowsTest, FirstNamedHostInTableOrderWins) {
    HostTable hosts;
    // Bucket order puts 10.0.0.1 (bucket 49) before 192.168.1.1 (bucket 659).
    AddNamed(hosts, "192.168.1.1", "same.example");
    AddNamed(hosts, "10.0.0.1", "same.example");
    EXPECT_EQ(HostForRowText(hosts, "same.example"), Ip("10.0.0.1"));
}

TEST(ClipboardTextTest, Table) {
    HostTable hosts;
    hosts.HostAt(Ip("10.0.0.1"));
    AddNamed(hosts, "10.0.0.2", "Host.Example");
    AddNamed(hosts, "10.0.0.3", "http://web.example/a?b=c");
    // The details window may store a looked-up name on an unnamed host; it is not used.
    hosts.HostAt(Ip("10.0.0.4")).m_strName = "reverse.example";
    struct Case {
        const char* row;
        std::optional<std::string> text;
    };
    const Case cases[] = {
        {"10.0.0.1", "http://10.0.0.1"},
        {"Host.Example", "Host.Example"},
        {"http://web.example/a?b=c", "http://web.example/a?b=c"},
        {"10.0.0.4", "http://10.0.0.4"},
        {"host.example", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClipboardTextForRow(hosts, c.row), c.text) << c.row;
    }
}

class ImportHostsTest : public ::testing::Test {
protected:
    std::filesystem::path Write(const std::string& name, const std::string& bytes) {
        const auto path = dir_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    test::TempDir dir_;
};

std::vector<HostEntry> SampleEntries() {
    std::vector<HostEntry> entries(3);
    entries[0].m_dwAddress = Ip("10.0.0.1");
    entries[1].m_dwAddress = Ip("10.0.0.2");
    entries[1].m_record.m_bNamed = 1;
    entries[1].m_record.m_strName = "two.example";
    entries[2].m_dwAddress = Ip("10.0.0.3");
    return entries;
}

TEST_F(ImportHostsTest, MergesMissingHostsInFileOrder) {
    HostTable hosts;
    hosts.HostAt(Ip("10.0.0.2")).m_nSent = 4;
    const EditOutcome outcome = ImportHosts(hosts, Write("a.ipl", SerializeEntries(60, SampleEntries())));
    EXPECT_TRUE(outcome.messages.empty());
    EXPECT_EQ(outcome.addresses, (std::vector<std::uint32_t>{Ip("10.0.0.1"), Ip("10.0.0.3")}));
    // The listed host keeps its record, unnamed and with its statistics.
    EXPECT_EQ(hosts.FindHost(Ip("10.0.0.2"))->m_nSent, 4);
    EXPECT_EQ(hosts.FindHost(Ip("10.0.0.2"))->m_bNamed, 0);
}

TEST_F(ImportHostsTest, DamagedOrMissingFilesKeepWhatWasReadAndSaySo) {
    const std::string whole = SerializeEntries(3, SampleEntries());
    const std::string zeroCount = SerializeEntries(3, {});
    struct Case {
        const char* name;
        std::string bytes;  // empty name: the file does not exist
        std::size_t added;
        bool message;
    };
    const Case cases[] = {
        {"whole", whole, 3, false},
        {"count zero", zeroCount, 0, false},
        {"cut inside the second record", whole.substr(0, 8 + 8 + 6), 1, true},
        {"cut between records", whole.substr(0, 8 + 8), 1, true},
        {"cut inside the count", whole.substr(0, 6), 0, true},
        {"empty file", "", 0, true},
        {"", "", 0, true},
    };
    for (const auto& c : cases) {
        HostTable hosts;
        const auto path = std::string(c.name).empty() ? dir_ / "missing.ipl"
                                                      : Write("case.ipl", c.bytes);
        const EditOutcome outcome = ImportHosts(hosts, path);
        EXPECT_EQ(outcome.addresses.size(), c.added) << c.name;
        EXPECT_EQ(static_cast<std::size_t>(hosts.GetHostCount()), c.added) << c.name;
        EXPECT_EQ(outcome.messages.size(), c.message ? 1u : 0u) << c.name;
    }
}

}  // namespace
}  // namespace sondrel
