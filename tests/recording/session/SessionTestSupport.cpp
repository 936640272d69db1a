#include "SessionTestSupport.h"

namespace brelta::recording::testing {

QString writeAacFixture(const QString &path, double seconds)
{
    try {
        const platform::PcmFormat format{platform::SampleType::Int16, 44100, 1};
        auto writer = platform::AacFileWriter::create(path, format, platform::AacEncoding{44100, 1, 32000});
        const auto frames = std::uint32_t(std::llround(seconds * format.sampleRate));
        platform::PcmBuffer buffer(format, frames);
        buffer.setFrameLength(frames);
        std::span<std::int16_t> samples = buffer.int16Channel(0);
        for (std::uint32_t i = 0; i < frames; ++i)
            samples[i] = std::int16_t(3000 * std::sin(2 * M_PI * 440 * i / format.sampleRate));
        writer->write(buffer);
        writer->finish();
        return {};
    } catch (const std::exception &error) {
        return QString::fromUtf8(error.what());
    }
}

QCoro::Task<> ScriptedRecorder::start(QUrl url)
{
    QPointer<ScriptedRecorder> self(this);
    QCoro::Task<> waited = act(QStringLiteral("start"), m_script.failStart, m_state);
    co_await std::move(waited);
    if (!self)
        co_return;
    m_output = url.toLocalFile();
    if (!m_script.fixture.isEmpty() && !QFile::copy(m_script.fixture, m_output))
        throw std::runtime_error("the scripted recorder could not write its file");
    m_state = AudioRecordingState::Recording;
}

QCoro::Task<> ScriptedRecorder::stop()
{
    return act(QStringLiteral("stop"), m_script.failStop, AudioRecordingState::Stopped);
}

QCoro::Task<> ScriptedRecorder::pause()
{
    return act(QStringLiteral("pause"), m_script.failPause, AudioRecordingState::Paused);
}

QCoro::Task<> ScriptedRecorder::resume()
{
    return act(QStringLiteral("resume"), m_script.failResume, AudioRecordingState::Recording);
}

QCoro::Task<> ScriptedRecorder::act(QString operation, QString failure, AudioRecordingState after)
{
    m_calls << operation;
    if (m_script.hold == operation) {
        QPointer<ScriptedRecorder> self(this);
        m_held = true;
        auto releasedNow = qCoro(this, &ScriptedRecorder::released);
        co_await std::move(releasedNow);
        if (!self)
            co_return;
        m_held = false;
    }
    if (!failure.isEmpty())
        throw AudioRecorderError(failure);
    m_state = after;
}

} // namespace brelta::recording::testing
