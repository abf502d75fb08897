#include "AppsTab.h"

#include "SettingsModel.h"

#include "TarvoCore/L10n.h"
#include "TarvoPlatform/ApplicationDirectory.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace tarvo {

namespace {

QLabel* small(const QString& text) {
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 11.0 / 13.0);
    label->setFont(font);
    label->setForegroundRole(QPalette::PlaceholderText);
    label->setWordWrap(true);
    return label;
}

} // namespace

AppsTab::AppsTab(SettingsModel& model, QWidget* parent) : QWidget(parent), m_model(model) {
    auto* page = new QVBoxLayout(this);
    auto* header = new QHBoxLayout;
    header->addWidget(small(L10n::appsSectionTitle()));
    header->addStretch(1);
    auto* add =
        new QPushButton(QIcon::fromTheme(QStringLiteral("list-add")), L10n::appsAddButton());
    add->setObjectName(QStringLiteral("addApp"));
    connect(add, &QPushButton::clicked, this, &AppsTab::chooseApplication);
    header->addWidget(add);
    page->addLayout(header);

    // What the switches at the end of each row are.
    auto* columns = new QHBoxLayout;
    columns->setContentsMargins(4, 0, 4, 0);
    columns->addStretch(1);
    auto* pinnedHeader = small(QStringLiteral("Pinned"));
    pinnedHeader->setObjectName(QStringLiteral("pinnedHeader"));
    columns->addWidget(pinnedHeader);
    page->addLayout(columns);

    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    auto* list = new QWidget;
    m_rows = new QVBoxLayout(list);
    m_rows->setSpacing(2);
    scroll->setWidget(list);
    page->addWidget(scroll, 1);
    page->addWidget(small(L10n::appsHelp()));

    connect(&model, &SettingsModel::revisionChanged, this, &AppsTab::refresh);
}

void AppsTab::showEvent(QShowEvent* event) {
    // Worked out when first seen: the list needs the installed applications.
    if (!m_built)
        refresh();
    QWidget::showEvent(event);
}

void AppsTab::refresh() {
    m_built = true;
    while (QLayoutItem* item = m_rows->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const QString& id : m_model.destinationApps()) {
        auto* row = new QWidget;
        row->setObjectName(id);
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(4, 2, 4, 2);
        layout->setSpacing(8);
        const QIcon icon = m_model.appIcon(id);
        if (!icon.isNull()) {
            auto* picture = new QLabel;
            picture->setPixmap(icon.pixmap(16, 16));
            layout->addWidget(picture);
        }
        const bool pinned = m_model.isPinned(id);
        // Unpinned is a choice, not a disabled row: the name reads as any other.
        auto* name = new QLabel(m_model.appName(id));
        name->setObjectName(QStringLiteral("name"));
        layout->addWidget(name, 1);
        if (pinned) {
            auto* category = new QComboBox;
            category->setObjectName(QStringLiteral("category"));
            category->setFixedWidth(180);
            for (const AppCategory c : allAppCategories)
                category->addItem(L10n::category(rawValue(c)), static_cast<int>(c));
            category->setCurrentIndex(static_cast<int>(m_model.category(id)));
            connect(category, &QComboBox::activated, this, [this, id, category](int index) {
                m_model.setCategory(static_cast<AppCategory>(category->itemData(index).toInt()),
                                    id);
            });
            layout->addWidget(category);
        }
        auto* pin = new QCheckBox;
        pin->setObjectName(QStringLiteral("pin"));
        pin->setAccessibleName(m_model.appName(id));
        pin->setChecked(pinned);
        // Queued: the row this switch sits in is rebuilt by the change.
        connect(pin, &QCheckBox::clicked, this, [this, id](bool on) {
            QMetaObject::invokeMethod(
                this, [this, id, on] { m_model.setPinned(on, id); }, Qt::QueuedConnection);
        });
        layout->addWidget(pin);
        m_rows->addWidget(row);
    }
    m_rows->addStretch(1);
}

void AppsTab::chooseApplication() {
    QStringList folders = ApplicationDirectory::standardFolders();
    const QString start = folders.isEmpty() ? QString() : folders.last();
    QFileDialog dialog(this, L10n::appsAddMessage(), start,
                       QStringLiteral("%1 (*.desktop)").arg(L10n::tabApps()));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setLabelText(QFileDialog::Accept, L10n::appsAddPrompt());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    m_model.addApp(dialog.selectedFiles().constFirst());
}

} // namespace tarvo
