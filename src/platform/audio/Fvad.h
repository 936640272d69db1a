#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <span>

namespace brelta::platform {

// The WebRTC voice-activity detector, shaped like libfvad: make an instance, choose an aggressiveness mode and
// a sample rate, then classify frames of 10, 20 or 30 ms of 16-bit mono audio one at a time.
//
// An instance is not thread-safe: one caller at a time.
class Fvad
{
public:
    enum class Result { Error = -1, NoVoice = 0, Voice = 1 };

    // A fresh detector in mode 0 at 8000 Hz. Throws std::runtime_error when the library cannot make one, or
    // when the library in this process fails its start-up check (see selfCheck()), so a broken detector is
    // never used silently.
    static std::unique_ptr<Fvad> create();

    // Classifies known inputs (a voice-like harmonic tone and digital silence) and returns what went wrong,
    // or an empty text when the library answers as expected. Runs once per process; later calls return the
    // first answer.
    static QString selfCheck();

    ~Fvad();
    Fvad(const Fvad &) = delete;
    Fvad &operator=(const Fvad &) = delete;

    // 0 (quality) to 3 (very aggressive). False, and the mode unchanged, for any other value.
    bool setMode(int mode);
    // 8000, 16000, 32000 or 48000 Hz. False, and the rate unchanged, for any other value.
    bool setSampleRate(int sampleRate);
    int sampleRate() const { return m_sampleRate; }

    // `frame` holds one frame of samples at the current rate: 10, 20 or 30 ms (240 samples at 8000 Hz for
    // 30 ms). Any other length gives Error.
    Result process(std::span<const std::int16_t> frame);

private:
    struct Handle;
    struct HandleDeleter
    {
        void operator()(Handle *handle) const;
    };

    explicit Fvad(std::unique_ptr<Handle, HandleDeleter> handle);

    std::unique_ptr<Handle, HandleDeleter> m_handle;
    int m_sampleRate = 8000;
};

} // namespace brelta::platform
