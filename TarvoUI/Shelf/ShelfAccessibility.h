#pragma once

#include <QString>

class QWidget;

namespace tarvo {

class TarvoView;

// Where the shelf's spoken announcements go: the accessibility bridge in the
// program, a recording in tests.
class Announcer {
public:
    virtual ~Announcer() = default;
    virtual void announce(QWidget& source, const QString& text) = 0;
};

// Announces through the accessibility bridge. Qt offers no announcement
// event here, so the text becomes the view's description and a description
// change goes out, which the AT-SPI bridge forwards to screen readers.
class AccessibleAnnouncer final : public Announcer {
public:
    void announce(QWidget& source, const QString& text) override;
};

namespace ShelfAccessibility {

// Makes every shelf view publish one accessible element per item with a
// slot, inside the view's own element. Safe to call more than once.
void install();

} // namespace ShelfAccessibility

} // namespace tarvo
