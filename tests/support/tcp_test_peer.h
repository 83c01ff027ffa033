#pragma once
// Real TCP peers on 127.0.0.1 for the socket tests: a listener the test accepts from itself
// (to read what a port sent, see its end of file, or reset the connection), a listener whose
// queue is full so that a connect to it waits, and socat echoing every byte back. Nothing here
// reaches beyond the loopback address.

#include <sys/types.h>

#include <cstdint>
#include <string>

// One accepted connection, closed when it goes.
class TcpTestConnection {
  public:
    explicit TcpTestConnection(int fd = -1) : fd_(fd) {}
    ~TcpTestConnection();
    TcpTestConnection(TcpTestConnection&& other) noexcept;
    TcpTestConnection& operator=(TcpTestConnection&& other) noexcept;
    TcpTestConnection(const TcpTestConnection&) = delete;
    TcpTestConnection& operator=(const TcpTestConnection&) = delete;

    bool Valid() const { return fd_ >= 0; }
    bool Write(const std::string& bytes);
    // Reads until `bytes` bytes arrived, the connection ended or the patience ran out.
    std::string Read(std::size_t bytes);
    // True once the other side has ended the connection (end of file), after any bytes still
    // queued were read away; false when it stays open past the patience.
    bool WaitEndOfFile();
    // The same look without waiting: reads away what is queued, true once the other side has
    // ended the connection.
    bool Ended();
    // Ends the connection with a reset instead of an orderly close.
    void Reset();

  private:
    int fd_;
};

class TcpTestListener {
  public:
    // Listens on 127.0.0.1 on a port the system picks. `backlog` 0 holds one connection that
    // nobody accepts; a further connect then waits for the peer (see FillQueue).
    explicit TcpTestListener(int backlog = 8);
    ~TcpTestListener();
    TcpTestListener(const TcpTestListener&) = delete;
    TcpTestListener& operator=(const TcpTestListener&) = delete;

    std::uint16_t Port() const { return port_; }
    // The next connection, or an invalid one after the patience.
    TcpTestConnection Accept();
    // True when a connection is waiting to be accepted.
    bool Pending() const;
    // Connects once without accepting, so that a listener of backlog 0 takes no more: the
    // next connect to it waits until it is given up.
    bool FillQueue();

  private:
    int fd_ = -1;
    int filler_ = -1;
    std::uint16_t port_ = 0;
};

// A port on 127.0.0.1 that nobody listens on (bound, then closed again).
std::uint16_t UnusedTcpPort();

// socat listening on 127.0.0.1 and echoing every connection's bytes back (a cat per
// connection); stopped with its connections when it goes. `kind` and `options` choose another
// listener ("OPENSSL-LISTEN" with ",cert=...,key=...,verify=0" echoes over TLS).
class SocatEcho {
  public:
    explicit SocatEcho(const std::string& kind = "TCP-LISTEN", const std::string& options = "");
    ~SocatEcho();
    SocatEcho(const SocatEcho&) = delete;
    SocatEcho& operator=(const SocatEcho&) = delete;

    // True once it takes connections.
    bool Started() const { return started_; }
    std::uint16_t Port() const { return port_; }

  private:
    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
    bool started_ = false;
};
