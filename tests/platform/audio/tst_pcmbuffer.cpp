#include "platform/audio/PcmBuffer.h"

#include <QTest>

#include <numeric>
#include <stdexcept>

using namespace brelta::platform;

namespace {

const PcmFormat int16Mono{SampleType::Int16, 8000, 1};

// A buffer whose frame i of channel c holds the value base + 1000 c + i, so order and origin are visible.
PcmBuffer numbered(const PcmFormat &format, std::uint32_t capacity, std::uint32_t length, int base)
{
    PcmBuffer buffer(format, capacity);
    buffer.setFrameLength(length);
    for (int channel = 0; channel < format.channels; ++channel) {
        for (std::uint32_t i = 0; i < length; ++i) {
            const int value = base + 1000 * channel + int(i);
            switch (format.sampleType) {
            case SampleType::Float32:
                buffer.floatChannel(channel)[i] = float(value);
                break;
            case SampleType::Int16:
                buffer.int16Channel(channel)[i] = std::int16_t(value);
                break;
            case SampleType::Int32:
                buffer.int32Channel(channel)[i] = value;
                break;
            }
        }
    }
    return buffer;
}

// The frames in use of every channel, as numbers.
QList<QList<double>> framesOf(const PcmBuffer &buffer)
{
    QList<QList<double>> channels;
    for (int channel = 0; channel < buffer.format().channels; ++channel) {
        QList<double> values;
        for (std::uint32_t i = 0; i < buffer.frameLength(); ++i) {
            switch (buffer.format().sampleType) {
            case SampleType::Float32:
                values << buffer.floatChannel(channel)[i];
                break;
            case SampleType::Int16:
                values << buffer.int16Channel(channel)[i];
                break;
            case SampleType::Int32:
                values << buffer.int32Channel(channel)[i];
                break;
            }
        }
        channels << values;
    }
    return channels;
}

QList<double> range(int from, int count)
{
    QList<double> values(count);
    std::iota(values.begin(), values.end(), double(from));
    return values;
}

} // namespace

class TestPcmBuffer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void newBufferIsSilent()
    {
        const PcmBuffer buffer(PcmFormat{SampleType::Float32, 16000, 2}, 480);
        QCOMPARE(buffer.frameCapacity(), 480u);
        QCOMPARE(buffer.frameLength(), 0u);
        for (int channel = 0; channel < 2; ++channel) {
            for (const float sample : buffer.floatChannel(channel))
                QCOMPARE(sample, 0.0f);
        }
        QVERIFY(buffer.int16Channel(0).empty()); // the accessor of another sample type is absent
    }

    void copyKeepsCapacityAndFrames_data()
    {
        QTest::addColumn<int>("sampleType");
        QTest::addColumn<int>("channels");
        QTest::addColumn<uint>("capacity");
        QTest::addColumn<uint>("length");
        QTest::newRow("int16 mono, capacity 4800 holding 4700") << int(SampleType::Int16) << 1 << 4800u << 4700u;
        QTest::newRow("float stereo, full") << int(SampleType::Float32) << 2 << 300u << 300u;
        QTest::newRow("int32 mono, empty") << int(SampleType::Int32) << 1 << 10u << 0u;
        QTest::newRow("capacity 0") << int(SampleType::Int16) << 1 << 0u << 0u;
    }

    void copyKeepsCapacityAndFrames()
    {
        QFETCH(int, sampleType);
        QFETCH(int, channels);
        QFETCH(uint, capacity);
        QFETCH(uint, length);
        const PcmFormat format{SampleType(sampleType), 8000, channels};
        const PcmBuffer source = numbered(format, capacity, length, 1);
        const PcmBuffer copied = pcm::copy(source);
        QCOMPARE(copied.format(), format);
        QCOMPARE(copied.frameCapacity(), capacity);
        QCOMPARE(copied.frameLength(), length);
        QCOMPARE(framesOf(copied), framesOf(source));
        if (length > 0) { // nothing shared: changing the copy leaves the source
            PcmBuffer changed = copied;
            changed.channelBytes(0)[0] = std::byte{0x7f};
            QCOMPARE(framesOf(copied), framesOf(source));
        }
    }

    void concatJoinsInOrder_data()
    {
        QTest::addColumn<QList<uint>>("lengths");
        QTest::addColumn<uint>("total");
        QTest::newRow("empty (capacity 0) then 480 equals the second") << QList<uint>{0, 480} << 480u;
        QTest::newRow("100, 0 and 50 give 150 in order") << QList<uint>{100, 0, 50} << 150u;
        QTest::newRow("one buffer") << QList<uint>{240} << 240u;
        QTest::newRow("all empty") << QList<uint>{0, 0} << 0u;
    }

    void concatJoinsInOrder()
    {
        QFETCH(QList<uint>, lengths);
        QFETCH(uint, total);
        const PcmFormat stereo{SampleType::Int16, 8000, 2};
        std::vector<PcmBuffer> buffers;
        QList<QList<double>> expected(2);
        int base = 0;
        for (const uint length : lengths) {
            // Capacity larger than length: only the frames in use may be joined.
            buffers.push_back(numbered(stereo, length + (length ? 7 : 0), length, base));
            expected[0] << range(base, int(length));
            expected[1] << range(base + 1000, int(length));
            base += 100;
        }
        const PcmBuffer joined = pcm::concat(buffers);
        QCOMPARE(joined.frameLength(), total);
        QCOMPARE(joined.frameCapacity(), total);
        QCOMPARE(joined.format(), stereo);
        QCOMPARE(framesOf(joined), expected);
    }

    void concatOfNothingIsEmpty()
    {
        const PcmBuffer joined = pcm::concat(std::span<const PcmBuffer>{});
        QCOMPARE(joined.frameLength(), 0u);
        QCOMPARE(joined.frameCapacity(), 0u);
    }

    void concatRefusesMixedFormats()
    {
        const PcmBuffer a = numbered(int16Mono, 10, 10, 0);
        const PcmBuffer b = numbered(PcmFormat{SampleType::Int16, 16000, 1}, 10, 10, 0);
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, pcm::concat({a, b}));
    }

    void splitCutsAtN_data()
    {
        QTest::addColumn<uint>("length");
        QTest::addColumn<uint>("n");
        QTest::addColumn<uint>("headLength");
        QTest::addColumn<uint>("tailLength");
        QTest::newRow("at 0: empty head, tail is the whole source") << 720u << 0u << 0u << 720u;
        QTest::newRow("at the frame length: empty tail") << 720u << 720u << 720u << 0u;
        QTest::newRow("at a frame multiple") << 500u << 480u << 480u << 20u;
        QTest::newRow("beyond the frame length: clamped") << 100u << 240u << 100u << 0u;
    }

    void splitCutsAtN()
    {
        QFETCH(uint, length);
        QFETCH(uint, n);
        QFETCH(uint, headLength);
        QFETCH(uint, tailLength);
        const PcmBuffer source = numbered(int16Mono, length + 5, length, 0);
        const auto [head, tail] = pcm::split(source, n);
        QCOMPARE(head.frameLength(), headLength);
        QCOMPARE(head.frameCapacity(), headLength);
        QCOMPARE(tail.frameLength(), tailLength);
        QCOMPARE(tail.frameCapacity(), tailLength);
        QCOMPARE(framesOf(head), QList<QList<double>>{range(0, int(headLength))});
        QCOMPARE(framesOf(tail), QList<QList<double>>{range(int(headLength), int(tailLength))});
        QCOMPARE(framesOf(source), QList<QList<double>>{range(0, int(length))}); // argument unchanged
    }

    void interleavedRoundTrip()
    {
        const PcmFormat stereo{SampleType::Float32, 48000, 2};
        const std::vector<float> interleaved{0.1f, -0.1f, 0.2f, -0.2f, 0.3f, -0.3f};
        const PcmBuffer buffer = PcmBuffer::fromInterleaved(stereo, std::as_bytes(std::span(interleaved)));
        QCOMPARE(buffer.frameLength(), 3u);
        QCOMPARE(buffer.floatChannel(0)[2], 0.3f);
        QCOMPARE(buffer.floatChannel(1)[1], -0.2f);
        const std::vector<std::byte> back = buffer.toInterleaved();
        QCOMPARE(back.size(), interleaved.size() * sizeof(float));
        QVERIFY(std::memcmp(back.data(), interleaved.data(), back.size()) == 0);
    }
};

QTEST_GUILESS_MAIN(TestPcmBuffer)
#include "tst_pcmbuffer.moc"
