#pragma once

#include <QObject>
#include <QPointer>

class QAudioSink;
class QBuffer;

namespace vork {

// Plays a generated sine of a given frequency and length on the default audio
// output, without blocking; silent where there is no audio device.
class TonePlayer : public QObject
{
    Q_OBJECT
public:
    explicit TonePlayer(QObject *parent = nullptr);
    ~TonePlayer() override;

    void play(int hz, int ms);
    bool hasDevice() const { return m_hasDevice; }

    // 16-bit mono PCM of the tone, with short fades so it does not click.
    static QByteArray samples(int hz, int ms, int sampleRate);

private:
    bool m_hasDevice = false;
    QPointer<QAudioSink> m_sink;
    QBuffer *m_buffer = nullptr;
};

} // namespace vork
