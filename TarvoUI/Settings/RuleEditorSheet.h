#pragma once

#include "TarvoCore/RuleModel.h"

#include <QDialog>

#include <array>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QWidget;

namespace tarvo {

// Edits a copy of one rule: what it takes, where to, what it delivers with
// the image's size and quality, and the rename template. Nothing reaches the
// store before Save; the owner closes the dialog from either callback, and a
// save the owner could not write leaves it open with the reason shown.
class RuleEditorSheet final : public QDialog {
public:
    // The editor's flat list of deliveries; never stored.
    enum class DeliveryKind { original, path, plainText, webloc, jpeg, png, pdf };
    static constexpr std::array allDeliveryKinds = {
        DeliveryKind::original, DeliveryKind::path, DeliveryKind::plainText, DeliveryKind::webloc,
        DeliveryKind::jpeg,     DeliveryKind::png,  DeliveryKind::pdf};

    static constexpr int sheetWidth = 460;
    static constexpr qint64 minPixels = 100;
    static constexpr qint64 maxPixels = 8000;
    static constexpr qint64 pixelStep = 100;
    static constexpr qint64 defaultPixels = 2000;

    static DeliveryKind kindOf(const Delivery& delivery);
    // The delivery for `kind`; an image keeps the size, quality and location
    // choice of `current` when that is an image too, else starts at 2000
    // pixels, quality 0.85 and location removed.
    static Delivery delivery(DeliveryKind kind, const Delivery& current);
    // "Images into Browsers as JPG · 2000px": follows the edits at once.
    static QString title(const Rule& rule);

    // Window-modal over `parent`.
    RuleEditorSheet(const Rule& rule, QWidget* parent);

    // The copy as the controls left it.
    const Rule& rule() const { return m_rule; }

    // Called by Save with the copy, and by Cancel, Escape or closing.
    std::function<void(const Rule&)> onSave;
    std::function<void()> onCancel;

    // Shows why the rule could not be saved; the edits stay.
    void showError(const QString& message);
    // The reason shown, empty while there is none.
    QString error() const;
    // Closes the dialog; the owner calls it from its callbacks.
    void dismiss();

    // Escape and the window's close button cancel: the owner decides.
    void reject() override;

private:
    void refresh();
    void setDelivery(const Delivery& delivery);
    void changeImageOptions(const std::function<void(ImageOptions&)>& change);

    Rule m_rule;
    QLabel* m_title = nullptr;
    QComboBox* m_type = nullptr;
    QComboBox* m_destination = nullptr;
    QComboBox* m_kind = nullptr;
    QWidget* m_imageOptions = nullptr;
    QCheckBox* m_originalSize = nullptr;
    QLabel* m_maxPixelsLabel = nullptr;
    QSpinBox* m_maxPixels = nullptr;
    QLabel* m_qualityLabel = nullptr;
    QSlider* m_quality = nullptr;
    QLineEdit* m_rename = nullptr;
    QLabel* m_error = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace tarvo
