#pragma once

#include "PasteboardWriter.h"

#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace tarvo {

// The pasteboard of a drag out of the shelf, as its owner writes it. A
// backend may refuse a write, or may carry only some of the types (and in an
// order of its own): `types` tells what destinations are offered.
class DragPasteboard final {
public:
    // The types a backend can offer for what the writers declared, in the
    // order it offers them.
    using TypeFilter = std::function<QStringList(const QStringList& declared)>;

    // Bumps the change count.
    void clearContents();
    // Adds the writers after what is there; false when the backend refused
    // (nothing is added then). A successful write bumps the change count.
    bool writeObjects(const std::vector<PasteboardWriter>& writers);

    qint64 changeCount() const { return m_changeCount; }
    // The types on offer in their order; none while the pasteboard is empty.
    std::optional<QStringList> types() const;
    // The order the owner wants its types offered in, the promise's type
    // included; cleared with the contents.
    void setOrder(QStringList order) { m_order = std::move(order); }
    const QStringList& order() const { return m_order; }
    // `types` in that order; types the order does not name follow in their
    // own order. This is what a window system with one flat list announces.
    std::optional<QStringList> orderedTypes() const;
    const std::vector<PasteboardWriter>& writers() const { return m_writers; }
    std::vector<std::shared_ptr<PasteboardItem>> items() const {
        return PasteboardWriters::items(m_writers);
    }
    std::vector<std::shared_ptr<FilePromiseProvider>> promises() const {
        return PasteboardWriters::promises(m_writers);
    }

    // The backend's side.
    void setRefusesWrites(bool refuses) { m_refusesWrites = refuses; }
    bool refusesWrites() const { return m_refusesWrites; }
    void setTypeFilter(TypeFilter filter) { m_filter = std::move(filter); }

private:
    qint64 m_changeCount = 0;
    std::vector<PasteboardWriter> m_writers;
    QStringList m_order;
    bool m_refusesWrites = false;
    TypeFilter m_filter;
};

} // namespace tarvo
