#pragma once

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
#include "TarvoPlatform/InputState.h"
#include "TarvoPlatform/TypeMapping.h"
#include "TarvoPlatform/memory/FakeClock.h"
#include "TarvoPlatform/memory/MemoryAccessibility.h"
#include "TarvoPlatform/memory/MemoryDragSession.h"
#include "TarvoPlatform/memory/MemoryInputState.h"
#include "TarvoPlatform/memory/MemoryWindowList.h"
#include "TarvoPlatform/memory/MemoryWorkspace.h"

#include "support/ItemFactory.h"
#include "support/RecordingLogSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>

#include <memory>

namespace tarvo::test {

// Everything a drag delegate hears, in order.
class RecordingDragDelegate final : public DragSourceDelegate {
public:
    struct Change {
        ResolvedDestination destination;
        Delivery delivery;
    };
    void dragSource(DragSource&, const ResolvedDestination& destination,
                    const Delivery& delivery) override {
        changes.push_back({destination, delivery});
    }
    void dragSource(DragSource&, QPointF point) override { moves.push_back(point); }
    void dragSourceDidEnd(DragSource& source, QPointF point, DragOperation operation) override {
        endedAt = point;
        endedWith = operation;
        workFolderAtEnd = QDir(source.workDirectory()).exists();
        if (onEnd)
            onEnd();
    }
    void dragSource(DragSource&, const QString& folder) override { folders.push_back(folder); }

    std::vector<Change> changes;
    std::vector<QPointF> moves;
    std::optional<QPointF> endedAt;
    std::optional<DragOperation> endedWith;
    bool workFolderAtEnd = false;
    std::vector<QString> folders;
    std::function<void()> onEnd;
};

// One drag out of a store in a temporary folder, with the built-in rules, the
// real conversion engine and coordinator, and the platform in memory: a
// browser window on the left half of a 1000 x 1000 screen and a terminal on
// the right half.
class DragOutFixture : public ::testing::Test {
protected:
    static inline const QString browserID = QStringLiteral("firefox");
    static inline const QString terminalID = QStringLiteral("xterm");
    static constexpr qint32 browserPID = 100;
    static constexpr qint32 terminalPID = 200;
    // Screen points (y upwards) over each window.
    static constexpr QPointF overBrowser{250, 750};
    static constexpr QPointF overTerminal{750, 750};
    static constexpr QPointF overNothing{250, 250};

    DragOutFixture() : DragOutFixture(&ConversionEngine::perform) {}
    // Every conversion of the drag goes through `performer`.
    explicit DragOutFixture(ConversionEngine::Performer performer)
        : store(dir.file("Items")), rules(DefaultRules::all(), AppCategoryMap{}),
          engine(2, std::move(performer)), defaults(dir.file("settings.ini")),
          preferences(defaults), applications(QStringList{dir.file("applications")}),
          coordinator(store, rules, engine, undoLog, preferences, dir.file("work"), applications,
                      clock),
          resolver(windows, AppCategoryMap{}, DestinationResolver::throttle, workspace,
                   accessibility) {
        windows.setWindows({
            WindowInfo{browserPID, Rect{0, 0, 500, 500}, 0, 1},
            WindowInfo{terminalPID, Rect{500, 0, 500, 500}, 0, 2},
        });
        workspace.addProcess(browserPID, browserID);
        workspace.addProcess(terminalPID, terminalID);
    }

    ~DragOutFixture() override { source.reset(); }

    static ResolvedDestination browser() {
        return ResolvedDestination{browserID, AppCategory::browser, std::nullopt};
    }
    static ResolvedDestination terminal() {
        return ResolvedDestination{terminalID, AppCategory::terminalOrEditor, std::nullopt};
    }
    static Delivery browserJPEG() { return Delivery::image({ImageFormat::jpeg, 2000, 0.85, true}); }

    Item fileItem(const QString& name, const QByteArray& bytes, bool isImage = false) {
        return addFileItem(store, name, bytes, isImage, clock.now());
    }

    // Each call gives another picture, so items never collide as duplicates.
    QByteArray pngBytes(int side = 8) {
        QImage picture(side, side, QImage::Format_RGB32);
        picture.fill(QColor::fromRgb(static_cast<QRgb>(0xff000000u | ++m_pictures)));
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "PNG");
        return bytes;
    }

    Item pngItem(const QString& name = QStringLiteral("photo.png")) {
        return fileItem(name, pngBytes(), true);
    }

    Item textItem(const QString& text) { return addTextItem(store, text, clock.now()); }

    Item urlItem(const QUrl& url) { return addUrlItem(store, url, clock.now()); }

    QString stored(const Item& item) const { return *item.payloadURL(store.root()); }
    QByteArray storedBytes(const Item& item) const {
        QFile file(stored(item));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // A drag source for `items`, its session begun unless told otherwise.
    DragSource& drag(std::vector<Item> items, bool begin = true,
                     DeliveryCoordinator::Modifiers modifiers = {}) {
        rules.beginDrag();
        source = std::make_unique<DragSource>(
            std::move(items), coordinator, resolver, modifiers,
            DragSource::Platform{sessions, input, clock, [] {
                                     return std::vector<Rect>{Rect{0, 0, 1000, 1000}};
                                 }});
        source->setDelegate(&delegate);
        if (begin)
            source->beginSession(QPointF(10, 10), nullptr);
        return *source;
    }

    MemoryDragSession& session() { return *sessions.current(); }

    // Moves on by more than the resolver's interval, so each move resolves anew.
    DragOperationMask moveTo(QPointF point, std::optional<QString> target = std::nullopt) {
        clock.advance(1.0);
        return session().moveTo(point, std::move(target));
    }

    std::optional<QByteArray> read(std::size_t index, const QString& type,
                                   DataRequestPhase phase = DataRequestPhase::drop) {
        return MemoryDragSession::bytes(session().requestData(index, type, phase));
    }

    static QString type(QLatin1String identifier) { return QString(identifier); }

    TempDir dir;
    FakeClock clock;
    ItemStore store;
    RuleEngine rules;
    ConversionEngine engine;
    UndoLog undoLog;
    UserDefaults defaults;
    Preferences preferences;
    ApplicationDirectory applications;
    DeliveryCoordinator coordinator;
    MemoryWindowList windows;
    MemoryWorkspace workspace;
    MemoryAccessibility accessibility;
    DestinationResolver resolver;
    MemoryInputState input;
    MemoryDragSessions sessions;
    RecordingDragDelegate delegate;
    std::unique_ptr<DragSource> source;

private:
    quint32 m_pictures = 0;
};

} // namespace tarvo::test
