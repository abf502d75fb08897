#include "AppcastError.h"

namespace tarvo {

namespace {

QString caseName(AppcastError::Kind kind) {
    switch (kind) {
    case AppcastError::Kind::lengthMismatch:
        return QStringLiteral("lengthMismatch");
    case AppcastError::Kind::downloadFailed:
        return QStringLiteral("downloadFailed");
    case AppcastError::Kind::malformedFeed:
        return QStringLiteral("malformedFeed");
    case AppcastError::Kind::noItems:
        return QStringLiteral("noItems");
    case AppcastError::Kind::signatureInvalid:
        return QStringLiteral("signatureInvalid");
    }
    return {};
}

} // namespace

AppcastError::AppcastError(Kind kind, qint64 expected, qint64 got, QString text)
    : m_kind(kind), m_expected(expected), m_got(got), m_text(std::move(text)),
      m_what(description().toStdString()) {}

QString AppcastError::description() const {
    switch (m_kind) {
    case Kind::lengthMismatch:
        return QStringLiteral("lengthMismatch(expected: %1, got: %2)").arg(m_expected).arg(m_got);
    case Kind::downloadFailed:
    case Kind::malformedFeed:
        if (!m_text.isEmpty())
            return caseName(m_kind) + u'(' + m_text + u')';
        return caseName(m_kind);
    case Kind::noItems:
    case Kind::signatureInvalid:
        break;
    }
    return caseName(m_kind);
}

} // namespace tarvo
