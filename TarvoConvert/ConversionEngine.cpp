#include "ConversionEngine.h"

#include "ConversionError.h"
#include "Imaging.h"
#include "OutputNaming.h"
#include "TextConverter.h"

#include "TarvoCore/AtomicFile.h"
#include "TarvoCore/FileError.h"
#include "TarvoCore/Files.h"
#include "TarvoCore/Json.h"
#include "TarvoCore/RenameTemplate.h"

#include <QFile>
#include <QFileInfo>
#include <QPromise>
#include <QStringDecoder>
#include <QTimeZone>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarvo {

namespace {

QString lowerExtension(const QString& path) {
    return OutputNaming::pathExtension(path).toLower();
}

} // namespace

// Admits conversions first come, first served, while a slot is free and
// their weight fits the budget beside the others'; one that alone weighs more
// than the budget waits until it can run alone. A caller that is not admitted
// leaves its continuation in the queue and returns; the release that makes
// room starts the oldest waiters that now fit.
class ConversionEngine::Gate final {
public:
    Gate(int limit, qint64 budget) : m_limit(std::max(limit, 1)), m_budget(budget) {}

    void acquire(qint64 weight, std::function<void()> start) {
        {
            const std::lock_guard lock(m_mutex);
            if (!m_waiters.empty() || !admits(weight)) {
                m_waiters.push_back({weight, std::move(start)});
                return;
            }
            take(weight);
        }
        start();
    }

    void release(qint64 weight) {
        std::vector<std::function<void()>> starts;
        {
            const std::lock_guard lock(m_mutex);
            --m_active;
            m_weight -= weight;
            while (!m_waiters.empty() && admits(m_waiters.front().weight)) {
                take(m_waiters.front().weight);
                starts.push_back(std::move(m_waiters.front().start));
                m_waiters.pop_front();
            }
        }
        for (const std::function<void()>& start : starts)
            start();
    }

    int peak() const {
        const std::lock_guard lock(m_mutex);
        return m_peak;
    }

    qint64 peakWeight() const {
        const std::lock_guard lock(m_mutex);
        return m_peakWeight;
    }

private:
    struct Waiter {
        qint64 weight;
        std::function<void()> start;
    };

    bool admits(qint64 weight) const {
        return m_active < m_limit && (m_active == 0 || m_weight + weight <= m_budget);
    }
    void take(qint64 weight) {
        ++m_active;
        m_weight += weight;
        m_peak = std::max(m_peak, m_active);
        m_peakWeight = std::max(m_peakWeight, m_weight);
    }

    mutable std::mutex m_mutex;
    const int m_limit;
    const qint64 m_budget;
    int m_active = 0;
    qint64 m_weight = 0;
    std::deque<Waiter> m_waiters;
    int m_peak = 0;
    qint64 m_peakWeight = 0;
};

namespace {

QString absoluteString(const QUrl& url) {
    return url.toString(QUrl::FullyEncoded);
}

QByteArray readAll(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw FileError(QStringLiteral("read"), path, errno);
    QByteArray data;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            throw FileError(QStringLiteral("read"), path, error);
        }
        data.append(buffer, static_cast<qsizetype>(n));
    }
    ::close(fd);
    return data;
}

// How many bytes at the end of `data` start a UTF-8 sequence that the next
// read completes (0 to 3).
qsizetype incompleteTail(const char* data, qsizetype size) {
    for (qsizetype back = 1; back <= std::min<qsizetype>(3, size); ++back) {
        const auto byte = static_cast<unsigned char>(data[size - back]);
        if ((byte & 0xC0) == 0x80)
            continue; // a continuation byte: look further back
        const qsizetype length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

// The file as UTF-8 text; text that is not valid UTF-8 fails like a read. It
// is decoded a piece at a time into one string sized up front, so a large
// file is held once as text, not also whole as bytes.
QString readUtf8(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw FileError(QStringLiteral("read"), path, errno);
    auto fail = [&](int code) {
        ::close(fd);
        throw FileError(QStringLiteral("read"), path, code);
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        fail(errno);
    QString text;
    // A UTF-8 byte never gives more than one UTF-16 unit.
    text.reserve(static_cast<qsizetype>(std::max<off_t>(st.st_size, 0)));
    constexpr qsizetype chunk = 1 << 20;
    std::vector<char> buffer(chunk + 3);
    qsizetype carried = 0;
    bool first = true;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data() + carried, chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        qsizetype size = carried + n;
        const qsizetype tail = n == 0 ? 0 : incompleteTail(buffer.data(), size);
        const char* start = buffer.data();
        qsizetype length = size - tail;
        if (first && length >= 3 && std::memcmp(start, "\xEF\xBB\xBF", 3) == 0) {
            start += 3; // the byte order mark is no part of the text
            length -= 3;
        }
        first = false;
        // Each piece ends on a whole character, so each decodes on its own;
        // a U+FEFF inside the text is kept.
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                         QStringDecoder::Flag::ConvertInitialBom);
        text.append(decoder.decode(QByteArrayView(start, length)));
        if (decoder.hasError())
            fail(EILSEQ);
        if (n == 0)
            break;
        std::memmove(buffer.data(), buffer.data() + size - tail, static_cast<size_t>(tail));
        carried = tail;
    }
    ::close(fd);
    return text;
}

// The file an output goes to. A name reserved in the work folder is given up
// again when the conversion fails, so that a failure leaves nothing behind.
class Output final {
public:
    explicit Output(const ConversionRequest& request)
        : m_path(ConversionEngine::destinationURL(request)),
          m_reserved(!request.destinationURL.has_value()) {}
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    ~Output() {
        if (m_committed || !m_reserved)
            return;
        // Only the empty placeholder is ours to remove: converters put their
        // file in place in one rename, so a failed one never got this far.
        struct stat st {};
        const QByteArray name = QFile::encodeName(m_path);
        if (::lstat(name.constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0)
            ::unlink(name.constData());
    }

    const QString& path() const { return m_path; }
    ConversionResult commit() {
        m_committed = true;
        return ConversionResult::file(m_path);
    }

private:
    QString m_path;
    bool m_reserved;
    bool m_committed = false;
};

ConversionResult textFallback(const Item& item) {
    const ItemPayload& payload = item.payload;
    if (const auto* text = payload.as<ItemPayload::Text>())
        return ConversionResult::text(text->text);
    if (const auto* rich = payload.as<ItemPayload::RichText>())
        return ConversionResult::text(rich->plain);
    if (const auto* url = payload.as<ItemPayload::Url>())
        return ConversionResult::text(absoluteString(url->url));
    throw ConversionError::noPayload();
}

bool isPlainTextExtension(const QString& ext) {
    static const QStringList textExtensions = {
        QStringLiteral("txt"), QStringLiteral("md"),   QStringLiteral("json"),
        QStringLiteral("csv"), QStringLiteral("log"),  QStringLiteral("swift"),
        QStringLiteral("js"),  QStringLiteral("ts"),   QStringLiteral("py"),
        QStringLiteral("yml"), QStringLiteral("yaml"), QStringLiteral("xml")};
    return textExtensions.contains(ext);
}

// The extensions whose files the plain-text delivery reads as text.
bool readsAsText(const QString& ext) {
    return ext == u"rtf" || ext == u"rtfd" || ext == u"html" || ext == u"htm" ||
           isPlainTextExtension(ext);
}

ConversionResult plainText(const ConversionRequest& request, const std::optional<QString>& u) {
    const ItemPayload& payload = request.item.payload;
    if (const auto* url = payload.as<ItemPayload::Url>())
        return ConversionResult::text(absoluteString(url->url));
    if (const auto* rich = payload.as<ItemPayload::RichText>())
        return ConversionResult::text(rich->plain);
    if (const auto* text = payload.as<ItemPayload::Text>())
        return ConversionResult::text(text->text);

    const QString ext = lowerExtension(*payload.fileName());
    if (!u)
        throw ConversionError::noPayload();
    if (ext == u"rtf")
        return ConversionResult::text(TextConverter::plainTextFromRTF(readAll(*u)));
    if (ext == u"rtfd")
        return ConversionResult::text(TextConverter::plainTextFromRTFD(readAll(*u)));
    if (ext == u"html" || ext == u"htm")
        return ConversionResult::text(TextConverter::plainTextFromHTML(readAll(*u)));
    if (isPlainTextExtension(ext))
        return ConversionResult::text(readUtf8(*u));
    return ConversionResult::original(*u);
}

ConversionResult webloc(const ConversionRequest& request, const std::optional<QString>& u) {
    if (const auto* url = request.item.payload.as<ItemPayload::Url>()) {
        Output output(request);
        const QString name = url->title && !url->title->isEmpty()  ? *url->title
                             : !request.item.displayName.isEmpty() ? request.item.displayName
                                                                   : url->url.toString();
        const QByteArray data = TextConverter::desktopLink(url->url, name);
        AtomicFile::write(data, output.path(), AtomicFile::Access::shared);
        return output.commit();
    }
    if (u)
        return ConversionResult::original(*u);
    throw ConversionError::noPayload();
}

ConversionResult image(const ConversionRequest& request, ImageOptions options,
                       const std::optional<QString>& u) {
    if (!u)
        throw ConversionError::noPayload();
    if (request.keepMetadata)
        options.stripLocation = false;
    Output output(request);
    Imaging::convertImage(*u, options, output.path());
    return output.commit();
}

ConversionResult pdf(const ConversionRequest& request, const std::optional<QString>& u) {
    if (!u)
        throw ConversionError::noPayload();
    if (lowerExtension(*u) == u"pdf")
        return ConversionResult::original(*u);
    Output output(request);
    Imaging::imagesToPDF({*u}, output.path());
    return output.commit();
}

} // namespace

ConversionEngine::ConversionEngine(int maxConcurrent)
    : ConversionEngine(maxConcurrent, &ConversionEngine::perform) {}

ConversionEngine::ConversionEngine(int maxConcurrent, Performer performer)
    : ConversionEngine(maxConcurrent, std::move(performer), &ConversionEngine::weight) {}

ConversionEngine::ConversionEngine(int maxConcurrent, Performer performer, Weigher weigher)
    : m_gate(std::make_unique<Gate>(maxConcurrent, pixelBudget)), m_perform(std::move(performer)),
      m_weigh(std::move(weigher)) {
    m_weighing.setMaxThreadCount(1);
    m_weighing.setObjectName(QStringLiteral("com.tarvoapp.Tarvo.convert.weigh"));
    // Only admitted conversions reach the pool, so it never needs more threads
    // than the gate has slots.
    m_queue.setMaxThreadCount(std::max(maxConcurrent, 1));
    m_queue.setObjectName(QStringLiteral("com.tarvoapp.Tarvo.convert"));
}

ConversionEngine::~ConversionEngine() {
    m_weighing.waitForDone();
    m_queue.waitForDone();
}

QFuture<ConversionResult> ConversionEngine::convert(ConversionRequest request) {
    auto promise = std::make_shared<QPromise<ConversionResult>>();
    QFuture<ConversionResult> future = promise->future();
    promise->start();
    m_weighing.start([this, promise, request = std::move(request)] {
        qint64 weight = 0;
        try {
            weight = std::max<qint64>(m_weigh(request), 0);
        } catch (...) {
        }
        m_gate->acquire(weight, [this, promise, request, weight] {
            m_queue.start([this, promise, request, weight] {
                std::exception_ptr error;
                std::optional<ConversionResult> result;
                try {
                    result = m_perform(request);
                } catch (...) {
                    error = std::current_exception();
                }
                m_gate->release(weight);
                if (error)
                    promise->setException(error);
                else
                    promise->addResult(std::move(*result));
                promise->finish();
            });
        });
    });
    return future;
}

int ConversionEngine::peakConcurrency() const {
    return m_gate->peak();
}

qint64 ConversionEngine::peakWeight() const {
    return m_gate->peakWeight();
}

qint64 ConversionEngine::weight(const ConversionRequest& request) {
    const std::optional<QString> u = request.item.payloadURL(request.containerRoot);
    const ImageOptions* options = request.delivery.imageOptions();
    const bool toPdf = request.delivery.is<Delivery::Pdf>();
    if (!u || (!options && !toPdf))
        return 0;
    return Imaging::decodedBytes(*u, options);
}

int ConversionEngine::activeProcessorCount() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0)
        return std::max(CPU_COUNT(&set), 1);
    return std::max(static_cast<int>(::sysconf(_SC_NPROCESSORS_ONLN)), 1);
}

ConversionResult ConversionEngine::perform(const ConversionRequest& request) {
    const std::optional<QString> u = request.item.payloadURL(request.containerRoot);
    const Delivery& delivery = request.delivery;
    if (delivery.is<Delivery::Original>())
        return u ? ConversionResult::original(*u) : textFallback(request.item);
    if (delivery.is<Delivery::Path>())
        return u ? ConversionResult::text(TextConverter::quotedPath(*u))
                 : textFallback(request.item);
    if (delivery.is<Delivery::PlainText>())
        return plainText(request, u);
    if (delivery.is<Delivery::Webloc>())
        return webloc(request, u);
    if (const ImageOptions* options = delivery.imageOptions())
        return image(request, *options, u);
    return pdf(request, u);
}

bool ConversionEngine::answersWithText(const Item& item, const Delivery& delivery) {
    const ItemPayload& payload = item.payload;
    const std::optional<QString> name = payload.fileName();
    if (delivery.is<Delivery::Path>())
        return true;
    if (delivery.is<Delivery::PlainText>()) {
        if (payload.is<ItemPayload::File>() || payload.is<ItemPayload::Image>())
            return readsAsText(lowerExtension(*name));
        return true;
    }
    if (delivery.is<Delivery::Webloc>() && payload.is<ItemPayload::Url>())
        return false;
    // The unchanged item, a converted file or, where an item without a file
    // cannot be converted, the unchanged item's text.
    return !name.has_value();
}

QString ConversionEngine::fileName(const ConversionRequest& request) {
    const QString& displayName = request.item.displayName;
    const QString base = OutputNaming::deletingPathExtension(displayName);
    const QString ext = OutputNaming::outputExtension(request.delivery, displayName);

    QString stem;
    bool hasExtension = false;
    if (request.rename && !request.rename->isEmpty()) {
        const QString expanded = RenameTemplate::expand(*request.rename, base, ext, request.index,
                                                        request.batchCount, request.destinationApp,
                                                        request.date, QTimeZone::systemTimeZone());
        if (ext.isEmpty() || OutputNaming::pathExtension(expanded).toLower() == ext.toLower())
            return OutputNaming::cleanFileName(expanded);
        stem = expanded;
        hasExtension = true;
    } else {
        stem = base;
        hasExtension = !ext.isEmpty();
    }
    if (!hasExtension)
        return OutputNaming::cleanFileName(stem);
    // "" + ".webloc" would be a hidden file of no name.
    if (stem.isEmpty())
        stem = QStringLiteral("_");
    return OutputNaming::cleanFileName(stem + u'.' + ext);
}

QString ConversionEngine::destinationURL(const ConversionRequest& request) {
    if (request.destinationURL)
        return *request.destinationURL;
    // The drag that made the folder is over and swept it away: nothing is to
    // be written for it any more, least of all into a folder made anew.
    struct stat st {};
    if (::stat(QFile::encodeName(request.workDirectory).constData(), &st) != 0)
        throw FileError(QStringLiteral("write"), request.workDirectory, errno);
    if (!S_ISDIR(st.st_mode))
        throw FileError(QStringLiteral("write"), request.workDirectory, ENOTDIR);
    const QString name = fileName(request);
    const QString base = OutputNaming::deletingPathExtension(name);
    const QString ext = OutputNaming::pathExtension(name);
    QString folder = request.workDirectory;
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder + RenameTemplate::uniqueName(base, ext, request.workDirectory);
}

} // namespace tarvo
