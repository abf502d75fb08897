#pragma once

// The shelf's side of drags out under Xvfb, for the X11 drag-out suites: the
// real X11 backends and the whole delivery road in this process, with
// destination programs in others.
#include "TarvoConvert/ConversionEngine.h"
#include "TarvoCore/ContentHash.h"
#include "TarvoCore/DefaultRules.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/RuleEngine.h"
#include "TarvoCore/UndoLog.h"
#include "TarvoCore/UserDefaults.h"
#include "TarvoDrag/DeliveryCoordinator.h"
#include "TarvoDrag/DestinationResolver.h"
#include "TarvoDrag/DragSource.h"
#include "TarvoDrag/DragSourceDelegate.h"
#include "TarvoPlatform/ApplicationDirectory.h"
#include "TarvoPlatform/SystemClock.h"
#include "TarvoPlatform/memory/MemoryAccessibility.h"
#include "TarvoPlatform/x11/X11Connection.h"
#include "TarvoPlatform/x11/X11DragSession.h"
#include "TarvoPlatform/x11/X11InputState.h"
#include "TarvoPlatform/x11/X11WindowList.h"
#include "TarvoPlatform/x11/X11Workspace.h"

#include "support/TempDir.h"
#include "support/X11TestTools.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QScreen>

#include <optional>
#include <vector>

namespace tarvo::test {

// A destination program, with what it printed.
class Destination final {
public:
    void start(const QString& program, const QStringList& arguments) {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program, arguments);
    }
    ~Destination() {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
    std::optional<QPoint> ready() {
        if (!waitFor([this] { return read(), m_centre.has_value(); }, 15000))
            return std::nullopt;
        return m_centre;
    }
    // Lines since the last take.
    QStringList take() {
        read();
        QStringList lines = m_lines;
        m_lines.clear();
        return lines;
    }
    // Waits for a line that starts with `prefix`; consumes lines up to it.
    std::optional<QString> waitForLine(const QString& prefix, int ms = 8000) {
        std::optional<QString> found;
        waitFor(
            [&] {
                read();
                while (!m_lines.isEmpty()) {
                    const QString line = m_lines.takeFirst();
                    m_seen.append(line);
                    if (line.startsWith(prefix)) {
                        found = line;
                        return true;
                    }
                }
                return false;
            },
            ms);
        return found;
    }
    QStringList seen() {
        read();
        return m_seen + m_lines;
    }
    void forget() {
        take();
        m_seen.clear();
    }

private:
    void read() {
        while (m_process.canReadLine()) {
            const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
            const QStringList parts = line.split(u' ');
            if (parts.value(0) == QLatin1String("ready") && !m_centre)
                m_centre = QPoint(parts.value(1).toInt(), parts.value(2).toInt());
            else
                m_lines.append(line);
        }
    }
    QProcess m_process;
    QStringList m_lines;
    QStringList m_seen;
    std::optional<QPoint> m_centre;
};
struct Delegate final : DragSourceDelegate {
    void dragSource(DragSource&, const ResolvedDestination& destination,
                    const Delivery& delivery) override {
        changes.emplace_back(destination, delivery);
    }
    void dragSource(DragSource&, QPointF) override { ++moves; }
    void dragSourceDidEnd(DragSource&, QPointF, DragOperation operation) override {
        ended = operation;
    }
    void dragSource(DragSource&, const QString& folder) override { folders.push_back(folder); }

    std::vector<std::pair<ResolvedDestination, Delivery>> changes;
    int moves = 0;
    std::optional<DragOperation> ended;
    std::vector<QString> folders;
};
inline std::vector<Rect> screenFrames() {
    std::vector<Rect> frames;
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty())
        return frames;
    const QRect first = screens.front()->geometry();
    const double top = first.y() + first.height();
    for (const QScreen* screen : screens) {
        const QRect g = screen->geometry();
        frames.push_back(
            Rect{double(g.x()), top - (g.y() + g.height()), double(g.width()), double(g.height())});
    }
    return frames;
}
class DragOutWorld : public ::testing::Test {
protected:
    // The shelf's side, with the applications described in `applicationFolders`.
    void build(const QStringList& applicationFolders) {
        ASSERT_TRUE(m_hand.ok());
        m_connection = X11Connection::open();
        ASSERT_TRUE(m_connection);
        m_input = std::make_unique<X11InputState>(*m_connection);
        m_applications = std::make_unique<ApplicationDirectory>(applicationFolders);
        ASSERT_TRUE(m_applications->refreshAndWait());
        m_lister = std::make_unique<X11WindowList>(*m_connection);
        m_workspace = std::make_unique<X11Workspace>(*m_connection, *m_applications);
        m_resolver = std::make_unique<DestinationResolver>(*m_lister, AppCategoryMap{},
                                                           DestinationResolver::throttle,
                                                           *m_workspace, m_accessibility);
        m_defaults = std::make_unique<UserDefaults>(m_dir.file("settings.ini"));
        m_preferences = std::make_unique<Preferences>(*m_defaults);
        m_store = std::make_unique<ItemStore>(m_dir.file("Items"));
        m_rules = std::make_unique<RuleEngine>(DefaultRules::all(), AppCategoryMap{});
        m_coordinator = std::make_unique<DeliveryCoordinator>(
            *m_store, *m_rules, m_engine, m_undoLog, *m_preferences, m_dir.file("work"),
            *m_applications, m_clock);
        m_sessions = std::make_unique<X11DragSessions>(*m_connection, m_clock);
    }
    void TearDown() override {
        m_source.reset();
        pump(100);
    }

    Item photo(int side = 64, bool noise = false) {
        QImage picture(side, side, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        if (noise) {
            for (int y = 0; y < side; ++y)
                for (int x = 0; x < side; ++x)
                    picture.setPixel(x, y, QRandomGenerator::global()->generate() | 0xff000000u);
        }
        Item item;
        item.id = QUuid::createUuid();
        item.payload = ItemPayload::image(QStringLiteral("photo.png"));
        item.displayName = QStringLiteral("photo.png");
        item.addedAt = m_clock.now();
        const QString folder = m_store->makeItemDirectory(item.id);
        EXPECT_TRUE(picture.save(folder + "/photo.png", "PNG"));
        item.contentHash = ContentHash::ofPath(folder + "/photo.png");
        EXPECT_TRUE(m_store->add(item).is<ItemStore::AddResult::Added>());
        return item;
    }
    QString stored(const Item& item) const { return *item.payloadURL(m_store->root()); }

    // A text item.
    Item textItem(const QString& text) {
        Item item;
        item.id = QUuid::createUuid();
        item.payload = ItemPayload::text(text);
        item.displayName = text.section(u'\n', 0, 0);
        item.addedAt = m_clock.now();
        item.contentHash = ContentHash::ofString(text);
        m_store->makeItemDirectory(item.id);
        EXPECT_TRUE(m_store->add(item).is<ItemStore::AddResult::Added>());
        return item;
    }
    // A link item.
    Item linkItem(const QUrl& url, std::optional<QString> title) {
        Item item;
        item.id = QUuid::createUuid();
        item.payload = ItemPayload::url(url, title);
        item.displayName = title.value_or(url.host());
        item.addedAt = m_clock.now();
        item.contentHash = ContentHash::ofString(url.toString(QUrl::FullyEncoded));
        m_store->makeItemDirectory(item.id);
        EXPECT_TRUE(m_store->add(item).is<ItemStore::AddResult::Added>());
        return item;
    }
    // A file item holding `bytes` under `name`.
    Item fileItem(const QString& name, const QByteArray& bytes) {
        Item item;
        item.id = QUuid::createUuid();
        item.payload = ItemPayload::file(name);
        item.displayName = name;
        item.addedAt = m_clock.now();
        const QString path = m_store->makeItemDirectory(item.id) + u'/' + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        item.contentHash = ContentHash::ofPath(path);
        EXPECT_TRUE(m_store->add(item).is<ItemStore::AddResult::Added>());
        return item;
    }
    // Presses on the shelf at `shelf` and starts dragging `items` out of it.
    void begin(std::vector<Item> items, QPoint shelf) {
        m_hand.moveTo(shelf);
        pump(150);
        m_hand.button(true);
        pump(150);
        m_rules->beginDrag();
        m_source = std::make_unique<DragSource>(
            std::move(items), *m_coordinator, *m_resolver,
            DeliveryCoordinator::Modifiers(m_input->modifierFlags()),
            DragSource::Platform{*m_sessions, *m_input, m_clock, screenFrames});
        m_source->setDelegate(&m_delegate);
        m_source->beginSession(QPointF(0, 0), [](const Item&) {
            QImage image(56, 56, QImage::Format_ARGB32);
            image.fill(Qt::darkCyan);
            return std::optional(image);
        });
        ASSERT_TRUE(m_source->sessionActive());
        pump(100);
    }
    // Lets go and waits for the drag to end.
    void release() {
        m_hand.button(false);
        EXPECT_TRUE(waitFor([this] { return m_delegate.ended.has_value(); }, 8000))
            << "the drag never ended";
        m_rules->endDrag();
    }

    test::TempDir m_dir;
    // Each glide settles at its end, so the destination has seen it.
    XTestHand m_hand{{16, 20, 150}};
    SystemClock m_clock;
    MemoryAccessibility m_accessibility;
    ConversionEngine m_engine{2};
    UndoLog m_undoLog;
    std::unique_ptr<X11Connection> m_connection;
    std::unique_ptr<X11InputState> m_input;
    std::unique_ptr<ApplicationDirectory> m_applications;
    std::unique_ptr<X11WindowList> m_lister;
    std::unique_ptr<X11Workspace> m_workspace;
    std::unique_ptr<DestinationResolver> m_resolver;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<ItemStore> m_store;
    std::unique_ptr<RuleEngine> m_rules;
    std::unique_ptr<DeliveryCoordinator> m_coordinator;
    std::unique_ptr<X11DragSessions> m_sessions;
    Delegate m_delegate;
    std::unique_ptr<DragSource> m_source;
};

} // namespace tarvo::test
