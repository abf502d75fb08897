#include "XSettings.h"

#include <QtEndian>

namespace tarvo::XSettings {

namespace {

enum Kind : quint8 { integer = 0, string = 1, color = 2 };

constexpr int padded(int length) {
    return (length + 3) & ~3;
}

class Reader {
public:
    Reader(const QByteArray& data, bool bigEndian) : m_data(data), m_big(bigEndian) {}

    bool has(int bytes) const { return bytes >= 0 && m_at + bytes <= m_data.size(); }
    void skip(int bytes) { m_at += bytes; }
    quint8 u8() { return static_cast<quint8>(m_data[m_at++]); }
    quint16 u16() {
        const auto* p = reinterpret_cast<const uchar*>(m_data.constData() + m_at);
        m_at += 2;
        return m_big ? qFromBigEndian<quint16>(p) : qFromLittleEndian<quint16>(p);
    }
    quint32 u32() {
        const auto* p = reinterpret_cast<const uchar*>(m_data.constData() + m_at);
        m_at += 4;
        return m_big ? qFromBigEndian<quint32>(p) : qFromLittleEndian<quint32>(p);
    }
    QByteArray bytes(int length) {
        QByteArray out = m_data.mid(m_at, length);
        m_at += padded(length);
        return out;
    }

private:
    const QByteArray& m_data;
    bool m_big;
    qsizetype m_at = 0;
};

} // namespace

std::optional<QHash<QByteArray, Value>> parse(const QByteArray& data) {
    if (data.size() < 12)
        return std::nullopt;
    const quint8 order = static_cast<quint8>(data[0]);
    if (order > 1)
        return std::nullopt;
    Reader in(data, order == 1);
    in.skip(4);
    in.u32(); // serial
    const quint32 count = in.u32();
    QHash<QByteArray, Value> settings;
    for (quint32 i = 0; i < count; ++i) {
        if (!in.has(4))
            return std::nullopt;
        const quint8 kind = in.u8();
        in.skip(1);
        const int nameLength = in.u16();
        if (!in.has(padded(nameLength) + 4))
            return std::nullopt;
        const QByteArray name = in.bytes(nameLength);
        in.u32(); // last change serial
        switch (kind) {
        case integer:
            if (!in.has(4))
                return std::nullopt;
            settings.insert(name, static_cast<qint32>(in.u32()));
            break;
        case string: {
            if (!in.has(4))
                return std::nullopt;
            const quint32 length = in.u32();
            if (length > static_cast<quint32>(data.size()) ||
                !in.has(padded(static_cast<int>(length))))
                return std::nullopt;
            settings.insert(name, in.bytes(static_cast<int>(length)));
            break;
        }
        case color: {
            if (!in.has(8))
                return std::nullopt;
            Color c;
            c.red = in.u16();
            c.green = in.u16();
            c.blue = in.u16();
            c.alpha = in.u16();
            settings.insert(name, c);
            break;
        }
        default:
            return settings;
        }
    }
    return settings;
}

QByteArray serialize(const QHash<QByteArray, Value>& settings) {
    QByteArray out;
    auto u8 = [&out](quint8 v) { out.append(static_cast<char>(v)); };
    auto u16 = [&out](quint16 v) {
        uchar b[2];
        qToLittleEndian(v, b);
        out.append(reinterpret_cast<const char*>(b), 2);
    };
    auto u32 = [&out](quint32 v) {
        uchar b[4];
        qToLittleEndian(v, b);
        out.append(reinterpret_cast<const char*>(b), 4);
    };
    auto text = [&out](const QByteArray& s) {
        out.append(s);
        out.append(QByteArray(padded(static_cast<int>(s.size())) - s.size(), '\0'));
    };
    u8(0);
    out.append(QByteArray(3, '\0'));
    u32(0);
    u32(static_cast<quint32>(settings.size()));
    for (auto it = settings.begin(); it != settings.end(); ++it) {
        const Value& value = it.value();
        u8(static_cast<quint8>(value.index()));
        u8(0);
        u16(static_cast<quint16>(it.key().size()));
        text(it.key());
        u32(0);
        if (const auto* i = std::get_if<qint32>(&value)) {
            u32(static_cast<quint32>(*i));
        } else if (const auto* s = std::get_if<QByteArray>(&value)) {
            u32(static_cast<quint32>(s->size()));
            text(*s);
        } else {
            const Color& c = std::get<Color>(value);
            u16(c.red);
            u16(c.green);
            u16(c.blue);
            u16(c.alpha);
        }
    }
    return out;
}

} // namespace tarvo::XSettings
