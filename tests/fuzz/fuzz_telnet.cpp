// Fuzz entry for the telnet stream: the libtelnet layer and the console's
// receive rules behind it. Built as a libFuzzer target with clang; the plain
// driver below runs it in every build.
//
// Input: the first byte picks the piece size the stream is cut into (0: whole),
// the rest is what a unit sent. A broken property aborts.

#include "core/operator.h"
#include "tools/telnetconsole.h"
#include "tools/telnetprotocol.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

using namespace vork;

namespace {

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "telnet stream property broken: %s\n", what);
        std::abort();
    }
}

class QuietOperator : public Operator
{
public:
    void log(const QString &) override {}
    void tone(Tone, bool) override {}
    void message(MessageKind, const QString &) override { ++messages; }
    Answer ask(const QString &) override { return Answer::No; }
    bool input(const QString &, const QString &, QString &) override { return false; }
    void setPanel(int, const QString &) override {}
    QString panel(int) const override { return {}; }
    void setBusy(bool) override {}
    void breathe() override {}
    int messages = 0;
};

struct Decoded
{
    QByteArray data;
    QByteArray wire;
    QList<QByteArray> chunks;
    bool failed = false;
};

Decoded decode(QByteArrayView stream, std::size_t piece)
{
    Decoded d;
    TelnetProtocol p({[&d](QByteArrayView t) {
                          d.data += t.toByteArray();
                          d.chunks.append(t.toByteArray());
                      },
                      [&d](QByteArrayView w) {
                          // We send no text of our own here: only answers, which open with IAC
                          // (a subnegotiation may come in several pieces).
                          check(!d.wire.isEmpty() || (!w.isEmpty() && static_cast<unsigned char>(w.front()) == 0xFF),
                                "answers start with IAC");
                          d.wire += w.toByteArray();
                      },
                      {}});
    if (piece == 0) {
        p.receive(stream);
    } else {
        for (qsizetype i = 0; i < stream.size(); i += qsizetype(piece))
            p.receive(stream.sliced(i, std::min<qsizetype>(qsizetype(piece), stream.size() - i)));
    }
    d.failed = p.failed();
    return d;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t piece = data[0] % 8;
    const QByteArrayView stream(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));

    const Decoded whole = decode(stream, 0);
    const Decoded cut = decode(stream, piece);
    check(whole.data.size() <= stream.size(), "no more text than bytes");
    if (!whole.failed && !cut.failed) {
        check(whole.data == cut.data, "same text however the stream is cut");
        check(whole.wire == cut.wire, "same answers however the stream is cut");
    }

    // The console takes the text as it came, chunk by chunk.
    QuietOperator op;
    TelnetConsole console(op);
    for (const QByteArray &chunk : cut.chunks)
        console.receive(chunk);
    const TelnetRing &ring = console.ring();
    check(ring.in() >= 0 && ring.in() < TelnetRing::size && ring.out() >= 0 && ring.out() < TelnetRing::size,
          "ring indexes in range");
    check(ring.isEmpty(), "queue drained after each chunk");
    check(console.lines().size() <= cut.data.count('\n') + 1, "one line per line feed");
    check(console.currentLine() == console.lines().size() - 1, "current line is the last");
    for (const QString &line : console.lines()) {
        for (const QChar c : line)
            check((c.unicode() >= 0x20 && c.unicode() <= 0x7E) || c == QLatin1Char('\t'), "only printable text shown");
    }
    return 0;
}

#ifndef VORK_LIBFUZZER
namespace {

void runExact(const std::vector<std::uint8_t> &input)
{
    std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[input.size() + 1]);
    if (!input.empty())
        std::memcpy(block.get(), input.data(), input.size());
    LLVMFuzzerTestOneInput(block.get(), input.size());
}

// Streams made of what units and peers send: prompts, line ends, backspaces,
// progress lines, negotiation and subnegotiation pieces, and noise.
std::vector<std::uint8_t> generate(std::mt19937 &rng)
{
    static const char *const pieces[] = {
        "\r\n", "\r", "\n", "Login : ", "Password:", "[BRIVELLa]>", "Login Incorrect", "\b \b", "\b",
        "Calculating 42%", "exit", "\t", "\xFF\xFB\x01", "\xFF\xFB\x03", "\xFF\xFD\x18", "\xFF\xFD\x01",
        "\xFF\xFA\x18\x01\xFF\xF0", "\xFF\xFA", "\xFF\xF0", "\xFF\xFF", "\xFF", "\xFF\xF1", "\xFF\xFE\x1F",
        "\xFF\xFA\x56\x01\xFF\xF0", "\xFF\xFA\x55\xFF\xF0", "\xFF\xFA\x5D\x00\xFF\xF0"};
    std::vector<std::uint8_t> input{static_cast<std::uint8_t>(rng())};
    const unsigned count = rng() % 40;
    for (unsigned i = 0; i < count; ++i) {
        if (rng() % 5 == 0) {
            for (unsigned n = rng() % 16; n > 0; --n)
                input.push_back(static_cast<std::uint8_t>(rng()));
        } else {
            const char *p = pieces[rng() % std::size(pieces)];
            input.insert(input.end(), p, p + std::strlen(p));
        }
    }
    if (rng() % 100 == 0)
        input.insert(input.end(), 3000, 'a'); // past the ring's size
    return input;
}

} // namespace

int main(int argc, char **argv)
{
    const long runs = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 5000;
    std::mt19937 rng(20240417u); // fixed: every run tries the same inputs
    for (long i = 0; i < runs; ++i)
        runExact(generate(rng));
    std::printf("%ld generated input(s) decoded\n", runs);
    return 0;
}
#endif
