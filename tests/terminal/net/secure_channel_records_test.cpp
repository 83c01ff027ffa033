// Records on an open secure channel against openssl s_server: split and largest records, a
// server that speaks first, a key update, and two threads that send at once.
#include <string>
#include <thread>

#include "platform/tls/security_context.h"
#include "tests/terminal/net/secure_channel_test_support.h"

namespace {

TEST_F(SecureChannelTest, RecordsOfAnySizeArriveOnceAndInOrder) {
    struct Row {
        const char* what;
        std::vector<std::string> extra;
        std::size_t lineLength;
    };
    const Row rows[] = {
        {"512-byte records", {"-max_send_frag", "512"}, 5000},
        {"16 KiB records", {}, 16000},
        {"16 KiB records, 1.2", {"-tls1_2"}, 16000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TlsServer server;
        ASSERT_TRUE(StartServer(server, "server", row.extra));
        SecureChannel channel(turn_);
        ASSERT_EQ(channel.Establish(Connect(server.Port()), "", "localhost"), 0);
        std::string line;
        for (std::size_t i = 0; i < row.lineLength; ++i) {
            line += static_cast<char>('a' + (i * 7) % 26);
        }
        server.Type(line);
        EXPECT_EQ(ReadAtLeast(channel, line.size() + 1), line + "\n");
        CloseSockets();
    }
}

TEST_F(SecureChannelTest, TwoRecordsAndTheStartOfAThirdGiveTwoPlaintextsAndKeepTheThird) {
    TlsServer server;
    ASSERT_TRUE(StartServer(server, "server", {"-tls1_2", "-max_send_frag", "512"}));
    const int fd = Connect(server.Port());
    SecureChannel channel(turn_);
    ASSERT_EQ(channel.Establish(fd, "", "localhost"), 0);
    const std::string line(1400, 'r');  // three records: 512, 512 and 377 bytes
    server.Type(line);
    // The raw records, as a receive worker reading the socket itself gets them.
    std::string raw;
    auto wholeRecords = [&] {
        std::size_t at = 0;
        int count = 0;
        for (std::size_t length = 0;
             (length = platform::tls::RecordLength(
                  {reinterpret_cast<const std::uint8_t*>(raw.data()) + at, raw.size() - at})) > 0 &&
             at + length <= raw.size();
             at += length) {
            ++count;
        }
        return count;
    };
    ASSERT_TRUE(WaitUntil([&] {
        char buffer[4096];
        const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        raw.append(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
        return wholeRecords() == 3;
    }));
    // Cut inside the third record.
    const DWORD cut = static_cast<DWORD>(raw.size() - 100);
    std::string input = raw.substr(0, cut);
    std::string output(input.size(), '\0');
    DWORD inputLength = cut;
    DWORD outputLength = 0;
    EXPECT_EQ(channel.DecryptRecords(input.data(), &inputLength, output.data(), &outputLength),
              SEC_E_INCOMPLETE_MESSAGE);
    EXPECT_EQ(output.substr(0, outputLength), std::string(1024, 'r'));
    const std::string third = raw.substr(cut - inputLength);
    ASSERT_EQ(input.substr(0, inputLength), third.substr(0, inputLength));

    input = third;
    inputLength = static_cast<DWORD>(input.size());
    EXPECT_EQ(channel.DecryptRecords(input.data(), &inputLength, output.data(), &outputLength),
              SEC_E_OK);
    EXPECT_EQ(output.substr(0, outputLength), std::string(376, 'r') + "\n");
    EXPECT_EQ(inputLength, 0u);
}

TEST_F(SecureChannelTest, MoreThanOneRecordOfDataGoesOutWhole) {
    TlsServer server;
    ASSERT_TRUE(StartServer(server, "server"));
    SecureChannel channel(turn_);
    ASSERT_EQ(channel.Establish(Connect(server.Port()), "", "localhost"), 0);
    std::string block;
    for (int i = 0; block.size() < 40000; ++i) {
        block += "line " + std::to_string(i) + "\n";
    }
    block += "end of block\n";
    EXPECT_EQ(channel.SendRecord(block.data(), static_cast<DWORD>(block.size())), SEC_E_OK);
    EXPECT_TRUE(server.WaitForOutput("end of block"));
    EXPECT_NE(server.Output().find(block), std::string::npos);
}

TEST_F(SecureChannelTest, WhatAServerSaysFirstIsTheFirstPlaintextRead) {
    for (const char* version : {"-tls1_2", "-tls1_3"}) {
        SCOPED_TRACE(version);
        TlsServer server;
        ASSERT_TRUE(StartServer(server, "server", {version}));
        server.Type("greeting before any request");  // waits in s_server's input until a client
        SecureChannel channel(turn_);
        ASSERT_EQ(channel.Establish(Connect(server.Port()), "", "localhost"), 0);
        EXPECT_EQ(ReadAtLeast(channel, 28), "greeting before any request\n");
        CloseSockets();
    }
}

TEST_F(SecureChannelTest, AKeyUpdateFromTheServerIsAnsweredAndDataFlowsOnBothWays) {
    TlsServer server;
    ASSERT_TRUE(StartServer(server, "server", {"-tls1_3"}));
    SecureChannel channel(turn_);
    ASSERT_EQ(channel.Establish(Connect(server.Port()), "", "localhost"), 0);
    for (const char* update : {"K", "k", "K"}) {
        SCOPED_TRACE(update);
        const std::size_t before = server.Output().size();
        server.Type(update);
        // One command per read of s_server's input: the next line waits until it has acted.
        ASSERT_TRUE(WaitUntil([&] {
            return server.Output().find("SSL_do_handshake -> 1", before) != std::string::npos;
        })) << server.Output();
        server.Type("after update");
        SECURITY_STATUS status = SEC_E_OK;
        EXPECT_EQ(ReadAtLeast(channel, 13, &status), "after update\n") << std::hex << status;
        const std::string out = std::string("answer to ") + update + "\n";
        EXPECT_EQ(channel.SendRecord(out.data(), static_cast<DWORD>(out.size())), SEC_E_OK);
        EXPECT_TRUE(server.WaitForOutput(out));
    }
    EXPECT_EQ(server.Output().find("ERROR"), std::string::npos) << server.Output();
}

TEST_F(SecureChannelTest, TwoThreadsSendingAtOnceKeepEveryRecordWhole) {
    TlsServer server;
    ASSERT_TRUE(StartServer(server, "server"));
    SecureChannel channel(turn_);
    ASSERT_EQ(channel.Establish(Connect(server.Port()), "", "localhost"), 0);
    constexpr int kLines = 300;
    auto sender = [&](char tag) {
        for (int i = 0; i < kLines; ++i) {
            const std::string line = std::string(40, tag) + std::to_string(i) + "\n";
            EXPECT_EQ(channel.SendRecord(line.data(), static_cast<DWORD>(line.size())), SEC_E_OK);
        }
    };
    std::thread a(sender, 'A');
    std::thread b(sender, 'B');
    // Meanwhile the reader takes what the server sends.
    server.Type("while sending");
    EXPECT_EQ(ReadAtLeast(channel, 14), "while sending\n");
    a.join();
    b.join();
    const std::string lastA = std::string(40, 'A') + std::to_string(kLines - 1) + "\n";
    const std::string lastB = std::string(40, 'B') + std::to_string(kLines - 1) + "\n";
    ASSERT_TRUE(server.WaitForOutput(lastA));
    ASSERT_TRUE(server.WaitForOutput(lastB));
    const std::string output = server.Output();
    for (int i = 0; i < kLines; ++i) {
        for (char tag : {'A', 'B'}) {
            ASSERT_NE(output.find(std::string(40, tag) + std::to_string(i) + "\n"),
                      std::string::npos)
                << tag << i;
        }
    }
}

TEST_F(SecureChannelTest, AServerThatHangsUpWithoutCloseNotifyFailsTheReadsAfterItsLastData) {
    TlsServer server;
    ASSERT_TRUE(StartServer(server, "server"));
    SecureChannel channel(turn_);
    ASSERT_EQ(channel.Establish(Connect(server.Port()), "", "localhost"), 0);
    server.Type("last words");
    SECURITY_STATUS status = SEC_E_OK;
    EXPECT_EQ(ReadAtLeast(channel, 11, &status), "last words\n");
    server.Type("q");  // s_server's command: close the connection (no close-notify)
    EXPECT_EQ(ReadAtLeast(channel, 1000, &status), "");
    EXPECT_TRUE(SecFailed(status)) << "a cut connection is not a closed one";
}

}  // namespace
