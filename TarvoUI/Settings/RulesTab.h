#pragma once

#include "RuleEditorSheet.h"

#include "TarvoCore/RuleModel.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QTableWidget;
class QToolButton;

namespace tarvo {

class SettingsModel;

// Every delivery rule in stored order, with add and remove buttons; a
// double-click opens the rule editor.
class RulesTab final : public QWidget {
public:
    explicit RulesTab(SettingsModel& model, QWidget* parent = nullptr);

    // "2000px, 85%, {name}, off": the pixel limit and quality of an image
    // delivery, the rename template, and whether the rule is off.
    static QString options(const Rule& rule);
    // "JPG" or "PNG" for an image delivery, else the delivery's badge.
    static QString deliverText(const Delivery& delivery);

    QTableWidget* table() const { return m_table; }
    void refresh();
    // The open rule editor, if any.
    RuleEditorSheet* editor() const { return m_editor; }

private:
    void removeSelected();
    // Opens the editor for the first rule, in stored order, among the
    // selected rows and `row`.
    void edit(int row);

    SettingsModel& m_model;
    QTableWidget* m_table = nullptr;
    QLabel* m_empty = nullptr;
    QToolButton* m_add = nullptr;
    QToolButton* m_remove = nullptr;
    QPointer<RuleEditorSheet> m_editor;
};

} // namespace tarvo
