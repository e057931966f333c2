#include "app/ui/toneplayer.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>

#include <cmath>
#include <numbers>

namespace vork {

namespace {
constexpr int sampleRate = 22050;
constexpr int maxToneMs = 5000;
} // namespace

TonePlayer::TonePlayer(QObject *parent) : QObject(parent), m_buffer(new QBuffer(this))
{
    m_hasDevice = !QMediaDevices::defaultAudioOutput().isNull();
}

TonePlayer::~TonePlayer()
{
    if (m_sink)
        m_sink->stop();
}

QByteArray TonePlayer::samples(int hz, int ms, int rate)
{
    ms = std::clamp(ms, 0, maxToneMs);
    const int count = rate * ms / 1000;
    const int fade = std::min(count / 4, rate / 200); // at most 5 ms
    QByteArray out(count * 2, '\0');
    for (int i = 0; i < count; ++i) {
        double amp = 0.4;
        if (fade > 0 && i < fade)
            amp *= double(i) / fade;
        else if (fade > 0 && i >= count - fade)
            amp *= double(count - 1 - i) / fade;
        const auto v = static_cast<qint16>(amp * 32767.0 * std::sin(2.0 * std::numbers::pi * hz * i / rate));
        out[2 * i] = static_cast<char>(v & 0xFF);
        out[2 * i + 1] = static_cast<char>((v >> 8) & 0xFF);
    }
    return out;
}

void TonePlayer::play(int hz, int ms)
{
    if (!m_hasDevice || hz <= 0 || ms <= 0)
        return;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    QAudioFormat format;
    format.setSampleRate(sampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (device.isNull() || !device.isFormatSupported(format))
        return;
    // A new tone cuts the previous one short, as a speaker beep would.
    if (m_sink) {
        m_sink->stop();
        m_sink->deleteLater();
    }
    m_buffer->close();
    m_buffer->setData(samples(hz, ms, sampleRate));
    m_buffer->open(QIODevice::ReadOnly);
    m_sink = new QAudioSink(device, format, this);
    QAudioSink *sink = m_sink;
    connect(sink, &QAudioSink::stateChanged, this, [sink](QAudio::State s) {
        if (s == QAudio::IdleState)
            sink->stop();
    });
    sink->start(m_buffer);
}

} // namespace vork
