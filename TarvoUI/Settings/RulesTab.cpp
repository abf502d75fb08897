#include "RulesTab.h"

#include "RuleEditorSheet.h"
#include "SettingsModel.h"

#include "TarvoCore/L10n.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSet>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <optional>

namespace tarvo {

namespace {

enum Column { typeColumn, intoColumn, deliverColumn, optionsColumn, columnCount };

} // namespace

QString RulesTab::options(const Rule& rule) {
    QStringList parts;
    if (const auto* image = std::get_if<Delivery::Image>(&rule.deliver.value)) {
        if (image->options.maxPixels)
            parts << QStringLiteral("%1px").arg(*image->options.maxPixels);
        parts << QStringLiteral("%1%").arg(
            static_cast<qint64>(std::trunc(image->options.quality * 100)));
    }
    if (rule.rename)
        parts << *rule.rename;
    if (!rule.enabled)
        parts << QStringLiteral("off");
    return parts.join(QStringLiteral(", "));
}

QString RulesTab::deliverText(const Delivery& delivery) {
    if (const auto* image = std::get_if<Delivery::Image>(&delivery.value))
        return image->options.format == ImageFormat::png ? QStringLiteral("PNG")
                                                         : QStringLiteral("JPG");
    return delivery.badgeText();
}

RulesTab::RulesTab(SettingsModel& model, QWidget* parent) : QWidget(parent), m_model(model) {
    setObjectName(QStringLiteral("rulesTab"));
    auto* page = new QVBoxLayout(this);
    page->setSpacing(0);
    m_table = new QTableWidget(0, columnCount);
    m_table->setObjectName(QStringLiteral("rulesTable"));
    m_table->setHorizontalHeaderLabels({L10n::rulesColumnType(), L10n::rulesColumnInto(),
                                        L10n::rulesColumnDeliver(), L10n::rulesColumnOptions()});
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setShowGrid(false);
    page->addWidget(m_table, 1);

    m_empty = new QLabel(L10n::rulesEmpty(), m_table->viewport());
    m_empty->setObjectName(QStringLiteral("rulesEmpty"));
    m_empty->setForegroundRole(QPalette::PlaceholderText);
    m_empty->setAlignment(Qt::AlignCenter);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(6, 6, 6, 6);
    buttons->setSpacing(0);
    m_add = new QToolButton;
    m_add->setObjectName(QStringLiteral("addRule"));
    m_add->setAutoRaise(true);
    m_add->setIcon(QIcon::fromTheme(QStringLiteral("list-add")));
    m_add->setText(QStringLiteral("+"));
    m_add->setAccessibleName(L10n::rulesAdd());
    m_add->setToolTip(L10n::rulesAdd());
    m_remove = new QToolButton;
    m_remove->setObjectName(QStringLiteral("removeRule"));
    m_remove->setAutoRaise(true);
    m_remove->setIcon(QIcon::fromTheme(QStringLiteral("list-remove")));
    m_remove->setText(QStringLiteral("−"));
    m_remove->setAccessibleName(L10n::rulesRemove());
    m_remove->setToolTip(L10n::rulesRemove());
    buttons->addWidget(m_add);
    buttons->addWidget(m_remove);
    buttons->addStretch(1);
    page->addLayout(buttons);

    connect(m_add, &QToolButton::clicked, this, [this] { m_model.addRule(); });
    connect(m_remove, &QToolButton::clicked, this, &RulesTab::removeSelected);
    connect(m_table, &QTableWidget::itemSelectionChanged, this,
            [this] { m_remove->setEnabled(m_table->selectionModel()->hasSelection()); });
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { edit(row); });
    connect(&model, &SettingsModel::rulesWritten, this, &RulesTab::refresh);
    refresh();
}

void RulesTab::refresh() {
    // The selection is kept by rule, across the rows being built again.
    QSet<QUuid> selected;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows())
        selected.insert(m_table->item(index.row(), 0)->data(Qt::UserRole).toUuid());

    const std::vector<Rule>& rules = m_model.rules();
    const QSignalBlocker block(m_table);
    m_table->clearSelection();
    m_table->setRowCount(static_cast<int>(rules.size()));
    const QFont optionsFont = [] {
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSizeF(font.pointSizeF() * 11.0 / 13.0);
        return font;
    }();
    for (int row = 0; row < static_cast<int>(rules.size()); ++row) {
        const Rule& rule = rules[static_cast<size_t>(row)];
        const QString texts[columnCount] = {L10n::sourceType(rawValue(rule.sourceType)),
                                            rule.destination.displayName(),
                                            deliverText(rule.deliver), options(rule)};
        for (int column = 0; column < columnCount; ++column) {
            auto* item = new QTableWidgetItem(texts[column]);
            item->setData(Qt::UserRole, rule.id);
            const bool dimmed = column == optionsColumn || !rule.enabled;
            if (dimmed)
                item->setForeground(palette().brush(QPalette::PlaceholderText));
            if (column == optionsColumn)
                item->setFont(optionsFont);
            m_table->setItem(row, column, item);
        }
        if (selected.contains(rule.id))
            m_table->selectRow(row);
    }
    m_empty->setVisible(rules.empty());
    m_empty->resize(m_table->viewport()->size());
    m_remove->setEnabled(m_table->selectionModel()->hasSelection());
}

void RulesTab::removeSelected() {
    QSet<QUuid> ids;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows())
        ids.insert(m_table->item(index.row(), 0)->data(Qt::UserRole).toUuid());
    if (ids.isEmpty())
        return;
    m_table->clearSelection();
    m_model.removeRules(ids);
}

void RulesTab::edit(int row) {
    if (m_editor)
        return;
    QSet<QUuid> activated;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows())
        activated.insert(m_table->item(index.row(), 0)->data(Qt::UserRole).toUuid());
    if (QTableWidgetItem* item = m_table->item(row, 0))
        activated.insert(item->data(Qt::UserRole).toUuid());
    const std::vector<Rule>& rules = m_model.rules();
    const auto first = std::find_if(rules.begin(), rules.end(),
                                    [&](const Rule& rule) { return activated.contains(rule.id); });
    if (first == rules.end())
        return;

    m_editor = new RuleEditorSheet(*first, window());
    RuleEditorSheet* editor = m_editor;
    editor->onSave = [this, editor](const Rule& rule) {
        if (!m_model.updateRule(rule)) {
            editor->showError(L10n::rulesSaveFailed());
            return;
        }
        editor->dismiss();
        editor->deleteLater();
    };
    editor->onCancel = [editor] {
        editor->dismiss();
        editor->deleteLater();
    };
    editor->show();
}

} // namespace tarvo
