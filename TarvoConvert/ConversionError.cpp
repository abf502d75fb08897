#include "ConversionError.h"

namespace tarvo {

namespace {

QString caseName(ConversionError::Kind kind) {
    switch (kind) {
    case ConversionError::Kind::cannotRead:
        return QStringLiteral("cannotRead");
    case ConversionError::Kind::cannotDecode:
        return QStringLiteral("cannotDecode");
    case ConversionError::Kind::cannotWrite:
        return QStringLiteral("cannotWrite");
    case ConversionError::Kind::unsupported:
        return QStringLiteral("unsupported");
    case ConversionError::Kind::noPayload:
        return QStringLiteral("noPayload");
    }
    return {};
}

} // namespace

ConversionError::ConversionError(Kind kind, QString text)
    : m_kind(kind), m_text(std::move(text)), m_what(description().toStdString()) {}

QString ConversionError::description() const {
    if (m_kind == Kind::noPayload)
        return caseName(m_kind);
    return caseName(m_kind) + u'(' + m_text + u')';
}

QString ConversionError::detail() const {
    if (m_reason.isEmpty())
        return description();
    return description() + QStringLiteral(": ") + m_reason;
}

} // namespace tarvo
