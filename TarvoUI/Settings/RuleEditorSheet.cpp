#include "RuleEditorSheet.h"

#include "TarvoCore/L10n.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tarvo {

namespace {

// The quality slider works in thousandths, so it moves smoothly.
constexpr int qualityScale = 1000;
constexpr int minQuality = 300;

QString kindText(RuleEditorSheet::DeliveryKind kind) {
    using Kind = RuleEditorSheet::DeliveryKind;
    switch (kind) {
    case Kind::original:
        return Delivery::original().badgeText();
    case Kind::path:
        return Delivery::path().badgeText();
    case Kind::plainText:
        return Delivery::plainText().badgeText();
    case Kind::webloc:
        return Delivery::webloc().badgeText();
    case Kind::jpeg:
        return QStringLiteral("JPG");
    case Kind::png:
        return QStringLiteral("PNG");
    case Kind::pdf:
        return Delivery::pdf().badgeText();
    }
    return {};
}

QString percent(double quality) {
    return QString::number(static_cast<qint64>(std::trunc(quality * 100))) + QLatin1Char('%');
}

} // namespace

RuleEditorSheet::DeliveryKind RuleEditorSheet::kindOf(const Delivery& delivery) {
    if (const ImageOptions* image = delivery.imageOptions())
        return image->format == ImageFormat::png ? DeliveryKind::png : DeliveryKind::jpeg;
    if (delivery.is<Delivery::Path>())
        return DeliveryKind::path;
    if (delivery.is<Delivery::PlainText>())
        return DeliveryKind::plainText;
    if (delivery.is<Delivery::Webloc>())
        return DeliveryKind::webloc;
    if (delivery.is<Delivery::Pdf>())
        return DeliveryKind::pdf;
    return DeliveryKind::original;
}

Delivery RuleEditorSheet::delivery(DeliveryKind kind, const Delivery& current) {
    switch (kind) {
    case DeliveryKind::original:
        return Delivery::original();
    case DeliveryKind::path:
        return Delivery::path();
    case DeliveryKind::plainText:
        return Delivery::plainText();
    case DeliveryKind::webloc:
        return Delivery::webloc();
    case DeliveryKind::pdf:
        return Delivery::pdf();
    case DeliveryKind::jpeg:
    case DeliveryKind::png:
        break;
    }
    ImageOptions options;
    if (const ImageOptions* kept = current.imageOptions())
        options = *kept;
    else
        options = ImageOptions{ImageFormat::jpeg, defaultPixels, 0.85, true};
    options.format = kind == DeliveryKind::png ? ImageFormat::png : ImageFormat::jpeg;
    return Delivery::image(options);
}

QString RuleEditorSheet::title(const Rule& rule) {
    // Inside the sentence the names are common nouns ("into browsers as
    // path"); an application's identifier and "JPG" stay as they are.
    const auto inSentence = [](const QString& name) {
        if (name.size() > 1 && name.at(0).isUpper() && name.at(1).isLower())
            return name.at(0).toLower() + name.mid(1);
        return name;
    };
    const QString into = std::holds_alternative<Destination::App>(rule.destination.value)
                             ? rule.destination.displayName()
                             : inSentence(rule.destination.displayName());
    return L10n::rulesEditorTitle(L10n::sourceType(rawValue(rule.sourceType)), into,
                                  inSentence(rule.deliver.badgeText()));
}

RuleEditorSheet::RuleEditorSheet(const Rule& rule, QWidget* parent)
    : QDialog(parent), m_rule(rule) {
    setObjectName(QStringLiteral("ruleEditor"));
    setWindowTitle(L10n::tabRules());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowModality(Qt::WindowModal);
    setFixedWidth(sheetWidth);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(20, 20, 20, 20);
    page->setSpacing(16);
    page->setSizeConstraint(QLayout::SetFixedSize);

    m_title = new QLabel;
    m_title->setObjectName(QStringLiteral("editorTitle"));
    m_title->setWordWrap(true);
    QFont titleFont = m_title->font();
    titleFont.setWeight(QFont::DemiBold);
    m_title->setFont(titleFont);
    m_title->setFixedWidth(sheetWidth - 40);
    page->addWidget(m_title);

    auto* box = new QGroupBox;
    auto* form = new QFormLayout(box);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);

    m_type = new QComboBox;
    m_type->setObjectName(QStringLiteral("sourceType"));
    for (SourceType type : allSourceTypes)
        m_type->addItem(L10n::sourceType(rawValue(type)), static_cast<int>(type));
    form->addRow(L10n::rulesColumnType(), m_type);

    // The first entry stands for anywhere, and also shows a rule for one
    // application, which stays one until a category is picked.
    m_destination = new QComboBox;
    m_destination->setObjectName(QStringLiteral("destination"));
    m_destination->addItem(Destination::anywhere().displayName(), -1);
    for (AppCategory category : allAppCategories)
        m_destination->addItem(Destination::category(category).displayName(),
                               static_cast<int>(category));
    form->addRow(L10n::rulesColumnInto(), m_destination);

    m_kind = new QComboBox;
    m_kind->setObjectName(QStringLiteral("deliveryKind"));
    for (DeliveryKind kind : allDeliveryKinds)
        m_kind->addItem(kindText(kind), static_cast<int>(kind));
    form->addRow(L10n::rulesColumnDeliver(), m_kind);

    m_imageOptions = new QWidget;
    m_imageOptions->setObjectName(QStringLiteral("imageOptions"));
    auto* imageForm = new QFormLayout(m_imageOptions);
    imageForm->setContentsMargins(0, 0, 0, 0);
    imageForm->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    m_originalSize = new QCheckBox(L10n::rulesOriginalSize());
    m_originalSize->setObjectName(QStringLiteral("originalSize"));
    imageForm->addRow(m_originalSize);
    m_maxPixelsLabel = new QLabel;
    m_maxPixels = new QSpinBox;
    m_maxPixels->setObjectName(QStringLiteral("maxPixels"));
    m_maxPixels->setRange(minPixels, maxPixels);
    m_maxPixels->setSingleStep(pixelStep);
    m_maxPixels->setSuffix(QStringLiteral("px"));
    m_maxPixels->setAccessibleName(L10n::rulesMaxSize());
    imageForm->addRow(m_maxPixelsLabel, m_maxPixels);
    m_qualityLabel = new QLabel;
    m_quality = new QSlider(Qt::Horizontal);
    m_quality->setObjectName(QStringLiteral("quality"));
    m_quality->setRange(minQuality, qualityScale);
    m_quality->setSingleStep(10);
    m_quality->setPageStep(50);
    m_quality->setAccessibleName(L10n::rulesQuality());
    imageForm->addRow(m_qualityLabel, m_quality);
    form->addRow(m_imageOptions);

    m_rename = new QLineEdit;
    m_rename->setObjectName(QStringLiteral("rename"));
    m_rename->setPlaceholderText(QStringLiteral("{name}"));
    m_rename->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    form->addRow(L10n::rulesRename(), m_rename);
    auto* help = new QLabel(L10n::rulesRenameHelp());
    help->setObjectName(QStringLiteral("renameHelp"));
    help->setWordWrap(true);
    QFont helpFont = help->font();
    helpFont.setPointSizeF(helpFont.pointSizeF() * 11.0 / 13.0);
    help->setFont(helpFont);
    help->setForegroundRole(QPalette::PlaceholderText);
    form->addRow(help);
    page->addWidget(box);

    m_error = new QLabel;
    m_error->setObjectName(QStringLiteral("saveError"));
    m_error->setWordWrap(true);
    m_error->setFixedWidth(sheetWidth - 40);
    QPalette errorPalette = m_error->palette();
    errorPalette.setColor(QPalette::WindowText, QColor(0xc0, 0x1c, 0x28));
    m_error->setPalette(errorPalette);
    m_error->hide();
    page->addWidget(m_error);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_cancel = new QPushButton(L10n::rulesCancel());
    m_cancel->setObjectName(QStringLiteral("cancel"));
    buttons->addWidget(m_cancel);
    m_save = new QPushButton(L10n::rulesSave());
    m_save->setObjectName(QStringLiteral("save"));
    buttons->addWidget(m_save);
    m_save->setDefault(true);
    m_save->setAutoDefault(true);
    m_cancel->setAutoDefault(false);
    page->addLayout(buttons);

    connect(m_type, &QComboBox::activated, this, [this](int index) {
        m_rule.sourceType = static_cast<SourceType>(m_type->itemData(index).toInt());
        refresh();
    });
    connect(m_destination, &QComboBox::activated, this, [this](int index) {
        const int value = m_destination->itemData(index).toInt();
        // An application rule shows the anywhere entry: choosing it again
        // changes nothing until a category has been chosen.
        if (value < 0 && std::holds_alternative<Destination::App>(m_rule.destination.value))
            return;
        m_rule.destination = value < 0 ? Destination::anywhere()
                                       : Destination::category(static_cast<AppCategory>(value));
        refresh();
    });
    connect(m_kind, &QComboBox::activated, this, [this](int index) {
        setDelivery(
            delivery(static_cast<DeliveryKind>(m_kind->itemData(index).toInt()), m_rule.deliver));
    });
    connect(m_originalSize, &QCheckBox::clicked, this, [this](bool on) {
        changeImageOptions([on](ImageOptions& options) {
            options.maxPixels = on ? std::nullopt : std::optional<qint64>(defaultPixels);
        });
    });
    connect(m_maxPixels, &QSpinBox::valueChanged, this, [this](int value) {
        changeImageOptions([value](ImageOptions& options) { options.maxPixels = value; });
    });
    connect(m_quality, &QSlider::valueChanged, this, [this](int value) {
        changeImageOptions(
            [value](ImageOptions& options) { options.quality = double(value) / qualityScale; });
    });
    connect(m_rename, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_rule.rename = text.isEmpty() ? std::nullopt : std::optional<QString>(text);
        refresh();
    });
    connect(m_save, &QPushButton::clicked, this, [this] {
        if (onSave)
            onSave(m_rule);
    });
    connect(m_cancel, &QPushButton::clicked, this, &RuleEditorSheet::reject);

    refresh();
}

void RuleEditorSheet::setDelivery(const Delivery& delivery) {
    m_rule.deliver = delivery;
    refresh();
}

void RuleEditorSheet::changeImageOptions(const std::function<void(ImageOptions&)>& change) {
    const ImageOptions* current = m_rule.deliver.imageOptions();
    if (!current)
        return;
    ImageOptions options = *current;
    change(options);
    setDelivery(Delivery::image(options));
}

void RuleEditorSheet::refresh() {
    m_title->setText(title(m_rule));
    {
        const QSignalBlocker blockType(m_type);
        m_type->setCurrentIndex(m_type->findData(static_cast<int>(m_rule.sourceType)));
    }
    {
        const QSignalBlocker blockDestination(m_destination);
        const auto* category = std::get_if<Destination::Category>(&m_rule.destination.value);
        m_destination->setCurrentIndex(
            category ? m_destination->findData(static_cast<int>(category->category)) : 0);
    }
    {
        const QSignalBlocker blockKind(m_kind);
        m_kind->setCurrentIndex(m_kind->findData(static_cast<int>(kindOf(m_rule.deliver))));
    }

    const ImageOptions* image = m_rule.deliver.imageOptions();
    m_imageOptions->setVisible(image != nullptr);
    if (image) {
        m_originalSize->setChecked(!image->maxPixels);
        const bool limited = image->maxPixels.has_value();
        m_maxPixelsLabel->setVisible(limited);
        m_maxPixels->setVisible(limited);
        if (limited) {
            // A stored size outside the stepper's range shows as it is and
            // is kept until the user steps.
            const QSignalBlocker blockPixels(m_maxPixels);
            const int value = static_cast<int>(std::clamp<qint64>(*image->maxPixels, 1, 1 << 30));
            m_maxPixels->setRange(std::min<int>(minPixels, value), std::max<int>(maxPixels, value));
            m_maxPixels->setValue(value);
            m_maxPixelsLabel->setText(L10n::rulesMaxSize());
        }
        const bool jpeg = image->format == ImageFormat::jpeg;
        m_qualityLabel->setVisible(jpeg);
        m_quality->setVisible(jpeg);
        if (jpeg) {
            const QSignalBlocker blockQuality(m_quality);
            m_quality->setValue(static_cast<int>(std::lround(image->quality * qualityScale)));
            m_qualityLabel->setText(L10n::rulesQuality() + QStringLiteral(": ") +
                                    percent(image->quality));
        }
    }
    if (m_rename->text() != m_rule.rename.value_or(QString()))
        m_rename->setText(m_rule.rename.value_or(QString()));
    adjustSize();
}

void RuleEditorSheet::showError(const QString& message) {
    m_error->setText(message);
    m_error->setVisible(!message.isEmpty());
    adjustSize();
}

QString RuleEditorSheet::error() const {
    return m_error->isVisible() ? m_error->text() : QString();
}

void RuleEditorSheet::dismiss() {
    QDialog::done(QDialog::Rejected);
}

void RuleEditorSheet::reject() {
    if (onCancel)
        onCancel();
}

} // namespace tarvo
