#pragma once

#include "Date.h"
#include "HotkeySpec.h"

#include <QString>

#include <array>
#include <cstddef>
#include <optional>

namespace tarvo {

class UserDefaults;

// Typed access to the user's settings and usage counters. Nothing is cached:
// every read asks the store and every write goes straight to it, so all holders
// of one store agree. The store must outlive this object.
class Preferences final {
public:
    enum class Key {
#define TARVO_PREFERENCE_BOOLEAN(name, registered) name,
#define TARVO_PREFERENCE(name, type) name,
#include "PreferenceKeys.inc"
#undef TARVO_PREFERENCE
#undef TARVO_PREFERENCE_BOOLEAN
    };

    enum class Type {
        boolean, // registered value below
        integer, // signed 64-bit, 0 when nothing is stored
        hotkey,  // the JSON data of one HotkeySpec
        date,    // a date value, absent when nothing is stored
    };

    struct Definition {
        Key key;
        const char* name;
        Type type;
        bool registeredValue; // Booleans only
    };

    static constexpr std::size_t keyCount = 0
#define TARVO_PREFERENCE_BOOLEAN(name, registered) +1
#define TARVO_PREFERENCE(name, type) +1
#include "PreferenceKeys.inc"
#undef TARVO_PREFERENCE
#undef TARVO_PREFERENCE_BOOLEAN
        ;

    // In declaration order.
    static const std::array<Definition, keyCount>& definitions();
    static const Definition& definition(Key key);
    static QString name(Key key);
    // The key stored under `name`; none for a text that is no key.
    static std::optional<Key> key(const QString& name);

    // Registers the Boolean defaults, in memory only.
    explicit Preferences(UserDefaults& defaults);

    UserDefaults& defaults() const {
        return m_defaults;
    }

    // A Boolean key's value, or its registered value while nothing is stored.
    bool boolean(Key key) const;
    void setBoolean(Key key, bool on);

    bool showTarvoWhenDragging() const;
    void setShowTarvoWhenDragging(bool on);
    bool requireShiftToShow() const;
    void setRequireShiftToShow(bool on);
    bool shakeToSummon() const;
    void setShakeToSummon(bool on);
    bool openShelfOnNotchHover() const;
    void setOpenShelfOnNotchHover(bool on);
    bool showMenuBarIcon() const;
    void setShowMenuBarIcon(bool on);
    bool playSoundOnDrop() const;
    void setPlaySoundOnDrop(bool on);
    bool launchAtLogin() const;
    void setLaunchAtLogin(bool on);
    bool confirmBatch() const;
    void setConfirmBatch(bool on);
    bool keepImageMetadata() const;
    void setKeepImageMetadata(bool on);
    bool editorPaneDetection() const;
    void setEditorPaneDetection(bool on);
    bool hotkeyEnabled() const;
    void setHotkeyEnabled(bool on);
    bool hasCompletedOnboarding() const;
    void setHasCompletedOnboarding(bool on);

    // Option-Space while nothing (or something other than data) is stored;
    // no hotkey when the stored data is not a valid spec. Writing none removes
    // the stored value, so the next read gives Option-Space again.
    std::optional<HotkeySpec> hotkey() const;
    void setHotkey(const std::optional<HotkeySpec>& spec);

    // Absent unless a date value is stored.
    std::optional<Date> lastUpdateCheck() const;
    void setLastUpdateCheck(const std::optional<Date>& date);

    qint64 dropCount() const;
    void setDropCount(qint64 count);
    qint64 conversionCount() const;
    void setConversionCount(qint64 count);
    qint64 undoCount() const;
    void setUndoCount(qint64 count);

    // Each adds one to its counter (and stops at the largest count).
    void countDrop();
    void countConversion();
    void countUndo();

private:
    qint64 integer(Key key) const;
    void setInteger(Key key, qint64 value);
    void increment(Key key);

    UserDefaults& m_defaults;
};

} // namespace tarvo
