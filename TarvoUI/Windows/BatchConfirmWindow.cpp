#include "BatchConfirmWindow.h"

#include "TarvoCore/L10n.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVariantAnimation>

namespace tarvo {

namespace {

constexpr int kHeight = 36;

QColor accentColor(const QWidget& widget) {
    return widget.palette().color(QPalette::Highlight);
}

} // namespace

BatchConfirmWindow::BatchConfirmWindow(std::function<bool()> reduceMotion,
                                       std::chrono::milliseconds timeout)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint),
      m_reduceMotion(std::move(reduceMotion)) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    resize(420, kHeight);

    m_label = new QLabel(this);
    QFont font = m_label->font();
    font.setPixelSize(12);
    m_label->setFont(font);
    QPalette labelPalette = m_label->palette();
    labelPalette.setColor(QPalette::WindowText, Qt::white);
    m_label->setPalette(labelPalette);

    m_originalsButton = new QPushButton(L10n::batchOriginals(), this);
    m_deliverButton = new QPushButton(L10n::batchDeliver(), this);
    for (QPushButton* button : {m_originalsButton, m_deliverButton})
        button->setFocusPolicy(Qt::NoFocus);
    m_deliverButton->setDefault(true);
    QPalette accent = m_deliverButton->palette();
    accent.setColor(QPalette::Button, accentColor(*this));
    accent.setColor(QPalette::ButtonText, Qt::white);
    m_deliverButton->setPalette(accent);
    connect(m_originalsButton, &QPushButton::clicked, this, [this] { chooseOriginals(); });
    connect(m_deliverButton, &QPushButton::clicked, this, [this] { chooseDeliver(); });

    m_timeoutWork.setSingleShot(true);
    m_timeoutWork.setInterval(timeout);
    connect(&m_timeoutWork, &QTimer::timeout, this, [this] { chooseDeliver(); });

    m_countdown = new QVariantAnimation(this);
    m_countdown->setStartValue(1.0);
    m_countdown->setEndValue(0.0);
    m_countdown->setDuration(int(timeout.count()));
    m_countdown->setEasingCurve(QEasingCurve::Linear);
    connect(m_countdown, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_countdownFraction = value.toDouble();
        update();
    });
}

BatchConfirmWindow::~BatchConfirmWindow() = default;

void BatchConfirmWindow::present(const BatchConfirmation& confirmation, const QRect& below,
                                 Completion completion) {
    m_completion = std::move(completion);
    m_label->setText(confirmation.message());
    layoutContent();
    move(below.center().x() + 1 - width() / 2, below.bottom() + 1 + 8);
    show();
    startCountdown();
    m_timeoutWork.start();
}

void BatchConfirmWindow::layoutContent() {
    m_label->adjustSize();
    m_originalsButton->adjustSize();
    m_deliverButton->adjustSize();
    const int width =
        16 + m_label->width() + 12 + m_originalsButton->width() + 8 + m_deliverButton->width() + 16;
    resize(width, kHeight);
    auto centred = [](QWidget* widget, int x) {
        widget->move(x, (kHeight - widget->height()) / 2);
    };
    centred(m_label, 16);
    centred(m_originalsButton, m_label->geometry().right() + 1 + 12);
    centred(m_deliverButton, m_originalsButton->geometry().right() + 1 + 8);
}

void BatchConfirmWindow::startCountdown() {
    m_countdown->stop();
    m_countdownFraction = 1;
    if (m_reduceMotion && m_reduceMotion()) {
        m_countdownOpacity = 0.5;
    } else {
        m_countdownOpacity = 1;
        m_countdown->start();
    }
    update();
}

void BatchConfirmWindow::finish(BatchConfirmation::Choice choice) {
    m_countdown->stop();
    m_timeoutWork.stop();
    hide();
    // Taken first: a completion that presents the panel again keeps its own.
    Completion completion = std::move(m_completion);
    m_completion = nullptr;
    if (completion)
        completion(choice);
}

void BatchConfirmWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath background;
    background.addRoundedRect(QRectF(rect()), 10, 10);
    painter.fillPath(background, Qt::black);
    // The bar along the bottom edge, shrinking towards its left end.
    painter.setClipPath(background);
    painter.setOpacity(m_countdownOpacity);
    painter.fillRect(QRectF(0, height() - 2, width() * m_countdownFraction, 2), accentColor(*this));
}

void BatchConfirmWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        chooseDeliver();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace tarvo
