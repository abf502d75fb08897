#include "ShelfAccessibility.h"

#include "TarvoCore/L10n.h"

#include <QAccessible>
#include <QAccessibleWidget>

#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <map>

namespace tarvo {

namespace {

// One item of the strip, as a picture with the item's name.
class ItemAccessible final : public QAccessibleInterface {
public:
    ItemAccessible(QWidget* view, const AccessibleShelf& shelf, QUuid id)
        : m_view(view), m_shelf(&shelf), m_id(id) {}

    bool isValid() const override { return m_view && item(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_view ? m_view->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return m_view ? QAccessible::queryAccessibleInterface(m_view) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::Graphic; }

    QString text(QAccessible::Text t) const override {
        const Item* shown = item();
        if (!shown)
            return {};
        switch (t) {
        case QAccessible::Name:
            return shown->displayName;
        case QAccessible::Description:
            return L10n::a11yItemRole();
        default:
            return {};
        }
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        if (!m_view)
            return {};
        const std::optional<Rect> tile = m_shelf->itemFrame(m_id);
        if (!tile)
            return {};
        const Rect& frame = *tile;
        const QPointF topLeft = m_shelf->toQt({frame.x, frame.maxY()});
        const QRect local(topLeft.toPoint(), QSize(int(frame.width), int(frame.height)));
        return QRect(m_view->mapToGlobal(local.topLeft()), local.size());
    }

    QAccessible::State state() const override {
        QAccessible::State state;
        state.selectable = true;
        const std::vector<QUuid>& selection = m_view ? m_shelf->selection() : std::vector<QUuid>{};
        state.selected = std::find(selection.begin(), selection.end(), m_id) != selection.end();
        state.invisible = !m_view || !m_view->isVisible();
        return state;
    }

    const QUuid& id() const { return m_id; }

private:
    const Item* item() const {
        if (!m_view)
            return nullptr;
        const std::optional<std::size_t> index = m_shelf->indexOf(m_id);
        return index ? &m_shelf->items()[*index] : nullptr;
    }

    // The shelf is the view, asked only while the view lives.
    QPointer<QWidget> m_view;
    const AccessibleShelf* m_shelf;
    QUuid m_id;
};

// The view with its items as children; its value says how many items the
// shelf holds.
class ViewAccessible final : public QAccessibleWidget {
public:
    ViewAccessible(QWidget* view, const AccessibleShelf& shelf)
        : QAccessibleWidget(view, QAccessible::Pane), m_shelf(shelf) {}
    ~ViewAccessible() override {
        for (const auto& [item, id] : m_ids)
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return int(shownItems().size()); }
    QAccessibleInterface* child(int index) const override {
        const std::vector<QUuid> ids = shownItems();
        if (index < 0 || index >= int(ids.size()))
            return nullptr;
        return QAccessible::accessibleInterface(idFor(ids[std::size_t(index)]));
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const auto* item = dynamic_cast<const ItemAccessible*>(child);
        if (!item)
            return -1;
        const std::vector<QUuid> ids = shownItems();
        const auto found = std::find(ids.begin(), ids.end(), item->id());
        return found == ids.end() ? -1 : int(found - ids.begin());
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return L10n::a11yTarvoOpen(qint64(m_shelf.items().size()));
        return QAccessibleWidget::text(t);
    }

private:
    // Items with a laid-out, shown slot; those beyond the strip get none.
    // Only tiles near the view have layers, so only they are asked.
    std::vector<QUuid> shownItems() const {
        std::vector<QUuid> ids;
        const ItemList& items = m_shelf.items();
        const auto [first, last] = m_shelf.layerWindow();
        for (std::size_t i = first; i < last && i < items.size(); ++i) {
            if (m_shelf.itemFrame(items[i].id))
                ids.push_back(items[i].id);
        }
        return ids;
    }

    // One registered element per item, kept while the view lives.
    QAccessible::Id idFor(const QUuid& id) const {
        if (const auto found = m_ids.find(id); found != m_ids.end()) {
            if (QAccessibleInterface* known = QAccessible::accessibleInterface(found->second);
                known && known->isValid())
                return found->second;
            QAccessible::deleteAccessibleInterface(found->second);
            m_ids.erase(found);
        }
        const QAccessible::Id made =
            QAccessible::registerAccessibleInterface(new ItemAccessible(widget(), m_shelf, id));
        m_ids.emplace(id, made);
        return made;
    }

    const AccessibleShelf& m_shelf;
    mutable std::map<QUuid, QAccessible::Id> m_ids;
};

QAccessibleInterface* shelfFactory(const QString&, QObject* object) {
    auto* view = qobject_cast<QWidget*>(object);
    if (const auto* shelf = dynamic_cast<const AccessibleShelf*>(object); view && shelf)
        return new ViewAccessible(view, *shelf);
    return nullptr;
}

} // namespace

void AccessibleAnnouncer::announce(QWidget& source, const QString& text) {
    source.setAccessibleDescription(text);
    QAccessibleEvent event(&source, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&event);
}

void ShelfAccessibility::install() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(shelfFactory);
}

} // namespace tarvo
