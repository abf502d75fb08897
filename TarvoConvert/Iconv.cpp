#include "Iconv.h"

#include <cerrno>
#include <iconv.h>

namespace tarvo::Iconv {

namespace {

class Converter final {
public:
    explicit Converter(const QByteArray& from)
        : m_handle(::iconv_open("UTF-8", from.constData())) {}
    ~Converter() {
        if (valid())
            ::iconv_close(m_handle);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return m_handle != reinterpret_cast<iconv_t>(-1); }
    iconv_t handle() const { return m_handle; }

private:
    iconv_t m_handle;
};

} // namespace

bool knows(const QByteArray& name) {
    return !name.isEmpty() && Converter(name).valid();
}

std::optional<QByteArray> toUtf8(const QByteArray& bytes, const QByteArray& charset) {
    if (charset.isEmpty())
        return std::nullopt;
    Converter converter(charset);
    if (!converter.valid())
        return std::nullopt;

    QByteArray out;
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = static_cast<size_t>(bytes.size());
    char buffer[4096];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t result = ::iconv(converter.handle(), &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<qsizetype>(outPtr - buffer));
        if (result == static_cast<size_t>(-1) && errno != E2BIG)
            return std::nullopt; // EILSEQ or EINVAL: invalid or cut-off input
    }
    // Ends any shift state a stateful charset left open.
    for (;;) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t result = ::iconv(converter.handle(), nullptr, nullptr, &outPtr, &outLeft);
        out.append(buffer, static_cast<qsizetype>(outPtr - buffer));
        if (result != static_cast<size_t>(-1))
            break;
        if (errno != E2BIG)
            return std::nullopt;
    }
    return out;
}

} // namespace tarvo::Iconv
