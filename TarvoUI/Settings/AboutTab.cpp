#include "AboutTab.h"

#include "SettingsModel.h"

#include "TarvoCore/L10n.h"
#include "IconRenderer.h"

#include <QDesktopServices>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPixmap>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace tarvo {

namespace {

QLabel* text(const QString& content, double points, QFont::Weight weight = QFont::Normal,
             bool dimmed = false) {
    auto* label = new QLabel(content);
    QFont font = label->font();
    font.setPointSizeF(points * 0.75);
    font.setWeight(weight);
    label->setFont(font);
    if (dimmed)
        label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QLabel* counter(QVBoxLayout*& column, const QString& caption) {
    column = new QVBoxLayout;
    column->setSpacing(2);
    QLabel* value = text(QString(), 20, QFont::Medium);
    value->setAlignment(Qt::AlignCenter);
    QLabel* label = text(caption, 11, QFont::Normal, true);
    label->setAlignment(Qt::AlignCenter);
    column->addWidget(value);
    column->addWidget(label);
    return value;
}

QFrame* divider() {
    auto* line = new QFrame;
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setFixedHeight(34);
    return line;
}

} // namespace

const QImage& AboutTab::appIcon() {
    static const QImage icon = [] {
        QImage tile = IconRenderer::render(256);
        if (tile.isNull()) {
            tile = QImage(256, 256, QImage::Format_ARGB32_Premultiplied);
            tile.fill(Qt::transparent);
        }
        return tile;
    }();
    return icon;
}

AboutTab::AboutTab(SettingsModel& model, QWidget* parent) : QWidget(parent), m_model(model) {
    auto* page = new QVBoxLayout(this);

    auto* header = new QGroupBox;
    auto* headerLayout = new QHBoxLayout(header);
    headerLayout->setSpacing(16);
    auto* icon = new QLabel;
    icon->setObjectName(QStringLiteral("appIcon"));
    icon->setFixedSize(72, 72);
    icon->setScaledContents(true);
    icon->setPixmap(QPixmap::fromImage(appIcon()));
    headerLayout->addWidget(icon);
    auto* names = new QVBoxLayout;
    names->setSpacing(3);
    names->addStretch(1);
    names->addWidget(text(QStringLiteral("Tarvo"), 22, QFont::DemiBold));
    m_version = text(QString(), 12, QFont::Normal, true);
    m_version->setObjectName(QStringLiteral("version"));
    names->addWidget(m_version);
    names->addStretch(1);
    headerLayout->addLayout(names);
    headerLayout->addStretch(1);
    page->addWidget(header);

    auto* counters = new QGroupBox;
    auto* countersLayout = new QVBoxLayout(counters);
    auto* cells = new QHBoxLayout;
    cells->setSpacing(0);
    QVBoxLayout* column = nullptr;
    m_drops = counter(column, L10n::aboutCounterDrops());
    m_drops->setObjectName(QStringLiteral("drops"));
    cells->addLayout(column, 1);
    cells->addWidget(divider());
    m_conversions = counter(column, L10n::aboutCounterConversions());
    m_conversions->setObjectName(QStringLiteral("conversions"));
    cells->addLayout(column, 1);
    cells->addWidget(divider());
    m_undos = counter(column, L10n::aboutCounterUndos());
    m_undos->setObjectName(QStringLiteral("undos"));
    cells->addLayout(column, 1);
    countersLayout->addLayout(cells);
    QLabel* note = text(L10n::aboutCountersNote(), 11, QFont::Normal, true);
    note->setWordWrap(true);
    countersLayout->addWidget(note);
    page->addWidget(counters);

    auto* updates = new QGroupBox;
    auto* updatesLayout = new QHBoxLayout(updates);
    m_check = new QPushButton(L10n::aboutCheckForUpdates());
    m_check->setObjectName(QStringLiteral("checkForUpdates"));
    connect(m_check, &QPushButton::clicked, this, [this] { m_model.requestUpdateCheck(); });
    updatesLayout->addWidget(m_check);
    m_status = text(QString(), 11, QFont::Normal, true);
    m_status->setObjectName(QStringLiteral("updateStatus"));
    updatesLayout->addWidget(m_status);
    updatesLayout->addStretch(1);
    page->addWidget(updates);

    auto* links = new QGroupBox;
    auto* linksLayout = new QHBoxLayout(links);
    linksLayout->setSpacing(18);
    const std::pair<QString, QString> targets[] = {
        {L10n::aboutLinkWebsite(), TarvoLinks::website()},
        {L10n::aboutLinkSupport(), TarvoLinks::support()},
        {L10n::aboutLinkPrivacy(), TarvoLinks::privacy()},
    };
    for (const auto& [title, address] : targets) {
        QLabel* link = text(QStringLiteral("<a href=\"%1\">%2</a>")
                                .arg(address.toHtmlEscaped(), title.toHtmlEscaped()),
                            12);
        link->setTextFormat(Qt::RichText);
        link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        connect(link, &QLabel::linkActivated, this,
                [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); });
        linksLayout->addWidget(link);
    }
    linksLayout->addStretch(1);
    page->addWidget(links);
    page->addStretch(1);

    connect(&model, &SettingsModel::versionChanged, this, &AboutTab::refresh);
    connect(&model, &SettingsModel::updateStatusChanged, this, &AboutTab::refresh);
    connect(&model, &SettingsModel::updateCheckRunningChanged, this, &AboutTab::refresh);
    refresh();
}

void AboutTab::showEvent(QShowEvent* event) {
    // The counters change with every delivery: read them whenever the tab
    // comes into view.
    refresh();
    QWidget::showEvent(event);
}

void AboutTab::refresh() {
    const QLocale locale;
    m_version->setText(L10n::aboutVersion(m_model.version()));
    m_drops->setText(locale.toString(m_model.preferences().dropCount()));
    m_conversions->setText(locale.toString(m_model.preferences().conversionCount()));
    m_undos->setText(locale.toString(m_model.preferences().undoCount()));
    m_check->setEnabled(!m_model.updateCheckRunning());
    m_status->setText(m_model.updateStatus().value_or(QString()));
    m_status->setVisible(m_model.updateStatus().has_value());
}

} // namespace tarvo
