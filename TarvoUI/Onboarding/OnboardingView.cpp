#include "OnboardingView.h"

#include "GeneralTab.h"
#include "OnboardingArt.h"

#include "TarvoCore/L10n.h"
#include "TarvoShape.h"

#include <QApplication>
#include <QDrag>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tarvo {

namespace {

// The shelf's smooth-cornered rectangle in widget coordinates (it is the same
// shape with y downwards).
QPainterPath cardShape(const QRectF& rect, double radius) {
    return TarvoShape::squircle(Rect{rect.x(), rect.y(), rect.width(), rect.height()}, radius);
}

// The sizes below are in the window's points, which Qt calls pixels.
QFont sized(double points, QFont::Weight weight = QFont::Normal) {
    QFont font = QApplication::font();
    font.setPointSizeF(points * 0.75);
    font.setWeight(weight);
    return font;
}

QColor faded(QColor color, double opacity) {
    color.setAlphaF(static_cast<float>(color.alphaF() * opacity));
    return color;
}

// QPainter casts no shadows: the shape is drawn small and scaled up
// smoothly, which blurs it by about `blur` points.
void drawShadow(QPainter& painter, const QPainterPath& shape, const QColor& color, double blur,
                QPointF offset) {
    const QRectF bounds = shape.boundingRect().adjusted(-2 * blur, -2 * blur, 2 * blur, 2 * blur);
    const double scale = std::clamp(2.0 / std::max(blur, 1.0), 0.05, 1.0);
    QImage small(std::max(1, qRound(bounds.width() * scale)),
                 std::max(1, qRound(bounds.height() * scale)), QImage::Format_ARGB32_Premultiplied);
    small.fill(Qt::transparent);
    {
        QPainter p(&small);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(scale, scale);
        p.translate(-bounds.topLeft());
        p.fillPath(shape, color);
    }
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(bounds.translated(offset), small);
    painter.restore();
}

QPainterPath capsule(const QRectF& rect) {
    QPainterPath path;
    path.addRoundedRect(rect, rect.height() / 2, rect.height() / 2);
    return path;
}

// Small drawn symbols for the delivery rows, so they look the same whatever
// icon theme the desktop has.
void drawSymbol(QPainter& painter, int row, const QRectF& box, const QColor& color) {
    painter.save();
    QPen pen(color, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const QPointF c = box.center();
    if (row == 0) {
        // A terminal: a window with a prompt.
        const QRectF window(c.x() - 8, c.y() - 6.5, 16, 13);
        painter.drawRoundedRect(window, 2.5, 2.5);
        painter.drawPolyline(QPolygonF{QPointF(window.left() + 3.5, window.top() + 4),
                                       QPointF(window.left() + 6.5, window.top() + 6.5),
                                       QPointF(window.left() + 3.5, window.top() + 9)});
        painter.drawLine(QPointF(window.left() + 8, window.top() + 9.5),
                         QPointF(window.left() + 12, window.top() + 9.5));
    } else if (row == 1) {
        // A paper plane.
        QPainterPath plane;
        plane.moveTo(c.x() - 8, c.y() - 1);
        plane.lineTo(c.x() + 8, c.y() - 7);
        plane.lineTo(c.x() + 2, c.y() + 8);
        plane.lineTo(c.x() - 1, c.y() + 1);
        plane.closeSubpath();
        painter.drawPath(plane);
        painter.drawLine(QPointF(c.x() - 1, c.y() + 1), QPointF(c.x() + 8, c.y() - 7));
    } else {
        // A folder.
        QPainterPath folder;
        folder.moveTo(c.x() - 8, c.y() - 5);
        folder.lineTo(c.x() - 3, c.y() - 5);
        folder.lineTo(c.x() - 1, c.y() - 3);
        folder.lineTo(c.x() + 8, c.y() - 3);
        folder.lineTo(c.x() + 8, c.y() + 6);
        folder.lineTo(c.x() - 8, c.y() + 6);
        folder.closeSubpath();
        painter.drawPath(folder);
    }
    painter.restore();
}

// Where delivered items go in the third step; plain words, not translated.
struct Route {
    const char* application;
    const char* receives;
};
constexpr Route routes[] = {
    {"Terminal", "the path"},
    {"Slack", "an upload"},
    {"Files", "the file"},
};
const char* const toggleCaption = "Toggle the shelf";
const char* const takenCaption = "Taken: choose another";
const char* const clickCaption = "Click the tab at the top";

// The card or hero occupies this part of the stage; the rest leaves room for
// the card's shadow.
QRectF cardRect(const QWidget* stage) {
    return QRectF((stage->width() - OnboardingStage::stageWidth) / 2.0, 4,
                  OnboardingStage::stageWidth, OnboardingStage::stageHeight);
}

} // namespace

OnboardingStage::OnboardingStage(OnboardingModel& model, QWidget* parent)
    : QWidget(parent), m_model(model) {
    setObjectName(QStringLiteral("stage"));
    setFixedSize(OnboardingMetrics::width, stageHeight + 26);
    connect(&model, &OnboardingModel::stepChanged, this, [this] { update(); });
    connect(&model, &OnboardingModel::sampleLandedChanged, this, [this] { update(); });
    connect(&model, &OnboardingModel::shortcutKeysChanged, this, [this] { update(); });
    connect(&model, &OnboardingModel::shortcutProblemChanged, this, [this] { update(); });
}

bool OnboardingStage::sampleDraggable() const {
    return m_model.step() == OnboardingModel::Step::tryIt;
}

double OnboardingStage::sampleOpacity() const {
    return sampleDraggable() && m_model.sampleLanded() ? 0.25 : 1.0;
}

QRect OnboardingStage::sampleRect() const {
    const QRectF card = cardRect(this);
    // The icon, 9 points and the label's capsule, centred together.
    const double labelHeight = QFontMetricsF(sized(12, QFont::DemiBold)).height() + 10;
    const double top = card.center().y() - (88 + 9 + labelHeight) / 2;
    return QRectF(card.center().x() - 44, top, 88, 88).toRect();
}

QStringList OnboardingStage::paintedTexts(const OnboardingModel& model) {
    switch (model.step()) {
    case OnboardingModel::Step::welcome:
        return {};
    case OnboardingModel::Step::tryIt:
        return {OnboardingSample::fileName()};
    case OnboardingModel::Step::route: {
        QStringList texts;
        for (const Route& route : routes)
            texts << QLatin1String(route.application) << QLatin1String(route.receives);
        return texts;
    }
    case OnboardingModel::Step::open:
        return model.shortcutKeys() +
               QStringList{
                   QLatin1String(model.shortcutProblem().isEmpty() ? toggleCaption : takenCaption),
                   QLatin1String(clickCaption)};
    }
    return {};
}

void OnboardingStage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    switch (m_model.step()) {
    case OnboardingModel::Step::welcome:
    case OnboardingModel::Step::tryIt:
        paintHero(painter);
        break;
    case OnboardingModel::Step::route:
        paintCard(painter);
        paintRoutes(painter);
        break;
    case OnboardingModel::Step::open:
        paintCard(painter);
        paintWays(painter);
        break;
    }
}

void OnboardingStage::paintHero(QPainter& painter) {
    const QRectF card = cardRect(this);
    painter.save();
    painter.setClipPath(cardShape(card, 22));
    // Scaled to fill: the picture is a little taller than the stage.
    const QImage& hero = SilkAssets::hero();
    const double scale = std::max(card.width() / hero.width(), card.height() / hero.height());
    const QSizeF drawn(hero.width() * scale, hero.height() * scale);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(card.center() - QPointF(drawn.width() / 2, drawn.height() / 2), drawn),
                      hero);
    painter.restore();

    if (m_model.step() == OnboardingModel::Step::welcome) {
        paintWelcome(painter);
        return;
    }
    painter.save();
    painter.setOpacity(sampleOpacity());
    const QRectF icon = sampleRect();
    drawShadow(painter, cardShape(icon.adjusted(2, 2, -2, -2), 0.22 * 84),
               QColor::fromRgbF(0, 0, 0, 0.25f), 10, QPointF(0, 5));
    painter.drawPixmap(icon.toRect(), OnboardingSample::icon(88, devicePixelRatioF()));

    const QFont labelFont = sized(12, QFont::DemiBold);
    const QFontMetricsF metrics(labelFont);
    const QString label = OnboardingSample::fileName();
    const QRectF pill(card.center().x() - (metrics.horizontalAdvance(label) + 24) / 2,
                      icon.bottom() + 9, metrics.horizontalAdvance(label) + 24,
                      metrics.height() + 10);
    painter.fillPath(capsule(pill), QColor::fromRgbF(1, 1, 1, 0.85f));
    painter.setFont(labelFont);
    painter.setPen(OB::ink());
    painter.drawText(pill, Qt::AlignCenter, label);
    painter.restore();
}

void OnboardingStage::paintWelcome(QPainter& painter) {
    // The welcome is the shelf itself: its dark island hanging from the top
    // of the picture, holding three items, the middle one the sample.
    const QRectF card = cardRect(this);
    painter.save();
    painter.setClipPath(cardShape(card, 22));
    const QRectF island(card.center().x() - 150, card.top() - 22, 300, 128);
    drawShadow(painter, cardShape(island, 30), QColor::fromRgbF(0, 0, 0, 0.3f), 14, QPointF(0, 8));
    painter.fillPath(cardShape(island, 30), QColor::fromRgbF(0.08f, 0.08f, 0.09f));
    const double tile = 64;
    const double gap = 18;
    double x = island.center().x() - (3 * tile + 2 * gap) / 2;
    const double y = island.bottom() - tile - 20;
    const QPixmap sample = OnboardingSample::icon(int(tile), devicePixelRatioF());
    for (int i = 0; i < 3; ++i, x += tile + gap) {
        const QRectF slot(x, y, tile, tile);
        if (i == 1) {
            painter.drawPixmap(slot.toRect(), sample);
        } else {
            painter.fillPath(cardShape(slot.adjusted(4, 4, -4, -4), 12),
                             QColor::fromRgbF(1, 1, 1, i == 0 ? 0.16f : 0.10f));
        }
    }
    painter.restore();
}

void OnboardingStage::paintCard(QPainter& painter) {
    const QRectF card = cardRect(this);
    const QPainterPath shape = cardShape(card, 22);
    drawShadow(painter, shape, QColor::fromRgbF(0, 0, 0, 0.06f), 18, QPointF(0, 8));
    painter.fillPath(shape, OB::card());
}

void OnboardingStage::paintRoutes(QPainter& painter) {
    const QRectF card = cardRect(this);
    const double rowHeight = 34;
    const double spacing = 13;
    const double total = 3 * rowHeight + 2 * spacing;
    double y = card.center().y() - total / 2;
    const QFont nameFont = sized(13.5, QFont::DemiBold);
    QFont receivesFont = sized(12.5, QFont::DemiBold);
    receivesFont.setStyleHint(QFont::Monospace);
    receivesFont.setFamily(QStringLiteral("monospace"));
    const QPixmap icon = OnboardingSample::icon(34, devicePixelRatioF());
    for (int row = 0; row < 3; ++row, y += rowHeight + spacing) {
        double x = card.left() + 34;
        const QRectF iconRect(x, y, 34, 34);
        painter.save();
        painter.setClipPath(cardShape(iconRect, 8));
        painter.drawPixmap(iconRect.toRect(), icon);
        painter.restore();
        x += 34 + 13;
        // An arrow drawn, not typed: the fonts' arrows come out too small.
        const double arrowWidth = 12;
        painter.save();
        painter.setPen(QPen(OB::muted(), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        const double mid = y + rowHeight / 2;
        painter.drawLine(QPointF(x, mid), QPointF(x + arrowWidth, mid));
        painter.drawPolyline(QPolygonF{QPointF(x + arrowWidth - 4, mid - 4),
                                       QPointF(x + arrowWidth, mid),
                                       QPointF(x + arrowWidth - 4, mid + 4)});
        painter.restore();
        x += arrowWidth + 13;
        drawSymbol(painter, row, QRectF(x, y, 22, rowHeight), OB::ink());
        x += 22 + 13;
        painter.setFont(nameFont);
        painter.setPen(OB::ink());
        painter.drawText(QRectF(x, y, 76, rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         QLatin1String(routes[row].application));
        const QString receives = QLatin1String(routes[row].receives);
        const QFontMetricsF metrics(receivesFont);
        const double pillWidth = metrics.horizontalAdvance(receives) + 22;
        const double pillHeight = metrics.height() + 10;
        const QRectF pill(card.right() - 34 - pillWidth, y + (rowHeight - pillHeight) / 2,
                          pillWidth, pillHeight);
        painter.fillPath(capsule(pill), faded(OB::cobalt(), 0.1));
        painter.setFont(receivesFont);
        painter.setPen(OB::cobalt());
        painter.drawText(pill, Qt::AlignCenter, receives);
    }
}

void OnboardingStage::paintWays(QPainter& painter) {
    const QRectF card = cardRect(this);
    const double wayWidth = 176;
    const double spacing = 34;
    const double artHeight = 46;
    const QFont captionFont = sized(13, QFont::DemiBold);
    const double captionHeight = QFontMetricsF(captionFont).height();
    const double blockHeight = std::max(artHeight + 14 + captionHeight, 84.0);
    const double top = card.center().y() - blockHeight / 2;
    const double left = card.center().x() - (2 * wayWidth + 2 * spacing + 1) / 2;

    // First way: the shortcut's keys.
    QFont capFont = sized(15, QFont::DemiBold);
    const QFontMetricsF capMetrics(capFont);
    const QStringList keys = m_model.shortcutKeys();
    std::vector<double> widths;
    double row = 0;
    for (const QString& key : keys) {
        const bool wide = key == QLatin1String("Space");
        const double width =
            std::max(wide ? 74.0 : 42.0, std::ceil(capMetrics.horizontalAdvance(key)) + 20);
        widths.push_back(width);
        row += width;
    }
    row += 7 * std::max<qsizetype>(keys.size() - 1, 0);
    double x = left + wayWidth / 2 - row / 2;
    const bool taken = !m_model.shortcutProblem().isEmpty();
    const double keysLeft = x;
    painter.save();
    // A taken shortcut does nothing here: its keys are drawn faded.
    if (taken)
        painter.setOpacity(0.4);
    painter.setFont(capFont);
    for (qsizetype i = 0; i < keys.size(); ++i) {
        const QRectF cap(x, top + (artHeight - 42) / 2, widths[size_t(i)], 42);
        QPainterPath shape = cardShape(cap, 10);
        drawShadow(painter, shape, QColor::fromRgbF(0, 0, 0, 0.14f), 4, QPointF(0, 2));
        painter.fillPath(shape, Qt::white);
        painter.setPen(OB::ink());
        painter.drawText(cap, Qt::AlignCenter, keys[i]);
        x += widths[size_t(i)] + 7;
    }
    painter.restore();
    if (taken) {
        painter.save();
        painter.setPen(QPen(OB::warning(), 2.4, Qt::SolidLine, Qt::RoundCap));
        const double y = top + artHeight / 2;
        painter.drawLine(QPointF(keysLeft - 6, y), QPointF(x - 1, y));
        painter.restore();
    }
    painter.setFont(captionFont);
    painter.setPen(taken ? OB::warning() : OB::ink());
    painter.drawText(QRectF(left, top + artHeight + 14, wayWidth, captionHeight), Qt::AlignCenter,
                     QLatin1String(taken ? takenCaption : toggleCaption));

    // The divider.
    const double dividerX = left + wayWidth + spacing;
    painter.fillRect(QRectF(dividerX, card.center().y() - 42, 1, 84), faded(OB::ink(), 0.08));

    // Second way: the tab hanging from the top of the screen.
    const double secondLeft = dividerX + 1 + spacing;
    const double centreX = secondLeft + wayWidth / 2;
    const QRectF bar(centreX - 54, top + 4, 108, 8);
    painter.fillPath(cardShape(bar, 3), faded(OB::ink(), 0.1));
    QPainterPath tab;
    const QRectF tabRect(centreX - 37, top, 74, 26);
    const double r = 11;
    tab.moveTo(tabRect.topLeft());
    tab.lineTo(tabRect.topRight());
    tab.lineTo(tabRect.right(), tabRect.bottom() - r);
    tab.quadTo(tabRect.bottomRight(), QPointF(tabRect.right() - r, tabRect.bottom()));
    tab.lineTo(tabRect.left() + r, tabRect.bottom());
    tab.quadTo(tabRect.bottomLeft(), QPointF(tabRect.left(), tabRect.bottom() - r));
    tab.closeSubpath();
    painter.fillPath(tab, OB::ink());
    painter.setPen(OB::ink());
    painter.drawText(QRectF(secondLeft, top + artHeight + 14, wayWidth, captionHeight),
                     Qt::AlignCenter, QLatin1String(clickCaption));
}

void OnboardingStage::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && sampleDraggable() &&
        sampleRect().contains(event->position().toPoint()))
        m_pressedAt = event->position().toPoint();
    QWidget::mousePressEvent(event);
}

void OnboardingStage::mouseMoveEvent(QMouseEvent* event) {
    if (!m_pressedAt || !(event->buttons() & Qt::LeftButton))
        return;
    if ((event->position().toPoint() - *m_pressedAt).manhattanLength() <
        QApplication::startDragDistance())
        return;
    m_pressedAt.reset();
    // The sample goes out as a file, like any dragged from a file manager.
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(OnboardingSample::filePath())});
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->setPixmap(OnboardingSample::icon(88, devicePixelRatioF()));
    drag->setHotSpot(QPoint(44, 44));
    OnboardingModel& model = m_model;
    model.sampleDragChanged(true);
    drag->exec(Qt::CopyAction);
    model.sampleDragChanged(false);
}

void OnboardingStage::mouseReleaseEvent(QMouseEvent* event) {
    m_pressedAt.reset();
    QWidget::mouseReleaseEvent(event);
}

OnboardingDots::OnboardingDots(OnboardingModel& model, QWidget* parent)
    : QWidget(parent), m_model(model), m_from(static_cast<int>(model.step())) {
    setObjectName(QStringLiteral("dots"));
    m_slide.setDuration(200);
    m_slide.setEasingCurve(QEasingCurve::InOutQuad);
    m_slide.setStartValue(0.0);
    m_slide.setEndValue(1.0);
    connect(&m_slide, &QVariantAnimation::valueChanged, this, [this] { update(); });
    connect(&m_slide, &QVariantAnimation::finished, this,
            [this] { m_from = static_cast<int>(m_model.step()); });
    connect(&model, &OnboardingModel::stepChanged, this, [this] {
        if (m_slide.state() == QAbstractAnimation::Running)
            m_slide.stop();
        m_slide.start();
    });
    setFixedSize(sizeHint());
}

QSize OnboardingDots::sizeHint() const {
    return {18 + 3 * 7 + 3 * 7, 7};
}

void OnboardingDots::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double t =
        m_slide.state() == QAbstractAnimation::Running ? m_slide.currentValue().toDouble() : 1.0;
    const int to = static_cast<int>(m_model.step());
    double x = 0;
    for (int i = 0; i < OnboardingModel::totalSteps; ++i) {
        const double before = i == m_from ? 1 : 0;
        const double after = i == to ? 1 : 0;
        const double current = before + (after - before) * t;
        const double width = 7 + 11 * current;
        painter.fillPath(capsule(QRectF(x, 0, width, 7)), faded(OB::ink(), 0.16 + 0.84 * current));
        x += width + 7;
    }
}

OnboardingView::OnboardingView(OnboardingModel& model, QWidget* parent)
    : QWidget(parent), m_model(model) {
    setObjectName(QStringLiteral("onboardingView"));
    setFixedSize(OnboardingMetrics::width, OnboardingMetrics::height);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, OB::paper());
    setPalette(colours);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);
    page->addSpacerItem(new QSpacerItem(0, 16, QSizePolicy::Minimum, QSizePolicy::Expanding));
    m_stage = new OnboardingStage(model);
    page->addWidget(m_stage, 0, Qt::AlignHCenter);

    m_title = new QLabel;
    m_title->setObjectName(QStringLiteral("title"));
    // The desktop's own font family, as everywhere else in the program.
    m_title->setFont(sized(27));
    m_title->setAlignment(Qt::AlignCenter);
    QPalette inkText = m_title->palette();
    inkText.setColor(QPalette::WindowText, OB::ink());
    m_title->setPalette(inkText);
    page->addWidget(m_title, 0, Qt::AlignHCenter);

    m_body = new QLabel;
    m_body->setObjectName(QStringLiteral("body"));
    m_body->setFont(sized(13.5));
    m_body->setWordWrap(true);
    m_body->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_body->setFixedWidth(452);
    m_body->setContentsMargins(0, 8, 0, 0);
    QPalette mutedText = m_body->palette();
    mutedText.setColor(QPalette::WindowText, OB::muted());
    m_body->setPalette(mutedText);
    page->addWidget(m_body, 0, Qt::AlignHCenter);

    // A taken shortcut: who holds it, and the settings' recorder for another.
    m_shortcutRow = new QWidget;
    m_shortcutRow->setObjectName(QStringLiteral("shortcutTaken"));
    m_shortcutRow->setFixedWidth(500);
    auto* shortcutLayout = new QHBoxLayout(m_shortcutRow);
    shortcutLayout->setContentsMargins(0, 10, 0, 0);
    shortcutLayout->setSpacing(12);
    m_shortcutProblem = new QLabel;
    m_shortcutProblem->setObjectName(QStringLiteral("shortcutProblem"));
    m_shortcutProblem->setFont(sized(12.5));
    m_shortcutProblem->setWordWrap(true);
    QPalette warningText = m_shortcutProblem->palette();
    warningText.setColor(QPalette::WindowText, OB::warning());
    m_shortcutProblem->setPalette(warningText);
    shortcutLayout->addWidget(m_shortcutProblem, 1);
    m_recorder = new HotkeyRecorder;
    m_recorder->setFont(sized(13, QFont::DemiBold));
    m_recorder->onRecorded = [this](const HotkeySpec& spec) {
        if (m_model.onShortcutRecorded)
            m_model.onShortcutRecorded(spec);
    };
    shortcutLayout->addWidget(m_recorder, 0, Qt::AlignVCenter);
    page->addWidget(m_shortcutRow, 0, Qt::AlignHCenter);
    page->addSpacerItem(new QSpacerItem(0, 18, QSizePolicy::Minimum, QSizePolicy::Expanding));

    m_dots = new OnboardingDots(model);
    page->addWidget(m_dots, 0, Qt::AlignHCenter);
    page->addSpacing(18);

    auto* footer = new QHBoxLayout;
    footer->setContentsMargins(30, 0, 30, 24);
    // Tab moves between the buttons; the one with the focus wears a ring.
    const QString ring =
        QStringLiteral("QPushButton:focus { border: 2px solid %1; }").arg(OB::cobalt().name());
    const QString plainStyle =
        QStringLiteral("QPushButton { border: 2px solid transparent; border-radius: 8px; "
                       "background: transparent; color: %1; padding: %2; }") +
        ring;
    m_back = new QPushButton(L10n::onboardingBack());
    m_back->setObjectName(QStringLiteral("back"));
    m_back->setFont(sized(14, QFont::DemiBold));
    m_back->setStyleSheet(plainStyle.arg(OB::muted().name(), QStringLiteral("11px 14px")));
    m_back->setFocusPolicy(Qt::TabFocus);
    m_back->setCursor(Qt::PointingHandCursor);
    footer->addWidget(m_back);
    footer->addStretch(1);
    m_primary = new QPushButton;
    m_primary->setObjectName(QStringLiteral("primary"));
    m_primary->setFont(sized(14, QFont::DemiBold));
    const int primaryHeight = qRound(QFontMetricsF(m_primary->font()).height()) + 24;
    m_primary->setStyleSheet(
        QStringLiteral("QPushButton { border: 2px solid %1; color: white; background: %1; "
                       "border-radius: %2px; padding: 10px 24px; }")
            .arg(OB::ink().name())
            .arg(primaryHeight / 2) +
        ring);
    m_primary->setFixedHeight(primaryHeight);
    m_primary->setFocusPolicy(Qt::TabFocus);
    m_primary->setCursor(Qt::PointingHandCursor);
    footer->addWidget(m_primary);
    page->addLayout(footer);

    m_skip = new QPushButton(L10n::onboardingSkip(), this);
    m_skip->setObjectName(QStringLiteral("skip"));
    m_skip->setFont(sized(12.5, QFont::Medium));
    m_skip->setStyleSheet(plainStyle.arg(OB::muted().name(), QStringLiteral("18px")));
    m_skip->setFocusPolicy(Qt::TabFocus);
    m_skip->setCursor(Qt::PointingHandCursor);

    connect(m_back, &QPushButton::clicked, this, [this] { m_model.back(); });
    connect(m_primary, &QPushButton::clicked, this, &OnboardingView::primary);
    connect(m_skip, &QPushButton::clicked, this, [this] { m_model.finish(); });
    setFocusPolicy(Qt::StrongFocus);
    connect(&model, &OnboardingModel::stepChanged, this, &OnboardingView::refresh);
    connect(&model, &OnboardingModel::sampleLandedChanged, this, &OnboardingView::refresh);
    connect(&model, &OnboardingModel::shortcutProblemChanged, this, &OnboardingView::refresh);
    refresh();
}

QString OnboardingView::titleText(const OnboardingModel& model) {
    switch (model.step()) {
    case OnboardingModel::Step::welcome:
        return L10n::onboarding1Title();
    case OnboardingModel::Step::tryIt:
        return model.sampleLanded() ? L10n::onboarding2Landed() : L10n::onboarding2Title();
    case OnboardingModel::Step::route:
        return L10n::onboarding3Title();
    case OnboardingModel::Step::open:
        return L10n::onboarding4Title();
    }
    return {};
}

QString OnboardingView::bodyText(const OnboardingModel& model) {
    switch (model.step()) {
    case OnboardingModel::Step::welcome:
        return L10n::onboarding1Body();
    case OnboardingModel::Step::tryIt:
        return model.sampleLanded() ? L10n::onboarding2LandedBody() : L10n::onboarding2Body();
    case OnboardingModel::Step::route:
        return L10n::onboarding3Body();
    case OnboardingModel::Step::open:
        return L10n::onboarding4Body();
    }
    return {};
}

QString OnboardingView::primaryText(OnboardingModel::Step step) {
    switch (step) {
    case OnboardingModel::Step::welcome:
        return L10n::onboardingGetStarted();
    case OnboardingModel::Step::tryIt:
    case OnboardingModel::Step::route:
        return L10n::onboardingContinue();
    case OnboardingModel::Step::open:
        return L10n::onboardingStart();
    }
    return {};
}

void OnboardingView::refresh() {
    const OnboardingModel::Step step = m_model.step();
    m_title->setText(titleText(m_model));
    m_body->setText(bodyText(m_model));
    // The whole text always shows: the spacers give way, not the lines.
    m_body->setMinimumHeight(m_body->heightForWidth(m_body->width()));
    m_primary->setText(primaryText(step));
    m_back->setVisible(step != OnboardingModel::Step::welcome);
    m_skip->setVisible(step != OnboardingModel::Step::open);
    const bool taken = step == OnboardingModel::Step::open && !m_model.shortcutProblem().isEmpty();
    m_shortcutProblem->setText(m_model.shortcutProblem());
    // Every line of the reason shows, as the body's do.
    const int reasonWidth = m_shortcutRow->width() - m_recorder->sizeHint().width() -
                            m_shortcutRow->layout()->spacing();
    // An empty reason has no height for a width (-1).
    m_shortcutProblem->setMinimumHeight(
        std::max(0, m_shortcutProblem->heightForWidth(reasonWidth)));
    m_shortcutRow->setVisible(taken);
    m_stage->setAccessibleName(m_stage->sampleDraggable() ? L10n::onboarding2Body() : QString());
    m_skip->adjustSize();
    m_skip->move(width() - m_skip->width(), 0);
}

void OnboardingView::primary() {
    if (m_model.isLast())
        m_model.finish();
    else
        m_model.next();
}

void OnboardingView::keyPressEvent(QKeyEvent* event) {
    // Return is the primary button's on every step, or the focused button's.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        (focused && focused != m_recorder ? focused : m_primary)->click();
        return;
    }
    // The arrows turn the pages; the last page is left by its button only.
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Right && !m_model.isLast()) {
            m_model.next();
            return;
        }
        if (event->key() == Qt::Key_Left) {
            m_model.back();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

void OnboardingView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), OB::paper());
}

void OnboardingView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_skip->adjustSize();
    m_skip->move(width() - m_skip->width(), 0);
    m_skip->raise();
}

} // namespace tarvo
