#include "Preferences.h"

#include "Json.h"
#include "UserDefaults.h"

#include <QHash>
#include <QVariant>

#include <limits>

namespace tarvo {

namespace {

constexpr std::array<Preferences::Definition, Preferences::keyCount> table = {{
#define TARVO_PREFERENCE_BOOLEAN(name, registered)                                                 \
    {Preferences::Key::name, #name, Preferences::Type::boolean, registered},
#define TARVO_PREFERENCE(name, type)                                                               \
    {Preferences::Key::name, #name, Preferences::Type::type, false},
#include "PreferenceKeys.inc"
#undef TARVO_PREFERENCE
#undef TARVO_PREFERENCE_BOOLEAN
}};

constexpr bool tableFollowsKeyOrder() {
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (static_cast<std::size_t>(table[i].key) != i)
            return false;
    }
    return true;
}
static_assert(tableFollowsKeyOrder());

QString keyText(Preferences::Key key) {
    return QString::fromLatin1(Preferences::definition(key).name);
}

} // namespace

const std::array<Preferences::Definition, Preferences::keyCount>& Preferences::definitions() {
    return table;
}

const Preferences::Definition& Preferences::definition(Key key) {
    return table[static_cast<std::size_t>(key)];
}

QString Preferences::name(Key key) {
    return keyText(key);
}

std::optional<Preferences::Key> Preferences::key(const QString& name) {
    for (const Definition& d : table) {
        if (name == QLatin1String(d.name))
            return d.key;
    }
    return std::nullopt;
}

Preferences::Preferences(UserDefaults& defaults) : m_defaults(defaults) {
    QHash<QString, QVariant> registered;
    for (const Definition& d : table) {
        if (d.type == Type::boolean)
            registered.insert(QString::fromLatin1(d.name), d.registeredValue);
    }
    m_defaults.registerDefaults(registered);
}

bool Preferences::boolean(Key key) const {
    Q_ASSERT(definition(key).type == Type::boolean);
    return m_defaults.boolean(keyText(key));
}

void Preferences::setBoolean(Key key, bool on) {
    Q_ASSERT(definition(key).type == Type::boolean);
    m_defaults.setBoolean(keyText(key), on);
}

qint64 Preferences::integer(Key key) const {
    Q_ASSERT(definition(key).type == Type::integer);
    return m_defaults.integer(keyText(key));
}

void Preferences::setInteger(Key key, qint64 value) {
    Q_ASSERT(definition(key).type == Type::integer);
    m_defaults.setInteger(keyText(key), value);
}

void Preferences::increment(Key key) {
    const qint64 count = integer(key);
    // A counter that has reached the largest count stays there rather than
    // wrapping round to a negative one.
    if (count < std::numeric_limits<qint64>::max())
        setInteger(key, count + 1);
    else
        setInteger(key, count);
}

bool Preferences::showTarvoWhenDragging() const {
    return boolean(Key::showTarvoWhenDragging);
}
void Preferences::setShowTarvoWhenDragging(bool on) {
    setBoolean(Key::showTarvoWhenDragging, on);
}
bool Preferences::requireShiftToShow() const {
    return boolean(Key::requireShiftToShow);
}
void Preferences::setRequireShiftToShow(bool on) {
    setBoolean(Key::requireShiftToShow, on);
}
bool Preferences::shakeToSummon() const {
    return boolean(Key::shakeToSummon);
}
void Preferences::setShakeToSummon(bool on) {
    setBoolean(Key::shakeToSummon, on);
}
bool Preferences::openShelfOnNotchHover() const {
    return boolean(Key::openShelfOnNotchHover);
}
void Preferences::setOpenShelfOnNotchHover(bool on) {
    setBoolean(Key::openShelfOnNotchHover, on);
}
bool Preferences::showMenuBarIcon() const {
    return boolean(Key::showMenuBarIcon);
}
void Preferences::setShowMenuBarIcon(bool on) {
    setBoolean(Key::showMenuBarIcon, on);
}
bool Preferences::playSoundOnDrop() const {
    return boolean(Key::playSoundOnDrop);
}
void Preferences::setPlaySoundOnDrop(bool on) {
    setBoolean(Key::playSoundOnDrop, on);
}
bool Preferences::launchAtLogin() const {
    return boolean(Key::launchAtLogin);
}
void Preferences::setLaunchAtLogin(bool on) {
    setBoolean(Key::launchAtLogin, on);
}
bool Preferences::confirmBatch() const {
    return boolean(Key::confirmBatch);
}
void Preferences::setConfirmBatch(bool on) {
    setBoolean(Key::confirmBatch, on);
}
bool Preferences::keepImageMetadata() const {
    return boolean(Key::keepImageMetadata);
}
void Preferences::setKeepImageMetadata(bool on) {
    setBoolean(Key::keepImageMetadata, on);
}
bool Preferences::editorPaneDetection() const {
    return boolean(Key::editorPaneDetection);
}
void Preferences::setEditorPaneDetection(bool on) {
    setBoolean(Key::editorPaneDetection, on);
}
bool Preferences::hotkeyEnabled() const {
    return boolean(Key::hotkeyEnabled);
}
void Preferences::setHotkeyEnabled(bool on) {
    setBoolean(Key::hotkeyEnabled, on);
}
bool Preferences::hasCompletedOnboarding() const {
    return boolean(Key::hasCompletedOnboarding);
}
void Preferences::setHasCompletedOnboarding(bool on) {
    setBoolean(Key::hasCompletedOnboarding, on);
}

std::optional<HotkeySpec> Preferences::hotkey() const {
    const auto data = m_defaults.data(keyText(Key::hotkey));
    if (!data)
        return HotkeySpec::defaultSpec();
    try {
        return HotkeySpec::fromJsonData(*data);
    } catch (const json::DecodingError&) {
        return std::nullopt;
    }
}

void Preferences::setHotkey(const std::optional<HotkeySpec>& spec) {
    if (spec)
        m_defaults.setData(keyText(Key::hotkey), spec->toJsonData());
    else
        m_defaults.remove(keyText(Key::hotkey));
}

std::optional<Date> Preferences::lastUpdateCheck() const {
    return m_defaults.date(keyText(Key::lastUpdateCheck));
}

void Preferences::setLastUpdateCheck(const std::optional<Date>& date) {
    if (date)
        m_defaults.setDate(keyText(Key::lastUpdateCheck), *date);
    else
        m_defaults.remove(keyText(Key::lastUpdateCheck));
}

qint64 Preferences::dropCount() const {
    return integer(Key::dropCount);
}
void Preferences::setDropCount(qint64 count) {
    setInteger(Key::dropCount, count);
}
qint64 Preferences::conversionCount() const {
    return integer(Key::conversionCount);
}
void Preferences::setConversionCount(qint64 count) {
    setInteger(Key::conversionCount, count);
}
qint64 Preferences::undoCount() const {
    return integer(Key::undoCount);
}
void Preferences::setUndoCount(qint64 count) {
    setInteger(Key::undoCount, count);
}

void Preferences::countDrop() {
    increment(Key::dropCount);
}
void Preferences::countConversion() {
    increment(Key::conversionCount);
}
void Preferences::countUndo() {
    increment(Key::undoCount);
}

} // namespace tarvo
