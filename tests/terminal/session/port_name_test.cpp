#include "terminal/session/port_name.h"

#include <gtest/gtest.h>

namespace {

TEST(PortNameTest, KindByLength) {
    struct Row {
        const char* name;
        PortKind kind;
    };
    const Row rows[] = {
        {"COM1", PortKind::Serial},
        {"COM12345", PortKind::Serial},   // 8 characters, the longest serial name
        {"COM123456", PortKind::Socket},  // 9 characters
        {"1.2.3.4:5", PortKind::Socket},  // the shortest socket name
        {"192.0.2.5:4000", PortKind::Socket},
        {"192.0.2.5:4000:SSL:a:b", PortKind::Socket},
        {"", PortKind::Serial},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(PortKindOf(row.name), row.kind) << row.name;
    }
}

TEST(PortNameTest, SerialNumberRemovesEveryComThenReadsLeadingDigits) {
    struct Row {
        const char* name;
        int number;
    };
    const Row rows[] = {
        {"COM1", 1},      {"COM7", 7},    {"COM19600", 19600}, {"COM12345", 12345},
        {"COM", 0},       {"COM0", 0},    {"COMCOM7", 7},      {"COM7COM", 7},
        {"COM1COM2", 12}, {"CCOMOM3", 0},  // one pass: the halves joined into "COM3" stay
        {"COM12X4", 12},  {"COM 5", 5},   {"COM-3", -3},       {"PORT", 0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(SerialPortNumber(row.name), row.number) << row.name;
    }
}

TEST(PortNameTest, SocketSplit) {
    struct Row {
        const char* name;
        const char* address;
        const char* portText;
        bool tls;
        const char* protocol;
        const char* client;
        const char* server;
    };
    const Row rows[] = {
        {"192.0.2.5:4000", "192.0.2.5", "4000", false, "", "", ""},
        {"192.0.2.5:4000:SSL:name1:name2", "192.0.2.5", "4000", true, "SSL", "name1", "name2"},
        // The third field is not compared with anything.
        {"192.0.2.5:4000:XYZ:a:b", "192.0.2.5", "4000", true, "XYZ", "a", "b"},
        {"10.0.0.1:443:SSL:me:CN=x:y:z", "10.0.0.1", "443", true, "SSL", "me", "CN=x:y:z"},
        {"10.0.0.1:443:SSL::", "10.0.0.1", "443", true, "SSL", "", ""},
        {"10.0.0.1:443:SSL:me", "10.0.0.1", "443", true, "SSL", "me", ""},
        {"10.0.0.1:443:SSL", "10.0.0.1", "443", true, "SSL", "", ""},
        {"10.0.0.1:443:", "10.0.0.1", "443", true, "", "", ""},
        {"10.0.0.1:", "10.0.0.1", "", false, "", "", ""},
        {"COM123456", "", "COM123456", false, "", "", ""},
        {":4000", "", "4000", false, "", "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const SocketPortName fields = SplitSocketPortName(row.name);
        EXPECT_EQ(fields.ipAddress, row.address);
        EXPECT_EQ(fields.portText, row.portText);
        EXPECT_EQ(fields.tlsEnabled, row.tls);
        EXPECT_EQ(fields.protocol, row.protocol);
        EXPECT_EQ(fields.clientCertificate, row.client);
        EXPECT_EQ(fields.serverCertificate, row.server);
    }
}

TEST(PortNameTest, SocketPortMustBeWhollyAPortNumber) {
    struct Row {
        const char* text;
        int port;  // -1: refused
    };
    const Row rows[] = {
        {"4000", 4000},
        {"1", 1},
        {"65535", 65535},
        {"00080", 80},
        {"+80", 80},
        {"65536", -1},
        {"0", -1},
        {"-1", -1},
        {"", -1},
        {"+", -1},
        {"40a0", -1},
        {" 4000", -1},
        {"4000 ", -1},
        {"0x50", -1},
        {"COM123456", -1},
        {"4294971296", -1},  // 2^32 + 4000 must not wrap onto port 4000
        {"99999999999999999999999", -1},
    };
    for (const Row& row : rows) {
        const std::optional<std::uint16_t> port = SocketPortNumber(row.text);
        if (row.port < 0) {
            EXPECT_FALSE(port.has_value()) << '"' << row.text << '"';
        } else {
            ASSERT_TRUE(port.has_value()) << '"' << row.text << '"';
            EXPECT_EQ(*port, row.port) << '"' << row.text << '"';
        }
    }
}

TEST(PortNameTest, BuiltNamesSplitBackIntoTheirParts) {
    const std::string serial = MakeSerialPortName(12345);
    EXPECT_EQ(serial, "COM12345");
    EXPECT_EQ(PortKindOf(serial), PortKind::Serial);
    EXPECT_EQ(SerialPortNumber(serial), 12345);

    const std::string tcp = MakeTcpPortName("1.2.3.4", 5);
    EXPECT_EQ(tcp, "1.2.3.4:5");
    EXPECT_EQ(PortKindOf(tcp), PortKind::Socket);
    const SocketPortName tcpFields = SplitSocketPortName(tcp);
    EXPECT_EQ(tcpFields.ipAddress, "1.2.3.4");
    EXPECT_EQ(SocketPortNumber(tcpFields.portText), 5);
    EXPECT_FALSE(tcpFields.tlsEnabled);

    const std::string tls = MakeTlsPortName("192.0.2.5", 4000, "Test Client", "srv:a");
    EXPECT_EQ(tls, "192.0.2.5:4000:SSL:Test Client:srv:a");
    const SocketPortName tlsFields = SplitSocketPortName(tls);
    EXPECT_TRUE(tlsFields.tlsEnabled);
    EXPECT_EQ(SocketPortNumber(tlsFields.portText), 4000);
    EXPECT_EQ(tlsFields.clientCertificate, "Test Client");
    EXPECT_EQ(tlsFields.serverCertificate, "srv:a");
}

}  // namespace
