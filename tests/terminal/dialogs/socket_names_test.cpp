#include "terminal/dialogs/socket_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(SocketNamesTest, AddressCheck) {
    struct Row {
        const char* text;
        bool valid;
    };
    const Row rows[] = {
        {"192.168.1.1", true},
        {"10.0.0.5", true},
        {"0.0.0.1", true},
        {"255.255.255.254", true},
        // Network and broadcast host parts, written plainly.
        {"192.168.1.0", false},
        {"192.168.1.255", false},
        // Written otherwise they pass the host-part test.
        {"192.168.1.00", true},
        {"192.168.1.010", true},
        {"192.168.1.0x0", true},
        {"192.168.1.0377", true},
        // The conversion's failure value, in any notation.
        {"255.255.255.255", false},
        {"0xff.0xff.0xff.0xff", false},  // also longer than 15 characters
        {"0377.0377.0377.0377", false},
        // Not three dots.
        {"192.168.1", false},
        {"10.1", false},
        {"3232235777", false},
        {"1.2.3.4.5", false},
        {"1.2.3.4.", false},
        // Parts that are no numbers or too large.
        {"1..2.3", false},
        {".1.2.3", false},
        {"256.1.1.1", false},
        {"1.1.1.256", false},
        {"1.1.1.00000000000000256", false},  // longer than 15 characters anyway
        {"1.1.1.0400", false},               // octal 256
        {"08.1.1.1", false},                 // 8 is no octal digit
        {"0x.1.1.1", false},
        {"0x0A.0XB.1.2", true},
        {"0x1g.1.1.1", false},
        {"+1.1.1.1", false},
        {"-1.1.1.1", false},
        // Nothing before or after the address.
        {" 1.2.3.4", false},
        {"1.2.3.4 ", false},
        {"1.2.3.4 x", false},
        {"1.2.3.4\n", false},
        // Host names and other texts.
        {"localhost", false},
        {"host.example.com", false},
        {"a.b.c.d", false},
        {"", false},
        {"...", false},
        {"1.2.3.4:80", false},
        {"100.100.100.1001", false},  // 16 characters
        {"100.100.100.100", true},    // 15 characters
    };
    for (const Row& row : rows) {
        EXPECT_EQ(IsValidSocketIp(row.text), row.valid) << '"' << row.text << '"';
    }
}

TEST(SocketNamesTest, PortRunFromTheTwoFields) {
    struct Row {
        const char* from;
        const char* to;
        bool ok;
        std::vector<int> ports;
    };
    const Row rows[] = {
        {"4001", "", true, {4001}},
        {"4001", "4003", true, {4001, 4002, 4003}},
        {"4005", "4001", true, {4005}},  // To not above From: From alone
        {"4001", "4001", true, {4001}},
        {"04001", "4002", true, {4001, 4002}},
        {"0", "", true, {0}},
        {"70000", "", true, {70000}},  // no port bound here: the open reports it
        {"", "", false, {}},
        {"", "4001", false, {}},
        {"1", "1024", true, {}},  // checked by size below
        {"1", "1025", false, {}},
        {"100000", "", false, {}},
        {"99999999999999999999", "", false, {}},
        {"4001", "99999999999999999999", false, {}},
        {"99999999999999999999", "4001", false, {}},
    };
    for (const Row& row : rows) {
        std::vector<int> ports{-1};
        EXPECT_EQ(SocketPortRun(row.from, row.to, ports), row.ok) << row.from << " " << row.to;
        if (std::string(row.to) == "1024") {
            ASSERT_EQ(ports.size(), 1024u);
            EXPECT_EQ(ports.front(), 1);
            EXPECT_EQ(ports.back(), 1024);
        } else {
            EXPECT_EQ(ports, row.ports) << row.from << " " << row.to;
        }
    }
}

TEST(SocketNamesTest, NamesHighestPortFirst) {
    struct Row {
        bool secure;
        const char* client;
        const char* server;
        std::vector<std::string> names;
    };
    const Row rows[] = {
        {false, "", "", {"10.0.0.5:4003", "10.0.0.5:4002", "10.0.0.5:4001"}},
        // Certificate names chosen earlier stay out of plain names.
        {false, "C", "S", {"10.0.0.5:4003", "10.0.0.5:4002", "10.0.0.5:4001"}},
        {true,
         "C",
         "S",
         {"10.0.0.5:4003:SSL:C:S", "10.0.0.5:4002:SSL:C:S", "10.0.0.5:4001:SSL:C:S"}},
        {true, "", "", {"10.0.0.5:4003:SSL::", "10.0.0.5:4002:SSL::", "10.0.0.5:4001:SSL::"}},
    };
    std::vector<int> ports;
    ASSERT_TRUE(SocketPortRun("4001", "4003", ports));
    for (const Row& row : rows) {
        EXPECT_EQ(BuildSocketPortNames("10.0.0.5", ports, row.secure, row.client, row.server),
                  row.names)
            << row.secure << row.client;
    }
}

}  // namespace
