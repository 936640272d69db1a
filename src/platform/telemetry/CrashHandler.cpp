#include "platform/telemetry/CrashHandler.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <elf.h>
#include <execinfo.h>
#include <fcntl.h>
#include <limits>
#include <link.h>
#include <memory>
#include <mutex>
#include <ucontext.h>
#include <unistd.h>

namespace brelta::platform {
namespace {

constexpr std::array kFatalSignals{SIGSEGV, SIGABRT, SIGBUS, SIGILL, SIGFPE};
constexpr int kMaxFrames = 64;
constexpr const char *kMagic = "brelta-crash-report 1";

// A user id as the report line holds it: percent-encoded, so it is one line whatever it contains.
struct UserSlot
{
    char text[1024] = {};
    size_t length = 0;
};

// Everything the handler touches is prepared here beforehand: it may not allocate or lock.
struct HandlerState
{
    char reportPath[4096] = {};
    std::unique_ptr<char[]> header;
    size_t headerLength = 0;
    // setUser fills the slot not in use, then points here at it, so the handler never reads a half-written id.
    UserSlot users[2];
    std::atomic<int> currentUser{-1};
    struct sigaction previous[std::size(kFatalSignals)] = {};
    std::atomic<bool> installed{false};
    std::atomic<bool> handling{false};
    std::unique_ptr<char[]> alternateStack;
};

HandlerState g_state;

void writeAll(int fd, const char *data, size_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written <= 0)
            return;
        data += written;
        length -= size_t(written);
    }
}

void writeText(int fd, const char *text)
{
    writeAll(fd, text, std::strlen(text));
}

void writeNumber(int fd, long long value)
{
    char digits[24];
    int position = sizeof(digits);
    const bool negative = value < 0;
    unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(value) : value;
    do {
        digits[--position] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    if (negative)
        digits[--position] = '-';
    writeAll(fd, digits + position, sizeof(digits) - size_t(position));
}

// The instruction the signal interrupted; null where this build cannot tell.
void *interruptedInstruction(void *context)
{
    const auto *state = static_cast<const ucontext_t *>(context);
#if defined(__x86_64__)
    return reinterpret_cast<void *>(state->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return reinterpret_cast<void *>(state->uc_mcontext.pc);
#else
    Q_UNUSED(state);
    return nullptr;
#endif
}

void handleFatalSignal(int signalNumber, siginfo_t *, void *context)
{
    if (!g_state.handling.exchange(true)) {
        const int fd = ::open(g_state.reportPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd >= 0) {
            writeAll(fd, g_state.header.get(), g_state.headerLength);
            if (const int user = g_state.currentUser.load(); user >= 0) {
                writeText(fd, "user ");
                writeAll(fd, g_state.users[user].text, g_state.users[user].length);
                writeText(fd, "\n");
            }
            writeText(fd, "signal ");
            writeNumber(fd, signalNumber);
            writeText(fd, "\ntime ");
            writeNumber(fd, static_cast<long long>(::time(nullptr)));
            writeText(fd, "\nbacktrace\n");
            void *frames[kMaxFrames];
            const int count = ::backtrace(frames, kMaxFrames);
            // This handler and the kernel's signal trampoline come first; the interrupted instruction
            // starts the crashed thread's own frames. Not found: everything is kept.
            const void *interrupted = interruptedInstruction(context);
            int first = 0;
            while (interrupted && first < count && frames[first] != interrupted)
                ++first;
            if (first == count)
                first = 0;
            ::backtrace_symbols_fd(frames + first, count - first, fd);
            ::close(fd);
        }
    }
    // Hand the signal on: the earlier disposition (normally the default, which ends the process) takes
    // it once this handler returns and the signal is unblocked.
    for (size_t i = 0; i < kFatalSignals.size(); ++i) {
        if (kFatalSignals[i] == signalNumber)
            ::sigaction(signalNumber, &g_state.previous[i], nullptr);
    }
    ::raise(signalNumber);
}

bool copyInto(char *buffer, size_t capacity, const QByteArray &text)
{
    if (size_t(text.size()) >= capacity)
        return false;
    std::memcpy(buffer, text.constData(), size_t(text.size()));
    buffer[text.size()] = '\0';
    return true;
}

// Unix paths and user ids may hold spaces or line breaks; the report keeps one value per line.
QByteArray encodedValue(const QByteArray &value)
{
    return QUrl::toPercentEncoding(QString::fromLocal8Bit(value), "/");
}

QByteArray hexAddress(quint64 address)
{
    return "0x" + QByteArray::number(address, 16);
}

// The GNU build id among the notes of one PT_NOTE segment mapped at `address`.
QByteArray buildIdInNotes(ElfW(Addr) address, ElfW(Xword) size, ElfW(Xword) alignment)
{
    const auto align = [alignment](ElfW(Xword) n) {
        const ElfW(Xword) unit = alignment == 8 ? 8 : 4;
        return (n + unit - 1) / unit * unit;
    };
    const auto *note = reinterpret_cast<const unsigned char *>(address);
    const unsigned char *const end = note + size;
    while (end - note >= ptrdiff_t(sizeof(ElfW(Nhdr)))) {
        ElfW(Nhdr) header;
        std::memcpy(&header, note, sizeof(header));
        const unsigned char *const name = note + sizeof(header);
        if (ElfW(Xword)(end - name) < align(header.n_namesz))
            break;
        const unsigned char *const description = name + align(header.n_namesz);
        if (ElfW(Xword)(end - description) < align(header.n_descsz))
            break;
        if (header.n_type == NT_GNU_BUILD_ID && header.n_namesz == 4 && std::memcmp(name, "GNU", 4) == 0)
            return QByteArray(reinterpret_cast<const char *>(description), int(header.n_descsz)).toHex();
        note = description + align(header.n_descsz);
    }
    return {};
}

// One "image <start> <end> <build id or -> <path>" line per loaded module.
QByteArray loadedImageLines()
{
    struct Scan
    {
        QByteArray executable = QFile::symLinkTarget(QStringLiteral("/proc/self/exe")).toLocal8Bit();
        QByteArray lines;
    } scan;
    ::dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *data) {
            auto *scan = static_cast<Scan *>(data);
            ElfW(Addr) low = std::numeric_limits<ElfW(Addr)>::max();
            ElfW(Addr) high = 0;
            QByteArray buildId;
            for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr) &segment = info->dlpi_phdr[i];
                if (segment.p_type == PT_LOAD) {
                    low = std::min(low, segment.p_vaddr);
                    high = std::max(high, segment.p_vaddr + segment.p_memsz);
                } else if (segment.p_type == PT_NOTE && buildId.isEmpty()) {
                    buildId = buildIdInNotes(info->dlpi_addr + segment.p_vaddr, segment.p_memsz, segment.p_align);
                }
            }
            const QByteArray path =
                info->dlpi_name && *info->dlpi_name ? QByteArray(info->dlpi_name) : scan->executable;
            if (high > low && !path.isEmpty())
                scan->lines += "image " + hexAddress(info->dlpi_addr + low) + ' ' + hexAddress(info->dlpi_addr + high)
                               + ' ' + (buildId.isEmpty() ? QByteArray("-") : buildId) + ' ' + encodedValue(path)
                               + '\n';
            return 0;
        },
        &scan);
    return scan.lines;
}

const char *signalName(int number)
{
    switch (number) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGABRT:
        return "SIGABRT";
    case SIGBUS:
        return "SIGBUS";
    case SIGILL:
        return "SIGILL";
    case SIGFPE:
        return "SIGFPE";
    }
    return "SIGNAL";
}

QString demangled(const QString &symbol)
{
    int status = 0;
    const QByteArray mangled = symbol.toLatin1();
    std::unique_ptr<char, decltype(&std::free)> name(
        abi::__cxa_demangle(mangled.constData(), nullptr, nullptr, &status), &std::free);
    return status == 0 && name ? QString::fromLatin1(name.get()) : symbol;
}

struct Frame
{
    QString package;
    QString function;
    std::optional<quint64> address;
};

// "/usr/lib/libc.so.6(abort+0xd3)[0x7f9f8e044472]" or "/usr/bin/brelta(+0x19fe1)[0x5641a4da9fe1]"
// -> package, function (when the symbol is exported), address.
Frame frameFromLine(const QByteArray &line)
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(
        QStringLiteral(R"((.*?)(?:\(([^+()]*)(?:\+(0x[0-9a-fA-F]+))?\))? ?\[0x([0-9a-fA-F]+)\])")));
    const QRegularExpressionMatch match = pattern.match(QString::fromLocal8Bit(line));
    if (!match.hasMatch())
        return {QString(), QString::fromLocal8Bit(line), std::nullopt};
    bool isNumber = false;
    const quint64 address = match.capturedView(4).toULongLong(&isNumber, 16);
    return {match.captured(1), match.captured(2).isEmpty() ? QString() : demangled(match.captured(2)),
            isNumber ? std::optional(address) : std::nullopt};
}

} // namespace

bool CrashHandler::install(const QString &directory, const Identity &identity)
{
    if (!QDir().mkpath(directory))
        return false;
    const QByteArray path =
        QDir(directory)
            .filePath(QStringLiteral("crash-%1%2").arg(::getpid()).arg(QLatin1String(kReportSuffix)))
            .toLocal8Bit();
    const QByteArray header = QByteArray(kMagic) + "\nrelease " + identity.release.toUtf8() + "\nenvironment "
                              + identity.environment.toUtf8() + '\n' + loadedImageLines();
    uninstall();
    if (!copyInto(g_state.reportPath, sizeof(g_state.reportPath), path))
        return false;
    g_state.header = std::make_unique<char[]>(size_t(header.size()));
    std::memcpy(g_state.header.get(), header.constData(), size_t(header.size()));
    g_state.headerLength = size_t(header.size());

    // backtrace() loads its unwinder on first use, which allocates: do that now, not in the handler.
    void *warmUp[1];
    ::backtrace(warmUp, 1);

    // A stack overflow leaves no stack for the handler: give it its own.
    if (!g_state.alternateStack) {
        const size_t size = std::max<size_t>(SIGSTKSZ, 64 * 1024);
        g_state.alternateStack = std::make_unique<char[]>(size);
        stack_t stack{};
        stack.ss_sp = g_state.alternateStack.get();
        stack.ss_size = size;
        ::sigaltstack(&stack, nullptr);
    }

    struct sigaction action
    {};
    action.sa_sigaction = &handleFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < kFatalSignals.size(); ++i)
        ::sigaction(kFatalSignals[i], &action, &g_state.previous[i]);
    g_state.installed = true;
    return true;
}

void CrashHandler::uninstall()
{
    if (!g_state.installed.exchange(false))
        return;
    for (size_t i = 0; i < kFatalSignals.size(); ++i)
        ::sigaction(kFatalSignals[i], &g_state.previous[i], nullptr);
    g_state.currentUser = -1;
}

void CrashHandler::setUser(const std::optional<QString> &userId)
{
    static std::mutex writers;
    const std::lock_guard lock(writers);
    if (!userId) {
        g_state.currentUser = -1;
        return;
    }
    QByteArray text = encodedValue(userId->toUtf8());
    // An id too long for the slot is cut, never inside an escape.
    if (text.size() > qsizetype(sizeof(UserSlot::text))) {
        qsizetype length = qsizetype(sizeof(UserSlot::text));
        const qsizetype escape = text.lastIndexOf('%', length - 1);
        if (escape > length - 3)
            length = escape;
        text.truncate(length);
    }
    const int slot = g_state.currentUser.load() == 0 ? 1 : 0;
    std::memcpy(g_state.users[slot].text, text.constData(), size_t(text.size()));
    g_state.users[slot].length = size_t(text.size());
    g_state.currentUser = slot;
}

bool CrashHandler::isInstalled()
{
    return g_state.installed;
}

std::optional<CrashReport> CrashReport::parse(const QByteArray &text)
{
    const QList<QByteArray> lines = text.split('\n');
    if (lines.isEmpty() || lines.first() != kMagic)
        return std::nullopt;
    CrashReport report;
    bool inBacktrace = false;
    bool hasSignal = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        if (inBacktrace) {
            if (!line.isEmpty())
                report.backtrace.append(line);
        } else if (line == "backtrace") {
            inBacktrace = true;
        } else if (line.startsWith("signal ")) {
            report.signal = line.mid(7).toInt(&hasSignal);
        } else if (line.startsWith("time ")) {
            report.time = line.mid(5).toLongLong();
        } else if (line.startsWith("release ")) {
            report.release = QString::fromUtf8(line.mid(8));
        } else if (line.startsWith("environment ")) {
            report.environment = QString::fromUtf8(line.mid(12));
        } else if (line.startsWith("user ")) {
            report.userId = QString::fromUtf8(QByteArray::fromPercentEncoding(line.mid(5)));
        } else if (line.startsWith("image ")) {
            // A line that does not read is left out: its frames keep their plain addresses.
            const QList<QByteArray> fields = line.split(' ');
            bool startRead = false;
            bool endRead = false;
            const Image image{fields.value(1).toULongLong(&startRead, 0), fields.value(2).toULongLong(&endRead, 0),
                              fields.value(3) == "-" ? QByteArray() : fields.value(3),
                              QString::fromLocal8Bit(QByteArray::fromPercentEncoding(fields.value(4)))};
            if (fields.size() == 5 && startRead && endRead && image.start < image.end && !image.path.isEmpty())
                report.images.append(image);
        }
    }
    // A crash while the report was being written can cut it short; the signal line is the least we need.
    if (!hasSignal)
        return std::nullopt;
    return report;
}

nlohmann::ordered_json CrashReport::toEvent(const QString &eventId) const
{
    // Only the modules the frames run in go along, each once, in the order the frames meet them.
    QList<qsizetype> sentImages;
    nlohmann::ordered_json frames = nlohmann::ordered_json::array();
    for (auto it = backtrace.crbegin(); it != backtrace.crend(); ++it) {
        const Frame parsed = frameFromLine(*it);
        nlohmann::ordered_json frame = nlohmann::ordered_json::object();
        if (!parsed.function.isEmpty())
            frame["function"] = parsed.function.toStdString();
        const auto image = parsed.address
                               ? std::find_if(images.cbegin(), images.cend(),
                                              [address = *parsed.address](const Image &candidate) {
                                                  return candidate.start <= address && address < candidate.end;
                                              })
                               : images.cend();
        if (image != images.cend()) {
            const qsizetype index = image - images.cbegin();
            if (!sentImages.contains(index))
                sentImages.append(index);
            frame["package"] = image->path.toStdString();
            frame["instruction_addr"] = hexAddress(*parsed.address - image->start).toStdString();
            frame["addr_mode"] = "rel:" + std::to_string(sentImages.indexOf(index));
        } else {
            if (!parsed.package.isEmpty())
                frame["package"] = parsed.package.toStdString();
            if (parsed.address)
                frame["instruction_addr"] = hexAddress(*parsed.address).toStdString();
        }
        frames.push_back(std::move(frame));
    }
    nlohmann::ordered_json debugImages = nlohmann::ordered_json::array();
    for (const qsizetype index : sentImages) {
        const Image &image = images.at(index);
        nlohmann::ordered_json entry = {{"type", "elf"},
                                        {"code_file", image.path.toStdString()},
                                        {"image_addr", hexAddress(image.start).toStdString()},
                                        {"image_size", image.end - image.start}};
        if (!image.buildId.isEmpty()) {
            entry["code_id"] = image.buildId.toStdString();
            entry["debug_id"] = debugIdFromBuildId(image.buildId).toStdString();
        }
        debugImages.push_back(std::move(entry));
    }

    nlohmann::ordered_json exception = {
        {"type", signalName(signal)},
        {"value", QString::fromLocal8Bit(::strsignal(signal)).toStdString()},
        {"mechanism",
         {{"type", "signalhandler"},
          {"handled", false},
          {"meta", {{"signal", {{"number", signal}, {"name", signalName(signal)}}}}}}},
        {"stacktrace", {{"frames", frames}}},
    };
    nlohmann::ordered_json event = {
        {"event_id", eventId.toStdString()},
        {"timestamp", QDateTime::fromSecsSinceEpoch(time, Qt::UTC).toString(Qt::ISODate).toStdString()},
        {"platform", "native"},
        {"level", "fatal"},
        {"exception", {{"values", nlohmann::ordered_json::array({exception})}}},
    };
    if (!release.isEmpty())
        event["release"] = release.toStdString();
    if (!environment.isEmpty())
        event["environment"] = environment.toStdString();
    if (userId)
        event["user"] = {{"id", userId->toStdString()}};
    if (!debugImages.empty())
        event["debug_meta"] = {{"images", debugImages}};
    return event;
}

QString debugIdFromBuildId(const QByteArray &buildIdHex)
{
    const bool isHex = std::all_of(buildIdHex.begin(), buildIdHex.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    });
    if (buildIdHex.isEmpty() || buildIdHex.size() % 2 != 0 || !isHex)
        return {};
    QByteArray bytes = QByteArray::fromHex(buildIdHex).leftJustified(16, '\0', true);
    std::reverse(bytes.begin(), bytes.begin() + 4);
    std::reverse(bytes.begin() + 4, bytes.begin() + 6);
    std::reverse(bytes.begin() + 6, bytes.begin() + 8);
    const QByteArray hex = bytes.toHex();
    return QString::fromLatin1(hex.left(8) + '-' + hex.mid(8, 4) + '-' + hex.mid(12, 4) + '-' + hex.mid(16, 4) + '-'
                               + hex.mid(20, 12));
}

} // namespace brelta::platform
