#include "tools/telnetprotocol.h"

#include <libtelnet.h>

namespace vork {

namespace {

// What we agree to: we send our terminal type when asked, the peer may echo and
// drop go-aheads. Everything else is refused by libtelnet on our behalf.
const telnet_telopt_t options[] = {
    {TELNET_TELOPT_ECHO, TELNET_WONT, TELNET_DO},
    {TELNET_TELOPT_SGA, TELNET_WILL, TELNET_DO},
    {TELNET_TELOPT_TTYPE, TELNET_WILL, TELNET_DONT},
    {-1, 0, 0},
};

} // namespace

TelnetProtocol::TelnetProtocol(Handlers handlers)
    : m_handlers(std::move(handlers))
{
    m_telnet = telnet_init(options, &TelnetProtocol::onEvent, 0, this);
    if (!m_telnet) {
        m_failed = true;
        m_error = QByteArrayLiteral("telnet_init failed");
    }
}

TelnetProtocol::~TelnetProtocol()
{
    if (m_telnet)
        telnet_free(m_telnet);
}

void TelnetProtocol::receive(QByteArrayView bytes)
{
    if (m_failed || bytes.isEmpty())
        return;
    telnet_recv(m_telnet, bytes.data(), static_cast<size_t>(bytes.size()));
}

void TelnetProtocol::send(QByteArrayView bytes)
{
    if (m_failed || bytes.isEmpty())
        return;
    telnet_send(m_telnet, bytes.data(), static_cast<size_t>(bytes.size()));
}

void TelnetProtocol::onEvent(telnet_t *, telnet_event_t *event, void *self)
{
    static_cast<TelnetProtocol *>(self)->handle(*event);
}

void TelnetProtocol::handle(telnet_event_t &event)
{
    if (m_failed)
        return;
    switch (event.type) {
    case TELNET_EV_DATA:
        if (m_handlers.data && event.data.size > 0)
            m_handlers.data(QByteArrayView(event.data.buffer, static_cast<qsizetype>(event.data.size)));
        break;
    case TELNET_EV_SEND:
        if (m_handlers.send && event.data.size > 0)
            m_handlers.send(QByteArrayView(event.data.buffer, static_cast<qsizetype>(event.data.size)));
        break;
    case TELNET_EV_WILL:
    case TELNET_EV_WONT:
    case TELNET_EV_DO:
    case TELNET_EV_DONT:
        if (m_handlers.negotiated) {
            const Negotiation n = event.type == TELNET_EV_WILL   ? Negotiation::Will
                                  : event.type == TELNET_EV_WONT ? Negotiation::Wont
                                  : event.type == TELNET_EV_DO   ? Negotiation::Do
                                                                 : Negotiation::Dont;
            m_handlers.negotiated(n, event.neg.telopt);
        }
        break;
    case TELNET_EV_TTYPE:
        if (event.ttype.cmd == TELNET_TTYPE_SEND) {
            m_ttypeSent = QByteArray(terminalType);
            telnet_ttype_is(m_telnet, terminalType);
        }
        break;
    case TELNET_EV_ERROR:
        // libtelnet's state is not to be trusted after this: drop the rest.
        m_failed = true;
        m_error = QByteArray(event.error.msg ? event.error.msg : "telnet stream error");
        break;
    default:
        break; // IAC commands, warnings and subnegotiations we have no use for
    }
}

} // namespace vork
