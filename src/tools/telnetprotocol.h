#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <functional>

struct telnet_t;
union telnet_event_t;

namespace vork {

// The telnet layer of one connection, on libtelnet: bytes from the peer go in,
// decoded text comes out, and option negotiation is answered from our option
// table without the caller seeing it. Holds no socket, so tests and the fuzz
// target can feed it any byte stream.
class TelnetProtocol
{
public:
    static constexpr const char *terminalType = "dumb";

    // Option codes we act on.
    static constexpr unsigned char optEcho = 1;
    static constexpr unsigned char optSuppressGoAhead = 3;
    static constexpr unsigned char optTerminalType = 24;

    enum class Negotiation { Will, Wont, Do, Dont };

    struct Handlers
    {
        std::function<void(QByteArrayView)> data;  // decoded text from the peer
        std::function<void(QByteArrayView)> send;  // bytes for the wire (answers and our own text)
        std::function<void(Negotiation, unsigned char option)> negotiated; // what the peer asked or offered
    };

    explicit TelnetProtocol(Handlers handlers);
    ~TelnetProtocol();
    TelnetProtocol(const TelnetProtocol &) = delete;
    TelnetProtocol &operator=(const TelnetProtocol &) = delete;

    // Feeds bytes as they came off the wire; sequences may be split anywhere.
    void receive(QByteArrayView bytes);
    // Sends text, IAC bytes doubled.
    void send(QByteArrayView bytes);

    // Set once libtelnet reported a stream it cannot go on with; later input is dropped.
    bool failed() const { return m_failed; }
    QByteArray lastError() const { return m_error; }
    // What the peer was told our terminal is (empty until it asked).
    QByteArray terminalTypeSent() const { return m_ttypeSent; }

private:
    static void onEvent(telnet_t *telnet, telnet_event_t *event, void *self);
    void handle(telnet_event_t &event);

    Handlers m_handlers;
    telnet_t *m_telnet = nullptr;
    bool m_failed = false;
    QByteArray m_error;
    QByteArray m_ttypeSent;
};

} // namespace vork
