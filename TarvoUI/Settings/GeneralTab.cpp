#include "GeneralTab.h"

#include "SettingsModel.h"

#include "TarvoCore/L10n.h"
#include "TarvoPlatform/HotkeyKeys.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

#include <functional>

namespace tarvo {

namespace {

// The virtual key codes the shortcut speaks, for the keys it can use.
std::optional<quint16> keyCodeFor(int qtKey) {
    switch (qtKey) {
    case Qt::Key_Space:
        return quint16(49);
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return quint16(36);
    case Qt::Key_Tab:
        return quint16(48);
    case Qt::Key_Escape:
        return quint16(53);
    default:
        break;
    }
    if (qtKey < Qt::Key_A || qtKey > Qt::Key_Z)
        return std::nullopt;
    for (quint16 code = 0; code < 128; ++code) {
        if (HotkeyFormatter::keyName(code) == QString(QChar(qtKey)))
            return code;
    }
    return std::nullopt;
}

QLabel* caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 11.0 / 13.0);
    label->setFont(font);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QGroupBox* section(QVBoxLayout* page, QFormLayout*& form) {
    auto* box = new QGroupBox;
    form = new QFormLayout(box);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    page->addWidget(box);
    return box;
}

} // namespace

HotkeyRecorder::HotkeyRecorder(QWidget* parent) : QPushButton(L10n::generalHotkeyRecord(), parent) {
    setObjectName(QStringLiteral("hotkeyRecorder"));
    connect(this, &QPushButton::clicked, this, [this] {
        if (m_recording)
            stopRecording();
        else
            startRecording();
    });
}

void HotkeyRecorder::startRecording() {
    m_recording = true;
    setDown(true);
    setFocus(Qt::OtherFocusReason);
    grabKeyboard();
}

void HotkeyRecorder::stopRecording() {
    if (!m_recording)
        return;
    m_recording = false;
    setDown(false);
    releaseKeyboard();
}

std::optional<HotkeySpec> HotkeyRecorder::specFor(int qtKey, Qt::KeyboardModifiers modifiers) {
    const std::optional<quint16> code = keyCodeFor(qtKey);
    if (!code)
        return std::nullopt;
    const quint64 flags = HotkeyKeys::flags(modifiers);
    if (flags == 0)
        return std::nullopt;
    return HotkeySpec{*code, flags};
}

bool HotkeyRecorder::event(QEvent* event) {
    // While listening every key is the recording's, none a window's shortcut.
    if (m_recording && event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    return QPushButton::event(event);
}

void HotkeyRecorder::keyPressEvent(QKeyEvent* event) {
    if (!m_recording) {
        QPushButton::keyPressEvent(event);
        return;
    }
    event->accept();
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        stopRecording();
        return;
    }
    // Modifiers alone, or a key the shortcut cannot use: keep listening.
    const std::optional<HotkeySpec> spec = specFor(event->key(), event->modifiers());
    if (!spec)
        return;
    stopRecording();
    if (onRecorded)
        onRecorded(*spec);
}

void HotkeyRecorder::focusOutEvent(QFocusEvent* event) {
    stopRecording();
    QPushButton::focusOutEvent(event);
}

QCheckBox* GeneralTab::addSwitch(QFormLayout* form, const QString& text, const char* name,
                                 Preferences::Key key) {
    auto* box = new QCheckBox(text);
    box->setObjectName(QLatin1String(name));
    form->addRow(box);
    return addSwitch(box, key);
}

QCheckBox* GeneralTab::addSwitch(QCheckBox* box, Preferences::Key key) {
    // Only the user's clicks write; refresh() sets values without a signal.
    SettingsModel* model = &m_model;
    connect(box, &QCheckBox::clicked, this,
            [model, key](bool on) { model->setPreference(key, on); });
    m_switches.emplace_back(box, key);
    return box;
}

GeneralTab::GeneralTab(SettingsModel& model, QWidget* parent) : QWidget(parent), m_model(model) {
    using Key = Preferences::Key;
    auto* page = new QVBoxLayout(this);
    QFormLayout* form = nullptr;

    section(page, form);
    addSwitch(form, L10n::generalShowWhenDragging(), "showWhenDragging",
              Key::showTarvoWhenDragging);
    m_onlyWithShift =
        addSwitch(form, L10n::generalOnlyWithShift(), "onlyWithShift", Key::requireShiftToShow);
    addSwitch(form, L10n::generalShakeToSummon(), "shakeToSummon", Key::shakeToSummon);

    section(page, form);
    auto* hotkeyRow = new QWidget;
    auto* hotkeyLayout = new QHBoxLayout(hotkeyRow);
    hotkeyLayout->setContentsMargins(0, 0, 0, 0);
    hotkeyLayout->setSpacing(8);
    m_hotkeyText = new QLabel;
    m_hotkeyText->setObjectName(QStringLiteral("hotkeyText"));
    m_hotkeyText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_recorder = new HotkeyRecorder;
    m_recorder->onRecorded = [this](const HotkeySpec& spec) { m_model.setHotkey(spec); };
    // The shortcut's own switch, beside its recorder.
    auto* hotkeyEnabled = new QCheckBox(QStringLiteral("On"));
    hotkeyEnabled->setObjectName(QStringLiteral("hotkeyEnabled"));
    hotkeyEnabled->setAccessibleName(L10n::generalHotkey());
    addSwitch(hotkeyEnabled, Key::hotkeyEnabled);
    hotkeyLayout->addWidget(m_hotkeyText);
    hotkeyLayout->addStretch(1);
    hotkeyLayout->addWidget(m_recorder);
    hotkeyLayout->addWidget(hotkeyEnabled);
    form->addRow(L10n::generalHotkey(), hotkeyRow);
    m_hotkeyProblem = caption(QString(), this);
    m_hotkeyProblem->setObjectName(QStringLiteral("hotkeyProblem"));
    form->addRow(m_hotkeyProblem);

    section(page, form);
    addSwitch(form, L10n::generalShowMenuBarIcon(), "showMenuBarIcon", Key::showMenuBarIcon);
    addSwitch(form, L10n::generalPlaySound(), "playSound", Key::playSoundOnDrop);
    addSwitch(form, L10n::generalLaunchAtLogin(), "launchAtLogin", Key::launchAtLogin);

    section(page, form);
    addSwitch(form, L10n::generalConfirmBatch(), "confirmBatch", Key::confirmBatch);
    addSwitch(form, L10n::generalKeepMetadata(), "keepMetadata", Key::keepImageMetadata);
    addSwitch(form, L10n::generalEditorPaneDetection(), "editorPaneDetection",
              Key::editorPaneDetection);
    m_accessibilityRow = new QWidget;
    m_accessibilityRow->setObjectName(QStringLiteral("accessibilityRow"));
    auto* a11yLayout = new QHBoxLayout(m_accessibilityRow);
    a11yLayout->setContentsMargins(0, 0, 0, 0);
    a11yLayout->addWidget(caption(L10n::permissionAccessibility(), m_accessibilityRow), 1);
    auto* openSettings = new QPushButton(L10n::permissionOpenSettings(), m_accessibilityRow);
    openSettings->setObjectName(QStringLiteral("openAccessibilitySettings"));
    connect(openSettings, &QPushButton::clicked, this, [this] {
        if (m_model.requestAccessibilityPermission())
            m_model.requestAccessibilityPermission()();
    });
    a11yLayout->addWidget(openSettings, 0, Qt::AlignTop);
    form->addRow(m_accessibilityRow);
    page->addStretch(1);

    connect(&model, &SettingsModel::preferencesWritten, this, &GeneralTab::refresh);
    connect(&model, &SettingsModel::hotkeyProblemChanged, this, &GeneralTab::refresh);
    connect(&model, &SettingsModel::accessibilityAvailableChanged, this, &GeneralTab::refresh);
    refresh();
}

void GeneralTab::refresh() {
    using Key = Preferences::Key;
    for (const auto& [box, key] : m_switches)
        box->setChecked(m_model.preference(key));
    m_onlyWithShift->setEnabled(m_model.preference(Key::showTarvoWhenDragging));

    const bool hotkeyOn = m_model.preference(Key::hotkeyEnabled);
    m_hotkeyText->setText(m_model.hotkeyDescription());
    m_hotkeyText->setForegroundRole(hotkeyOn ? QPalette::WindowText : QPalette::PlaceholderText);
    const std::optional<QString>& problem = m_model.hotkeyProblem();
    m_hotkeyProblem->setText(problem.value_or(QString()));
    m_hotkeyProblem->setVisible(hotkeyOn && problem.has_value());

    m_accessibilityRow->setVisible(m_model.preference(Key::editorPaneDetection) &&
                                   !m_model.accessibilityAvailable());
}

} // namespace tarvo
