#include "platform/audio/Transcode.h"

#include "platform/audio/AudioFileReader.h"

#include <QFile>
#include <QFileInfo>

namespace brelta::platform {

double transcodeToAac(const QString &source, const QString &target, const AacEncoding &encoding)
{
    // The writer starts by emptying its file: writing over the source would destroy what it reads.
    const QFileInfo sourceInfo(source);
    const QFileInfo targetInfo(target);
    if (sourceInfo.exists() && targetInfo.exists() && sourceInfo.canonicalFilePath() == targetInfo.canonicalFilePath())
        throw AudioFileError(QStringLiteral("%1: cannot convert a file into itself").arg(target).toStdString());

    const std::unique_ptr<AudioFileReader> reader = AudioFileReader::open(source);
    std::unique_ptr<AacFileWriter> writer = AacFileWriter::create(target, reader->format(), encoding);
    try {
        while (const std::optional<PcmBuffer> block = reader->read())
            writer->write(*block);
        writer->finish();
    } catch (const AudioFileError &) {
        writer->discard();
        throw;
    } catch (const std::exception &error) {
        // The converter inside the writer throws plain runtime errors; callers catch one type.
        writer->discard();
        throw AudioFileError(QStringLiteral("%1: %2").arg(target, QString::fromUtf8(error.what())).toStdString());
    }
    return writer->writtenSeconds();
}

} // namespace brelta::platform
